#!/usr/bin/env bash
# Builds the libFuzzer targets with clang 14, ASan and UBSan:
#   build_fuzzers.sh OUTDIR
# gives OUTDIR/manifest_fuzz and OUTDIR/string_table_fuzz. Objects are rebuilt only when their
# source is newer, and two builds into one OUTDIR take turns (a lock file beside it).
# pugixml is compiled from its source (instrumented, so the fuzzer sees inside the parser)
# when the dependency cache holds it; otherwise the system library is linked.
set -euo pipefail
out=$1
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
cxx=${ZR_FUZZ_CXX:-clang++-14}
command -v "$cxx" >/dev/null || { echo "$cxx not found (packages clang-14, libclang-rt-14-dev)" >&2; exit 1; }

mkdir -p "$out/obj"
exec 9>"$out.lock"
flock 9

flags=(-std=c++17 -g -O1 -fno-omit-frame-pointer -fno-sanitize-recover=undefined -I"$root/src")
instrument=(-fsanitize=fuzzer-no-link,address,undefined)
link=(-fsanitize=fuzzer,address,undefined)

cache=${ZR_DEPS_CACHE:-$HOME/.cache/zrupdater-deps}
pugixml_src=$(ls "$cache"/src/pugixml-*/tree/src/pugixml.cpp 2>/dev/null | head -n 1 || true)

# compile SOURCE OBJECT: only when the object is missing or older than the source or a header.
compile() {
  local src=$1 obj=$2
  if [ ! -f "$obj" ] || [ "$src" -nt "$obj" ] || \
     [ -n "$(find "$root/src/update" "$root/src/ui" "$root/src/util" -name '*.h' -newer "$obj" 2>/dev/null | head -n 1)" ]; then
    "$cxx" "${flags[@]}" "${instrument[@]}" -c "$src" -o "$obj.part"
    mv "$obj.part" "$obj"
  fi
}

obj_of() { echo "$out/obj/$(echo "$1" | tr '/' '_').o"; }
for src in update/manifest.cpp ui/string_table.cpp util/text_native.cpp; do
  compile "$root/src/$src" "$(obj_of "$src")"
done
xml=()
if [ -n "$pugixml_src" ]; then
  compile "$pugixml_src" "$out/obj/pugixml.o"
  xml=("$out/obj/pugixml.o")
else
  xml=(-lpugixml)
fi

# link TARGET SOURCES...: the target's own file plus the project's files it exercises.
link_target() {
  local target=$1; shift
  local objects=("$out/obj/$target.o")
  for src in "$@"; do objects+=("$(obj_of "$src")"); done
  compile "$root/tests/fuzz/$target.cpp" "$out/obj/$target.o"
  "$cxx" "${link[@]}" "${objects[@]}" "${xml[@]}" -o "$out/$target.part"
  mv "$out/$target.part" "$out/$target"
}
link_target manifest_fuzz update/manifest.cpp util/text_native.cpp
link_target string_table_fuzz ui/string_table.cpp util/text_native.cpp
