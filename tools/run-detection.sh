#!/bin/sh
# Builds CorvaneVMD and runs a detection under Wine, printing the verdict and
# the explanation of every check.
set -eu
cd "$(dirname "$0")/.."
tools/install-deps.sh
cmake --preset mingw >/dev/null
cmake --build --preset mingw --target corvane-shipped-dll corvane-vmd
prefix="$PWD/build/wine/prefix"
tools/wine-prefix.sh start "$prefix"
trap 'tools/wine-prefix.sh stop "$prefix"' EXIT
export WINEPREFIX="$prefix" WINEDEBUG=-all
status=0
wine build/cli/corvane-vmd.exe || status=$?
wine build/cli/corvane-vmd.exe --explain >build/explanation.txt || true
cat build/explanation.txt
echo "corvane-vmd exit status: $status (0: a product recognised, 1: none)"
