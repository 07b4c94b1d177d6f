#!/usr/bin/env bash
# Each layer's library sees only the headers of the layers below it (its own
# folder and those it links), so an include that runs upward fails to compile.
# This check closes the one way around that: an include by a relative path.
set -euo pipefail
cd "$(dirname "$0")/.."
layers=(base codepages system formats engine language projects ui chooser app cli)
if grep -nE '^#include "[^"]*/' $(git ls-files "${layers[@]/%//*.cpp}" "${layers[@]/%//*.h}"); then
  echo "Include headers by their name: the build decides which layers a file may see."
  exit 1
fi
echo "== layers: every header included by its name"
