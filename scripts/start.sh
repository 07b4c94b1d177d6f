#!/usr/bin/env bash
# Installs what is needed, builds, and starts the tool with a ready sample: the
# project "Demo" and two import sources in a temporary folder, registered in a
# temporary registry store (your own registered projects are not touched).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh
sample="$(mktemp -d -t quorvin-beispiel-XXXXXX)"
export XDG_CONFIG_HOME="$sample/config"
build/app/quorvin-demo-setup "$sample"
echo "Importquellen: $sample/Quellen (Russisch.xls, Überarbeitet.qrp)"
exec build/app/quorvin-language-import
