#!/usr/bin/env bash
# The shipped exe stands alone: a GUI-subsystem PE (PE32 i386 for the 32-bit build) that
# imports only DLLs every Windows has, so nothing needs to be installed beside it.
set -euo pipefail
build=$1
exe=$build/src/zrUpdater.exe
dump=$("${ZR_TRIPLET}-objdump" -p "$exe")

allowed=" kernel32.dll user32.dll gdi32.dll msimg32.dll gdiplus.dll wininet.dll advapi32.dll"
allowed+=" shell32.dll shlwapi.dll ole32.dll psapi.dll comctl32.dll msvcrt.dll ws2_32.dll"
allowed+=" crypt32.dll bcrypt.dll "
status=0
while read -r dll; do
  lower=$(printf '%s' "$dll" | tr 'A-Z' 'a-z')
  case "$allowed" in
    *" $lower "*) echo "imports $dll" ;;
    *) echo "FAIL: imports $dll, which does not ship with Windows"; status=1 ;;
  esac
done < <(printf '%s\n' "$dump" | sed -n 's/^\s*DLL Name: //p')

grep -q 'Subsystem.*(Windows GUI)' <<<"$dump" || { echo "FAIL: not a GUI-subsystem program"; status=1; }
if [ "$ZR_TRIPLET" = i686-w64-mingw32 ]; then
  grep -q 'file format pei-i386' <<<"$dump" || { echo "FAIL: not a PE32 i386 executable"; status=1; }
  grep -q 'Magic\s*010b' <<<"$dump" || { echo "FAIL: optional header is not PE32"; status=1; }
fi
echo "size: $(stat -c %s "$exe") bytes"
exit $status
