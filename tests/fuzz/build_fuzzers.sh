#!/usr/bin/env bash
# Builds the libFuzzer targets with clang 14, ASan and UBSan:
#   build_fuzzers.sh OUTDIR
# gives OUTDIR/manifest_fuzz, journal_fuzz, string_table_fuzz, zip_archive_fuzz, picture_fuzz and
# markup_fuzz. Objects are rebuilt only when their source or a header is newer, and two builds
# into one OUTDIR take turns (a lock file beside it).
# pugixml is compiled from its source (instrumented, so the fuzzer sees inside the parser)
# when the dependency cache holds it; otherwise the system library is linked.
set -euo pipefail
out=$1
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
cxx=${ZR_FUZZ_CXX:-clang++-14}
command -v "$cxx" >/dev/null || { echo "$cxx not found (packages clang-14, libclang-rt-14-dev)" >&2; exit 1; }
# Compiled through the builds' compiler cache when there is one (cmake/ccache.cmake), so that a
# clean clone compiles none of it again.
compiler=("$cxx")
if command -v ccache >/dev/null; then
  compiler=(env "CCACHE_DIR=${ZR_CCACHE_DIR:-$HOME/.cache/zrupdater-ccache}" "CCACHE_BASEDIR=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)" ccache "$cxx")
fi

mkdir -p "$out/obj"
exec 9>"$out.lock"
flock 9

# tests/ for the test support layer (host, zip writer); stb_image's header from libstb-dev.
flags=(-std=c++17 -g -O1 -fno-omit-frame-pointer -fno-sanitize-recover=undefined
       -fsanitize-ignorelist="$root/tests/fuzz/ignore.txt"
       -I"$root/src" -I"$root/tests" -I/usr/include/stb)
instrument=(-fsanitize=fuzzer-no-link,address,undefined)
link=(-fsanitize=fuzzer,address,undefined)

cache=${ZR_DEPS_CACHE:-$HOME/.cache/zrupdater-deps}
pugixml_src=$(ls "$cache"/src/pugixml-*/tree/src/pugixml.cpp 2>/dev/null | head -n 1 || true)

# compile SOURCE OBJECT [FLAG...]: only when the object is missing or older than the source or
# a header (or this script). FLAGs come after the instrumentation flags.
compile() {
  local src=$1 obj=$2
  if [ ! -f "$obj" ] || [ "$src" -nt "$obj" ] || [ "${BASH_SOURCE[0]}" -nt "$obj" ] || \
     [ -n "$(find "$root/src" "$root/tests/support" -name '*.h' -newer "$obj" 2>/dev/null | head -n 1)" ]; then
    "${compiler[@]}" "${flags[@]}" "${instrument[@]}" "${@:3}" -c "$src" -o "$obj.part"
    mv "$obj.part" "$obj"
  fi
}

obj_of() { echo "$out/obj/$(echo "$1" | tr '/' '_').o"; }
# The skin engine's portable files (every one: the engine's parts call each other).
skin=()
for src in "$root"/src/skin/*.cpp; do
  case "$src" in *_win.cpp) continue ;; esac
  skin+=("skin/$(basename "$src")")
done
for src in update/manifest.cpp update/journal.cpp strings/string_table.cpp util/text_native.cpp util/detached_thread_native.cpp "${skin[@]}"; do
  # The canvas's pixel loops hold no value worth guiding mutations by, and tracing their
  # comparisons would take most of the markup and picture targets' time.
  case "$src" in
    skin/pixel_canvas.cpp) compile "$root/src/$src" "$(obj_of "$src")" -fno-sanitize-coverage=trace-cmp ;;
    *) compile "$root/src/$src" "$(obj_of "$src")" ;;
  esac
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
  # The target's own checks are not what is fuzzed: sanitized, but without coverage.
  compile "$root/tests/fuzz/$target.cpp" "$out/obj/$target.o" -fno-sanitize=fuzzer-no-link
  "$cxx" "${link[@]}" "${objects[@]}" "${xml[@]}" -lz -o "$out/$target.part"
  mv "$out/$target.part" "$out/$target"
}
link_target manifest_fuzz update/manifest.cpp util/text_native.cpp
link_target journal_fuzz update/journal.cpp util/text_native.cpp
link_target string_table_fuzz strings/string_table.cpp util/text_native.cpp
link_target zip_archive_fuzz skin/zip_archive.cpp
link_target picture_fuzz "${skin[@]}" util/text_native.cpp util/detached_thread_native.cpp
link_target markup_fuzz "${skin[@]}" util/text_native.cpp util/detached_thread_native.cpp
