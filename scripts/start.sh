#!/usr/bin/env bash
# Installs what is needed, builds, and starts the tool with a ready sample: the
# project "Demo" and two import sources in a temporary folder, registered in a
# temporary registry store, with a temporary undo store (your own registered
# projects and undo data are not touched). "start.sh export" starts the export
# window instead of the import window.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh
sample="$(mktemp -d -t quorvin-beispiel-XXXXXX)"
export XDG_CONFIG_HOME="$sample/config"
export XDG_STATE_HOME="$sample/state"
build/bin/quorvin-demo-setup "$sample"
echo "Importquellen: $sample/Quellen (Russisch.xls, Überarbeitet.qrp)"
echo "Befehlszeile zum Beispiel: XDG_CONFIG_HOME=$XDG_CONFIG_HOME XDG_STATE_HOME=$XDG_STATE_HOME build/bin/quorvin-language projects"
if [ "${1:-}" = "export" ]; then
  exec build/bin/quorvin-language-export
fi
exec build/bin/quorvin-language-import
