#!/usr/bin/env bash
# Checks that every C++ file git tracks is formatted as .clang-format says; lists the ones that
# are not and exits 1. With --fix, formats them in place instead.
set -euo pipefail
cd "$(dirname "$0")/.."

if ! command -v clang-format >/dev/null; then
  echo "check-format: clang-format is not installed (scripts/install-deps.sh installs it)" >&2
  exit 1
fi
mapfile -t files < <(git ls-files -- '*.cpp' '*.h')
if [ "${1:-}" = "--fix" ]; then
  clang-format -i "${files[@]}"
  exit 0
fi
report=$(clang-format --dry-run -Werror "${files[@]}" 2>&1) && {
  echo "check-format: ${#files[@]} files formatted"
  exit 0
}
echo "check-format: not formatted as .clang-format says (run scripts/check-format.sh --fix):" >&2
printf '%s\n' "$report" | sed -n 's/^\([^:]*\):[0-9]*:[0-9]*: error: .*/  \1/p' | sort -u >&2
exit 1
