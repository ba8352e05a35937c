#!/bin/sh
# Installs what building and testing CorvaneVMD needs on Debian 12, when missing.
# Both thread models of mingw-w64: posix for the tools and tests, win32 for the
# shipped DLL.  Installing the win32 one may switch the unsuffixed compiler
# names, so the toolchain files always name x86_64-w64-mingw32-g++-posix or -win32.
set -eu
packages="cmake ninja-build g++-mingw-w64-x86-64-posix g++-mingw-w64-x86-64-win32 wine wine64 googletest nlohmann-json3-dev gcc libc6-dev iproute2 util-linux jq python3 clang lld llvm clang-format"
missing=""
for package in $packages; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    missing="$missing $package"
  fi
done
if [ -n "$missing" ]; then
  echo "Installing:$missing"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  # shellcheck disable=SC2086
  apt-get install -y -qq $missing
fi
