#!/usr/bin/env bash
# Builds the fuzz targets with clang (libFuzzer, AddressSanitizer,
# UndefinedBehaviorSanitizer) into ./build-fuzz and runs each for the given
# number of seconds (default 30), starting from the tests' workbooks and seeds.
# An input that breaks a reader is left in build-fuzz/artifacts; add it to
# tests/data/fuzz-regressions/ with a test.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-30}"
bash scripts/install-deps.sh
CC=clang CXX=clang++ cmake -S tests/fuzz -B build-fuzz -DCMAKE_BUILD_TYPE=Debug >/dev/null
cmake --build build-fuzz -j"$(nproc)"

mkdir -p build-fuzz/artifacts
status=0
for target in workbook xlsx csv xliff xml val statement; do
  corpus="build-fuzz/corpus-$target"
  mkdir -p "$corpus"
  case "$target" in
    workbook) seeds=(tests/data/excel tests/data/excel/damaged) ;;
    xlsx) seeds=(tests/data/xlsx "tests/fuzz/seeds/$target") ;;
    csv) seeds=(tests/data/csv) ;;
    xliff) seeds=(tests/data/xliff) ;;
    xml) seeds=("tests/fuzz/seeds/$target") ;;
    *) seeds=("tests/fuzz/seeds/$target") ;;
  esac
  if [ -d "tests/data/fuzz-regressions/$target" ]; then seeds+=("tests/data/fuzz-regressions/$target"); fi
  echo "== fuzz-$target for ${seconds}s"
  if ! ASAN_OPTIONS=detect_leaks=0:allocator_may_return_null=1 \
      "build-fuzz/fuzz-$target" -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=10 \
      -artifact_prefix=build-fuzz/artifacts/"$target"- -print_final_stats=1 "$corpus" "${seeds[@]}" \
      2> "build-fuzz/fuzz-$target.log"; then
    status=1
    tail -40 "build-fuzz/fuzz-$target.log"
    echo "fuzz-$target found an input that breaks it: see build-fuzz/artifacts/"
  else
    grep -E "stat::number_of_executed_units|stat::new_units_added" "build-fuzz/fuzz-$target.log" || true
  fi
done
exit $status
