#!/bin/sh
# The Windows program is one file to copy: it may import only DLLs that every Windows has.
# Usage: check_windows_imports.sh PROGRAM.exe
set -eu
allowed="GDI32.dll KERNEL32.dll msvcrt.dll USER32.dll WS2_32.dll"
imports=$(x86_64-w64-mingw32-objdump -p "$1" | sed -n 's/^[[:space:]]*DLL Name: //p')
[ -n "$imports" ] || { echo "no imports read from $1"; exit 1; }
status=0
for dll in $imports; do
    case " $allowed " in
        *" $dll "*) ;;
        *) echo "imports $dll, which is not one of Windows' own DLLs"; status=1 ;;
    esac
done
echo "$1 imports:" $imports
exit $status
