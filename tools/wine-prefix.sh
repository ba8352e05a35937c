#!/bin/sh
# Prepares a Wine prefix for the tests, or stops its server.
#   wine-prefix.sh start PREFIX   create the prefix if needed, start a persistent
#                                 wineserver and boot the prefix, detached
#   wine-prefix.sh stop PREFIX    stop the prefix's wineserver
set -eu
action=$1
prefix=$2
export WINEPREFIX="$prefix" WINEDEBUG=-all
case "$action" in
  start)
    mkdir -p "$prefix"
    # Detached from our stdio, so that Wine's service processes never hold a
    # pipe of whoever started us (ctest would wait for them for ever).
    wineserver -p </dev/null >/dev/null 2>&1 || true
    wineboot </dev/null >/dev/null 2>&1
    ;;
  stop)
    wineserver -k </dev/null >/dev/null 2>&1 || true
    ;;
  *)
    echo "usage: $0 start|stop PREFIX" >&2
    exit 2
    ;;
esac
