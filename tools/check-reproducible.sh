#!/bin/sh
# Builds the release of the current commit twice, from two copies of the
# sources in two differently named folders, and compares the zips' SHA256SUMS.
# Too slow for CI (two builds from scratch, no compiler cache: a cache would hand
# the second build the first one's objects): run it before a release and record
# the result in docs/release.md.
#
#   tools/check-reproducible.sh [WORK_DIR]      default: a new folder under /tmp
set -eu
cd "$(dirname "$0")/.."
work=${1:-$(mktemp -d /tmp/corvane-reproducible.XXXXXX)}
if [ -n "$(git status --porcelain --untracked-files=no)" ]; then
  echo "check-reproducible: commit your changes first: the copies are of HEAD" >&2; exit 2
fi
commit=$(git rev-parse HEAD)
SOURCE_DATE_EPOCH=$(git log -1 --format=%ct)
export SOURCE_DATE_EPOCH CCACHE_DISABLE=1
# The sources the commit holds, nothing of the working tree.
for copy in one/CorvaneVMD second-copy/sources; do
  mkdir -p "$work/$copy"
  git archive "$commit" | tar -x -C "$work/$copy"
  cmake -S "$work/$copy" -B "$work/$copy/out-$(basename "$copy")" -G Ninja \
        -DCMAKE_TOOLCHAIN_FILE="$work/$copy/cmake/mingw-w64-x86_64.cmake" -DCMAKE_BUILD_TYPE=Release \
        -DCORVANE_BUILD_TESTS=OFF -DCORVANE_WARNINGS_AS_ERRORS=ON >/dev/null
  nice cmake --build "$work/$copy/out-$(basename "$copy")" --target release
done
a="$work/one/CorvaneVMD/out-CorvaneVMD/release"
b="$work/second-copy/sources/out-sources/release"
echo "commit $commit, SOURCE_DATE_EPOCH $SOURCE_DATE_EPOCH"
cat "$a/SHA256SUMS"
if cmp -s "$a/SHA256SUMS" "$b/SHA256SUMS"; then
  echo "reproducible: both builds made the same zips"
else
  echo "NOT reproducible; the second build's SHA256SUMS:"; cat "$b/SHA256SUMS"
  exit 1
fi
