#!/bin/bash
# The program runs elevated from wherever it was saved: every DLL it imports must be one that
# Windows only ever loads from System32 (a known DLL, or a core system library). Anything else,
# gdiplus and comctl32 included, would be searched for beside the exe first.
#   check_imports.sh OBJDUMP PROGRAM.exe
set -uo pipefail
imports=$("$1" -p "$2" | sed -n 's/^[[:space:]]*DLL Name:[[:space:]]*//p' | tr 'A-Z' 'a-z' | sort -u)
[ -n "$imports" ] || { echo "no import table found in $2" >&2; exit 1; }
echo "$imports"
system='kernel32|kernelbase|ntdll|user32|gdi32|advapi32|shell32|comdlg32|ole32|oleaut32|msvcrt|combase|rpcrt4|sechost|'
system+='shlwapi|shcore|imm32|msctf|ws2_32|nsi|normaliz|psapi|setupapi|imagehlp|wldap32|clbcatq|coml2|difxapi'
! grep -vxE "($system)\.dll" <<<"$imports" | sed 's/^/REFUSED (not loaded from System32 only): /' | grep .
