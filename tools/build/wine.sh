#!/bin/sh
# Runs Windows programs under Wine with a prefix of our own, every step under
# a time limit.
#
#   tools/build/wine.sh PREFIX start             make the prefix if needed, keep a wineserver running
#   tools/build/wine.sh PREFIX run PROGRAM ARGS  run a program, exit with its exit code
#   tools/build/wine.sh PREFIX stop              end the prefix's wineserver and its programs
#
# Without a running wineserver each program pays for starting one, and ctest
# can hang on one that lingers: `start` before a run of tests, `stop` after.
set -eu

WINE=/usr/lib/wine/wine64
WINESERVER=/usr/lib/wine/wineserver64
[ -x "$WINESERVER" ] || WINESERVER=/usr/lib/wine/wineserver

prefix=$1
action=$2
shift 2
mkdir -p "$prefix"
WINEPREFIX=$(cd "$prefix" && pwd)
export WINEPREFIX WINEARCH=win64 WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"

case $action in
start)
    timeout 60 "$WINESERVER" -p
    # A new prefix takes some seconds to set up; later starts well under one.
    timeout 180 "$WINE" wineboot >/dev/null 2>&1
    ;;
run)
    exec timeout "${ORVALE_WINE_TIMEOUT:-300}" "$WINE" "$@"
    ;;
stop)
    timeout 60 "$WINESERVER" -k || true
    ;;
*)
    echo "usage: $0 PREFIX start|run PROGRAM [ARGS...]|stop" >&2
    exit 2
    ;;
esac
