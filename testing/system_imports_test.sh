#!/usr/bin/env bash
# Fails when a program or library imports a DLL that is not part of Windows.
#   system_imports_test.sh OBJDUMP FILE
set -euo pipefail
allowed='^(kernel32|user32|gdi32|gdiplus|advapi32|shell32|shlwapi|ole32|oleaut32|msvcrt|uxtheme|comctl32|version|ws2_32|crypt32|bcrypt)\.dll$'
imports=$("$1" -p "$2" | sed -n 's/^\s*DLL Name: //p')
[ -n "$imports" ] || { echo "FAIL: no imports read from $2"; exit 1; }
status=0
while read -r dll; do
  if printf '%s\n' "$dll" | tr 'A-Z' 'a-z' | grep -Eq "$allowed"; then
    echo "system: $dll"
  else
    echo "FAIL: not a system DLL: $dll"
    status=1
  fi
done <<<"$imports"
exit $status
