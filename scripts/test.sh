#!/usr/bin/env bash
# Installs what is needed, builds, checks the formatting, the layers and the
# length of functions, briefly fuzzes the readers of untrusted input
# (libFuzzer with sanitizers; scripts/fuzz.sh with more seconds searches longer),
# and runs every test with CTest.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh
bash scripts/check-format.sh
bash scripts/check-layers.sh
bash scripts/check-function-size.sh
bash scripts/fuzz.sh "${FUZZ_SECONDS:-30}"
ctest --test-dir build --output-on-failure -j"$(nproc)"
