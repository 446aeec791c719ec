#!/usr/bin/env bash
# Formats the C++ sources in the house style (.clang-format at the top of the tree).
#   scripts/format.sh           rewrites every file that differs
#   scripts/format.sh --check   changes nothing; fails, naming the files and the command that
#                               fixes them, when any differs (the test command runs this)
# The style is kept with Debian 12's clang-format 14: other versions lay some lines out
# differently, so the check names the version it needs rather than report differences.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

tool=$(command -v clang-format-14 || command -v clang-format || true)
if [ -z "$tool" ] || ! "$tool" --version | grep -q 'version 14\.'; then
  echo "format: clang-format 14 is needed (found: ${tool:-none}); scripts/install-deps.sh installs it" >&2
  exit 1
fi

mapfile -t files < <(git ls-files '*.cpp' '*.h')
if [ "${1:-}" != "--check" ]; then
  "$tool" -i "${files[@]}"
  exit 0
fi

differ=()
for f in "${files[@]}"; do
  "$tool" "$f" | cmp -s - "$f" || differ+=("$f")
done
[ ${#differ[@]} -eq 0 ] && exit 0
echo "format: ${#differ[@]} file(s) differ from the house style (.clang-format):" >&2
for f in "${differ[@]}"; do
  echo "--- $f" >&2
  "$tool" "$f" | diff "$f" - | head -n 12 >&2 || true
done
echo "format: run  scripts/format.sh  to fix them" >&2
exit 1
