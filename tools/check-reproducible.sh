#!/bin/sh
# Builds the release of the current commit from a `git archive` copy of it in a
# new, differently named folder and compares the zips' SHA256SUMS:
#
#   tools/check-reproducible.sh [WORK_DIR]
#       two copies, two builds from scratch without a compiler cache
#   tools/check-reproducible.sh --against BUILD_DIR [WORK_DIR]
#       one copy, compared with BUILD_DIR's release (remade first); the copy is
#       built in this environment, so a compiler cache must be set up as it was
#       for BUILD_DIR, and WORK_DIR lie under the same ccache base_dir (which
#       makes the recorded paths relative)
#
# Too slow for CI: run it before a release and record the result in
# docs/release.md.  WORK_DIR defaults to a new folder under /tmp.
set -eu
cd "$(dirname "$0")/.."
against=""
if [ "${1:-}" = "--against" ]; then against=$(cd "$2" && pwd); shift 2; fi
work=${1:-$(mktemp -d /tmp/corvane-reproducible.XXXXXX)}
if [ -n "$(git status --porcelain --untracked-files=no)" ]; then
  echo "check-reproducible: commit your changes first: the copies are of HEAD" >&2; exit 2
fi
commit=$(git rev-parse HEAD)
SOURCE_DATE_EPOCH=$(git log -1 --format=%ct)
export SOURCE_DATE_EPOCH

# build_copy FOLDER: the commit's sources in FOLDER, built into FOLDER/out-<name>.
build_copy() {
  mkdir -p "$1"
  git archive "$commit" | tar -x -C "$1"
  cmake -S "$1" -B "$1/out-$(basename "$1")" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$1/cmake/mingw-w64-x86_64.cmake" \
        -DCMAKE_BUILD_TYPE=Release -DCORVANE_BUILD_TESTS=OFF -DCORVANE_WARNINGS_AS_ERRORS=ON >/dev/null
  nice cmake --build "$1/out-$(basename "$1")" --target release
  sums="$1/out-$(basename "$1")/release/SHA256SUMS"
}

if [ -n "$against" ]; then
  nice cmake --build "$against" --target release
  reference="$against/release/SHA256SUMS"
else
  export CCACHE_DISABLE=1
  build_copy "$work/one/CorvaneVMD"
  reference=$sums
fi
build_copy "$work/second-copy/sources"

echo "commit $commit, SOURCE_DATE_EPOCH $SOURCE_DATE_EPOCH"
cat "$reference"
if cmp -s "$reference" "$sums"; then
  echo "reproducible: both builds made the same zips"
else
  echo "NOT reproducible; the other build's SHA256SUMS:"; cat "$sums"
  exit 1
fi
