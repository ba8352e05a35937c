#!/bin/sh
# Checks the C and C++ files git tracks against .clang-format: prints each file
# that clang-format would change, with the number of its lines that would
# change, and a total; exits 1 when any file differs, 2 when clang-format is
# missing.  Changes nothing.  Debian's clang-format 14 (tools/install-deps.sh).
#
#   tools/check-format.sh [FILE...]     default: every tracked *.c, *.cpp, *.h
#
# To format a file: clang-format -i FILE.
set -eu
cd "$(dirname "$0")/.."
format=$(command -v clang-format-14 || command -v clang-format || true)
[ -n "$format" ] || { echo "check-format: clang-format is not installed" >&2; exit 2; }

if [ "$#" -eq 0 ]; then
  set -- $(git ls-files '*.c' '*.cpp' '*.h')
fi

files=0
lines=0
for file in "$@"; do
  changed=$("$format" --style=file "$file" | diff "$file" - | grep -c '^<' || true)
  if [ "$changed" -gt 0 ]; then
    echo "$file: $changed line(s)"
    files=$((files + 1))
    lines=$((lines + changed))
  fi
done
if [ "$files" -gt 0 ]; then
  echo "check-format: $files file(s) differ from .clang-format, $lines line(s) would change"
  exit 1
fi
echo "check-format: $# file(s) as .clang-format has them"
