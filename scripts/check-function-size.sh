#!/usr/bin/env bash
# Fails when a function of the program (not of the tests) is longer than 60
# lines, as clang-tidy's readability-function-size counts them. Needs the build's
# compile_commands.json (scripts/build.sh makes it).
set -euo pipefail
cd "$(dirname "$0")/.."
config='{Checks: "-*,readability-function-size", WarningsAsErrors: "*",
  CheckOptions: [{key: readability-function-size.LineThreshold, value: 60}]}'
layers='(base|codepages|system|formats|engine|language|projects|ui|chooser|app|cli)'
log="$(mktemp)"
if ! run-clang-tidy -quiet -p build -j "$(nproc)" -config="$config" \
    -header-filter="^$PWD/$layers/" "^$PWD/$layers/.*\.cpp$" > "$log" 2>&1; then
  sed "s/\x1b\[[0-9;]*m//g" "$log" | grep -E "(error|warning): function|note: [0-9]+ lines" || tail -20 "$log"
  echo "Split these functions into named steps."
  rm -f "$log"
  exit 1
fi
rm -f "$log"
echo "== function size: no function of the program over 60 lines"
