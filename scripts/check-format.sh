#!/usr/bin/env bash
# Checks that every C and C++ source is as clang-format (.clang-format)
# writes it. Generated files are left to the tests of their generators.
# Formats them instead with --fix.
set -euo pipefail
cd "$(dirname "$0")/.."
generated=(include/morvel/morvel_members.h)
mapfile -t files < <(git ls-files '*.c' '*.cpp' '*.h' | grep -vxF -f <(printf '%s\n' "${generated[@]}"))
if [ "${1:-}" = --fix ]; then
  clang-format -i "${files[@]}"
  exit 0
fi
if ! clang-format --dry-run -Werror "${files[@]}" 2>/tmp/morvel-format.$$; then
  grep -E '^[^ ].*: (error|warning):' /tmp/morvel-format.$$ | cut -d: -f1 | sort -u | sed 's/^/not formatted: /'
  rm -f /tmp/morvel-format.$$
  echo "format them with: scripts/check-format.sh --fix"
  exit 1
fi
rm -f /tmp/morvel-format.$$
echo "${#files[@]} sources as clang-format writes them"
