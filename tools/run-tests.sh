#!/bin/sh
# Builds CorvaneVMD with every test program and runs the whole test suite
# under Wine.  Pass ctest options after the script's name (e.g. -L unit).
set -eu
cd "$(dirname "$0")/.."
tools/install-deps.sh
cmake --preset mingw >/dev/null
cmake --build --preset mingw
prefix="$PWD/build/wine/prefix"
# The prefix's server and services start detached before ctest, so that no
# Wine service process holds one of ctest's pipes.
tools/wine-prefix.sh start "$prefix"
trap 'tools/wine-prefix.sh stop "$prefix"' EXIT
ctest --preset mingw "$@"
