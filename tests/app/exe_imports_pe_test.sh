#!/usr/bin/env bash
# The shipped exe stands alone and declares what it needs:
#  - a GUI-subsystem PE (PE32 i386 for the 32-bit build) that imports only DLLs every Windows
#    has, so nothing needs to be installed beside it;
#  - its application manifest (resource RT_MANIFEST 1): execution level asInvoker, the
#    supported systems Vista to 11, per-monitor DPI awareness (v2, then v1; "true/pm" for the
#    systems before Windows 10 1607);
#  - a Release build is at most 1,200,000 bytes, carries no symbols or debug sections, and its
#    symbols are in zrUpdater.debug beside it, the file its .gnu_debuglink names (with the
#    right checksum).
set -euo pipefail
build=$1
exe=$build/src/zrUpdater.exe
dump=$("${ZR_TRIPLET}-objdump" -p "$exe")
build_type=$(sed -n 's/^CMAKE_BUILD_TYPE:STRING=//p' "$build/CMakeCache.txt")
max_release_bytes=1200000

allowed=" kernel32.dll user32.dll gdi32.dll msimg32.dll gdiplus.dll wininet.dll advapi32.dll"
allowed+=" shell32.dll shlwapi.dll ole32.dll psapi.dll comctl32.dll msvcrt.dll ws2_32.dll"
allowed+=" crypt32.dll bcrypt.dll oleacc.dll "
status=0
fail() { echo "FAIL: $*"; status=1; }
while read -r dll; do
  lower=$(printf '%s' "$dll" | tr 'A-Z' 'a-z')
  case "$allowed" in
    *" $lower "*) echo "imports $dll" ;;
    *) fail "imports $dll, which does not ship with Windows" ;;
  esac
done < <(printf '%s\n' "$dump" | sed -n 's/^\s*DLL Name: //p')

grep -q 'Subsystem.*(Windows GUI)' <<<"$dump" || fail "not a GUI-subsystem program"
if [ "$ZR_TRIPLET" = i686-w64-mingw32 ]; then
  grep -q 'file format pei-i386' <<<"$dump" || fail "not a PE32 i386 executable"
  grep -q 'Magic\s*010b' <<<"$dump" || fail "optional header is not PE32"
fi

# The manifest resource, read from the PE's resource directory.
python3 - "$exe" <<'PY' || status=1
import struct, sys
import xml.etree.ElementTree as ET

data = open(sys.argv[1], "rb").read()
pe = struct.unpack_from("<I", data, 0x3C)[0]
sections, optional_size = struct.unpack_from("<H12xH", data, pe + 6)
optional = pe + 24
magic = struct.unpack_from("<H", data, optional)[0]
directories = optional + (96 if magic == 0x10B else 112)
rsrc_rva = struct.unpack_from("<I", data, directories + 2 * 8)[0]
table = optional + optional_size

def offset(rva):
    for i in range(sections):
        size, address, raw_size, raw = struct.unpack_from("<IIII", data, table + 40 * i + 8)
        if address <= rva < address + max(size, raw_size):
            return raw + rva - address
    sys.exit("FAIL: address %#x lies in no section" % rva)

base = offset(rsrc_rva)

def entries(directory):  # (id or None for a name, offset of the child) of a resource directory
    named, ids = struct.unpack_from("<HH", data, base + directory + 12)
    for i in range(named + ids):
        name, child = struct.unpack_from("<II", data, base + directory + 16 + 8 * i)
        yield (None if name & 0x80000000 else name), child

def find(directory, wanted):
    for name, child in entries(directory):
        if name == wanted and child & 0x80000000:
            return child & 0x7FFFFFFF
    return None

if rsrc_rva == 0:
    sys.exit("FAIL: the exe has no resources")
manifests = find(0, 24)
one = find(manifests, 1) if manifests is not None else None
if one is None:
    sys.exit("FAIL: no manifest resource (RT_MANIFEST, id 1)")
languages = list(entries(one))
if len(languages) != 1 or languages[0][1] & 0x80000000:
    sys.exit("FAIL: the manifest resource has %d languages, expected one" % len(languages))
rva, size = struct.unpack_from("<II", data, base + languages[0][1])
text = data[offset(rva):offset(rva) + size]

asm, asm3, compat = ("urn:schemas-microsoft-com:asm.v1", "urn:schemas-microsoft-com:asm.v3",
                     "urn:schemas-microsoft-com:compatibility.v1")
try:
    root = ET.fromstring(text)
