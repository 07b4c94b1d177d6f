#!/usr/bin/env bash
# Fails when a C++ file of the tree differs from the checked-in .clang-format
# (clang-format 14, as Debian 12 installs it). With --fix it formats them instead.
set -euo pipefail
cd "$(dirname "$0")/.."
mapfile -t files < <(git ls-files --cached --others --exclude-standard '*.cpp' '*.h' |
  while read -r f; do [ -f "$f" ] && echo "$f"; done)
if [ "${1:-}" = "--fix" ]; then
  clang-format -i "${files[@]}"
  exit 0
fi
log="$(mktemp)"
if ! clang-format --dry-run --Werror "${files[@]}" 2> "$log"; then
  grep -E "^[^ ].*: (error|warning):" "$log" | cut -d: -f1 | sort -u | sed 's/^/not formatted: /'
  echo "Format them with: bash scripts/check-format.sh --fix"
  rm -f "$log"
  exit 1
fi
rm -f "$log"
echo "== format: ${#files[@]} files as .clang-format says"
