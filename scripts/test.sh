#!/usr/bin/env bash
# Installs what is needed, builds, and runs every test, then fuzzes the readers briefly.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh
ctest --test-dir build --output-on-failure -j"$(nproc)"
# The readers of untrusted input under libFuzzer with sanitizers, briefly;
# run scripts/fuzz.sh with more seconds for a longer search.
bash scripts/fuzz.sh "${FUZZ_SECONDS:-30}"
