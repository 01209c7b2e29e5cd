#!/bin/sh
# Runs a Windows program under Wine, quietly, in the project's own Wine prefix (made on first
# use, once, with crash dialogs switched off so a crash ends the program instead of waiting for
# a click). The prefix is MAREVANT_WINEPREFIX, by default build-windows/wineprefix beside this
# script. Used as CMake's emulator for the Windows tests and by the end-to-end harness.
# Usage: tools/wine-run.sh PROGRAM.exe [ARGUMENTS...]
#        tools/wine-run.sh --prepare    (only makes the prefix ready, and waits until it is)
set -eu
top=$(cd "$(dirname "$0")/.." && pwd)
WINEPREFIX=${MAREVANT_WINEPREFIX:-$top/build-windows/wineprefix}
WINEDEBUG=-all
WINEDLLOVERRIDES="mscoree,mshtml=,winemenubuilder.exe=d"
export WINEPREFIX WINEDEBUG WINEDLLOVERRIDES
if [ ! -f "$WINEPREFIX/.marevant-ready" ]; then
    mkdir -p "$WINEPREFIX"
    (
        flock 9
        if [ ! -f "$WINEPREFIX/.marevant-ready" ]; then
            wineboot -i >/dev/null 2>&1
            wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f \
                >/dev/null 2>&1
            wineserver -w
            touch "$WINEPREFIX/.marevant-ready"
        fi
    ) 9>"$WINEPREFIX.lock"
fi
[ "${1:-}" = "--prepare" ] && exit 0
exec wine "$@"