except ET.ParseError as error:
    sys.exit("FAIL: the manifest is not well-formed XML: %s" % error)
problems = []
if root.tag != "{%s}assembly" % asm:
    problems.append("root element is %s" % root.tag)
levels = root.findall("{%s}trustInfo/{%s}security/{%s}requestedPrivileges/{%s}requestedExecutionLevel"
                      % (asm3, asm3, asm3, asm3))
if [(e.get("level"), e.get("uiAccess", "false")) for e in levels] != [("asInvoker", "false")]:
    problems.append("execution level: %s" % [e.attrib for e in levels])
systems = [e.get("Id", "").lower() for e in
           root.findall("{%s}compatibility/{%s}application/{%s}supportedOS" % (compat, compat, compat))]
expected = {
    "{e2011457-1546-43c5-a5fe-008deee3d3f0}": "Vista",
    "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}": "7",
    "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}": "8",
    "{1f676c76-80e1-4239-95bb-83d0f6d0da78}": "8.1",
    "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}": "10 and 11",
}
for guid, name in expected.items():
    if guid not in systems:
        problems.append("Windows %s is not declared supported" % name)
if set(systems) - set(expected):
    problems.append("unknown supportedOS entries: %s" % sorted(set(systems) - set(expected)))
settings = "{%s}application/{%s}windowsSettings/" % (asm3, asm3)
aware = [(e.text or "").strip().lower() for e in
         root.findall(settings + "{http://schemas.microsoft.com/SMI/2005/WindowsSettings}dpiAware")]
awareness = [(e.text or "").replace(" ", "").lower() for e in
             root.findall(settings + "{http://schemas.microsoft.com/SMI/2016/WindowsSettings}dpiAwareness")]
if aware != ["true/pm"]:
    problems.append("dpiAware: %s, expected true/pm" % aware)
if awareness != ["permonitorv2,permonitor"]:
    problems.append("dpiAwareness: %s, expected PerMonitorV2, PerMonitor" % awareness)
for p in problems:
    print("FAIL: manifest: " + p)
if problems:
    sys.exit(1)
print("manifest: asInvoker, Windows Vista to 11, per-monitor DPI aware (%d bytes)" % size)
PY

size=$(stat -c %s "$exe")
echo "size: $size bytes ($build_type)"
if [ "$build_type" = Release ]; then
  [ "$size" -le "$max_release_bytes" ] || fail "the Release exe is $size bytes, more than $max_release_bytes"
  sections=$("${ZR_TRIPLET}-objdump" -h "$exe")
  if grep -q ' \.debug_' <<<"$sections"; then fail "the Release exe carries debug sections"; fi
  [ -z "$("${ZR_TRIPLET}-nm" "$exe" 2>/dev/null)" ] || fail "the Release exe carries symbols"
  symbols=$build/src/zrUpdater.debug
  if [ ! -f "$symbols" ]; then
    fail "no symbol file $symbols"
  else
    # .gnu_debuglink: the file name, zero padding to 4 bytes, then the CRC-32 of that file.
    "${ZR_TRIPLET}-objdump" -s -j .gnu_debuglink "$exe" | python3 -c '
import os, re, struct, sys, zlib
symbols = sys.argv[1]
link = bytes.fromhex("".join("".join(m.group(1).split()) for m in
                             re.finditer(r"^ [0-9a-f]+ ((?:[0-9a-f]{2,8} ?)+)", sys.stdin.read(), re.M)))
if b"\0" not in link:
    sys.exit("FAIL: the exe has no .gnu_debuglink")
name = link[:link.index(b"\0")].decode()
crc = struct.unpack_from("<I", link, (len(name) + 4) // 4 * 4)[0]
if name != os.path.basename(symbols):
    sys.exit("FAIL: .gnu_debuglink names %r" % name)
if crc != zlib.crc32(open(symbols, "rb").read()):
    sys.exit("FAIL: %s is not the symbol file of this exe (checksum)" % name)
print("symbols: %s (%d bytes), named by the exe\x27s debug link" % (name, os.path.getsize(symbols)))
' "$symbols" || status=1
    # grep reads to the end (no -q): a writer cut off early dies of SIGPIPE, and pipefail would
    # count that as no match.
    "${ZR_TRIPLET}-nm" "$symbols" | grep ' T _\?wWinMain' >/dev/null || fail "the symbol file has no wWinMain"
    "${ZR_TRIPLET}-objdump" -h "$symbols" | grep ' \.debug_line' >/dev/null || fail "the symbol file has no line table"
  fi
fi
exit $status
