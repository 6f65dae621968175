#!/bin/bash
# korvane.dll imports only system DLLs (in either case): the runtime is linked statically.
# Usage: dll_imports.sh OBJDUMP KORVANE_DLL
set -u
objdump=$1 dll=$2
allowed='^(KERNEL32|USER32|GDI32|COMCTL32|COMDLG32|msvcrt)\.(dll|DLL)$'
names=$("$objdump" -p "$dll" | sed -n 's/^\tDLL Name: //p')
[ -n "$names" ] || { echo "FAIL: no imports read from $dll"; exit 1; }
bad=$(echo "$names" | grep -Eiv "$allowed")
if [ -n "$bad" ]; then
  echo "FAIL: imports beyond the system DLLs:"; echo "$bad"; exit 1
fi
echo "ok: imports $(echo $names)"
