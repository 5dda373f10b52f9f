#!/bin/sh
# Halyard.dll may import Windows system libraries, Quire.dll and Ferrule.dll,
# and nothing else: no compiler runtime, no third library.
# Usage: check_imports.sh OBJDUMP DLL
set -eu
objdump=$1
dll=$2
imports=$("$objdump" -p "$dll" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr -d '\r')
[ -n "$imports" ] || { echo "FAIL: no imports read from $dll"; exit 1; }
status=0
for name in $imports; do
  case $(echo "$name" | tr 'A-Z' 'a-z') in
    kernel32.dll|user32.dll|gdi32.dll|advapi32.dll|ole32.dll|oleaut32.dll|shlwapi.dll|msvcrt.dll) ;;
    quire.dll|ferrule.dll) ;;
    *) echo "FAIL: unexpected import $name"; status=1 ;;
  esac
done
for needed in Quire.dll Ferrule.dll; do
  echo "$imports" | grep -qx "$needed" || { echo "FAIL: $needed not imported"; status=1; }
done
[ $status -eq 0 ] && echo "imports ok:" $imports
exit $status
