#!/bin/sh
# Builds CorvaneVMD with every test program and runs the whole test suite
# under Wine (GCC, preset mingw).  Pass ctest options after the script's name
# (e.g. -L unit).  Then builds the DLL and the unit tests with the second
# compiler (clang, preset clang) and runs those in the same prefix.  Fails
# when either run fails; the last line says how each went.
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
gcc=passed
ctest --preset mingw "$@" || gcc=FAILED

echo "== clang: the DLL and the unit tests (preset clang, label unit)"
cmake --preset clang -DCORVANE_WINEPREFIX="$prefix" >/dev/null
clang_targets='corvane-shipped-dll corvane_unit_tests corvane_bench_tests'
clang=passed
# shellcheck disable=SC2086
{ cmake --build --preset clang --target $clang_targets && ctest --preset clang; } || clang=FAILED
echo "== GCC (preset mingw): $gcc; clang (preset clang, unit tests): $clang"
[ "$gcc" = passed ] && [ "$clang" = passed ]
