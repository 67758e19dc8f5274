#!/usr/bin/env bash
# One-time machine set-up for the builds of zrUpdater, safe to run again.
#
#   bash scripts/setup.sh          everything: the three builds, the tests and the demo
#   bash scripts/setup.sh demo     only what scripts/demo.sh uses: the win64 build, Wine, Xvfb,
#                                  the fonts and the screenshot tools (no native build, no
#                                  fuzzers, no Wine 32-bit half, no i686 libraries)
#
#  1. Installs the Debian packages that set needs (quiet when they are already there), and in
#     the full set Wine's 32-bit half where the kernel runs 32-bit programs
#     (scripts/probe-32bit.sh): the i386 architecture is added for it.
#  2. Builds pugixml, jsoncpp and OpenSSL libcrypto from Debian's source packages for each
#     mingw triplet the set builds for (the demo's: x86_64 alone), into a cache outside the
#     checkout (ZR_DEPS_CACHE, by default ~/.cache/zrupdater-deps), once per machine and
#     version. zlib and stb_image come from Debian's packages directly.
#  3. Sizes the compiler cache that every build uses through ccache (cmake/ccache.cmake):
#     ZR_CCACHE_DIR, by default ~/.cache/zrupdater-ccache, at most 1 GB (the three trees of
#     one source tree take about 80 MB of it, compressed: room for a dozen versions and
#     checkouts), the compiler told apart by its content.
#
# The cache layout is <cache>/<triplet>/<package> -> <package>-<version>[<recipe>]/ (an install
# prefix); cmake/deps.cmake finds the libraries there. The recipe suffix names how a build
# differs from the plain one: changing a recipe changes its suffix, so that every machine
# builds that library again.
#
# The i686 builds go into the shipped exe and are lean (recipe "-lean1"), because the exe must
# stay small and every object the linker loads stays whole in it (on this target .eh_frame
# keeps every function of a loaded object alive, so --gc-sections removes next to nothing):
#  - pugixml without XPath and without its std::string/iostream interface (PUGIXML_NO_XPATH,
#    PUGIXML_NO_STL, written into the installed pugiconfig.hpp, so its users see the same);
#  - jsoncpp without its std::ostream-based writers (StyledStreamWriter, StreamWriterBuilder,
#    writeString, operator<<), its <iostream> static initialiser and the string streams of its
#    assertion messages: any of these pulls libstdc++'s iostreams and locale facets (about
#    0.7 MB) into the exe. Value, Reader, FastWriter and StyledWriter are all there; toStyledString
#    writes through StyledWriter. Using a removed writer fails at link time.
# Both are built with -O2. The 64-bit pugixml is lean too, so that the Release builds that the
# benchmarks measure carry no more of libstdc++ than the shipped exe (under Wine a program's
# whole image counts towards its working set); the 64-bit jsoncpp is the plain library.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/.." && pwd)
cache=${ZR_DEPS_CACHE:-$HOME/.cache/zrupdater-deps}
ccache_dir=${ZR_CCACHE_DIR:-$HOME/.cache/zrupdater-ccache}
jobs=$(nproc)

log() { printf '[setup] %s\n' "$*"; }

set_name=${1:-all}
case "$set_name" in
  all | demo) ;;
  *) echo "usage: $0 [demo]" >&2; exit 2 ;;
esac

packages=(
  # the win64 build (make and perl: the OpenSSL cross-build runs them; googletest: its sources,
  # which every configuration of the tree adds)
  cmake ninja-build make perl ccache python3
  g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 libz-mingw-w64-dev libstb-dev googletest
  # Wine, screenshots and clicks (procps: ps, util-linux: flock, libc-bin: iconv)
  wine64 xvfb xauth fonts-wqy-microhei imagemagick x11-utils xdotool procps
  util-linux libc-bin coreutils
  # the skin's 1.5x and 2x pictures, rendered from their SVG sources at build time
  librsvg2-bin
  # fetching source packages
  ca-certificates xz-utils
)
triplets=(x86_64-w64-mingw32)
if [ "$set_name" = all ]; then
  packages+=(
    # the native and win32 builds and the tests
    g++ pkg-config g++-mingw-w64-i686-posix mingw-w64-tools binutils-mingw-w64
    libpugixml-dev libjsoncpp-dev libssl-dev zlib1g-dev openssl libgtest-dev libgmock-dev
    # fuzzers
    clang-14 libclang-rt-14-dev
    # the report test's request to its loopback server
    curl
  )
  triplets+=(i686-w64-mingw32)
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
export DEBIAN_FRONTEND=noninteractive
sudo_cmd=()
[ "$(id -u)" = 0 ] || sudo_cmd=(sudo)
apt_get() { "${sudo_cmd[@]}" apt-get -o DPkg::Lock::Timeout=600 "$@"; }
# apt-get update, tried once more after a pause: a mirror in the middle of a sync serves index
# files that do not match its Release file for a while.
apt_update() {
  apt_get update -qq && return 0
  log "apt-get update failed; trying again in 30 s"
  sleep 30
  apt_get update -qq
}

if [ ${#missing[@]} -gt 0 ]; then
  log "installing: ${missing[*]}"
  apt_update
  apt_get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# Wine's 32-bit half, where the kernel runs 32-bit programs: then the 64-bit prefixes start the
# shipped i686 exe through WoW64. Elsewhere it stays out (its loader could not start there,
# and the Windows tests of the 32-bit build are skipped). It is not needed for the rest: when
# it cannot be installed (a mirror without the i386 indexes, say), the set-up says so, takes the
# i386 architecture away again if it added it (so that apt-get update works as before), and
# goes on; the tests of the 32-bit build are then reported skipped with the reason. The demo
# runs the 64-bit build and does without it.
if [ "$set_name" = all ] &&
   ! dpkg-query -W -f='${Status}' wine32:i386 2>/dev/null | grep -q 'install ok installed' &&
   bash "$here/probe-32bit.sh" --kernel >/dev/null; then
  log "installing Wine's 32-bit half (wine32:i386)"
  added_i386=0
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    "${sudo_cmd[@]}" dpkg --add-architecture i386
    added_i386=1
  fi
  if ! { apt_update && apt_get install -y -qq --no-install-recommends wine32:i386 >/dev/null; }; then
    log "Wine's 32-bit half could not be installed (see above): the 32-bit build's Windows tests will be skipped"
    if [ "$added_i386" = 1 ]; then
      "${sudo_cmd[@]}" dpkg --remove-architecture i386 || log "the i386 architecture stays (dpkg refused to remove it)"
      apt_get update -qq || true
    fi
  fi
fi

# --- source packages ---------------------------------------------------------------------
apt_dir=$cache/apt
apt_opts=(-o Dir::Etc::SourceParts="$apt_dir/sources.list.d" -o Dir::Etc::SourceList=/dev/null
          -o Dir::State::Lists="$apt_dir/lists" -o Dir::Cache="$apt_dir/cache"
          -o APT::Sandbox::User=root)

prepare_apt_sources() {
  [ -f "$apt_dir/lists/.updated" ] && return 0
  mkdir -p "$apt_dir/sources.list.d" "$apt_dir/lists/partial" "$apt_dir/cache/archives/partial"
  : > "$apt_dir/sources.list.d/src.sources"
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] || continue
    sed -e 's/^Types:.*/Types: deb-src/' "$f" >> "$apt_dir/sources.list.d/src.sources"
    printf '\n' >> "$apt_dir/sources.list.d/src.sources"
  done
  : > "$apt_dir/sources.list.d/src.list"
  for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [ -f "$f" ] || continue
    sed -n -e 's/^deb \(.*\)$/deb-src \1/p' "$f" >> "$apt_dir/sources.list.d/src.list"
  done
  apt-get "${apt_opts[@]}" update -qq
  touch "$apt_dir/lists/.updated"
}

src_version() { # newest source version of a package, as apt knows it
  apt-cache "${apt_opts[@]}" showsrc "$1" | sed -n 's/^Version: //p' | sort -V | tail -n 1
}

upstream() { local v=${1#*:}; printf '%s\n' "${v%-*}"; }

fetch_orig() { # fetch_orig PKG DEBIAN-VERSION -> prints the path of the unpacked upstream tree
  local pkg=$1 ver=$2 dir=$cache/src/$1-$2
  if [ ! -f "$dir/.unpacked" ]; then
    mkdir -p "$dir"
    (cd "$dir" && apt-get "${apt_opts[@]}" source --download-only -qq "$pkg=$ver" >/dev/null 2>&1 || true)
    local orig
    orig=$(ls "$dir"/*.orig.tar.* 2>/dev/null | grep -v '\.asc$' | head -n 1)
    [ -n "$orig" ] || { echo "setup: could not download the source of $pkg $ver" >&2; exit 1; }
    rm -rf "$dir/tree" && mkdir -p "$dir/tree"
    tar -xf "$orig" -C "$dir/tree" --strip-components=1
    touch "$dir/.unpacked"
  fi
  printf '%s\n' "$dir/tree"
}

recipe() { # recipe TRIPLET PKG -> the suffix of this build's cache folder (see the top)
  case "$1/$2" in
    */pugixml | i686-w64-mingw32/jsoncpp) echo -lean1 ;;
    *) echo "" ;;
  esac
}

# The lean recipes' changes to a copy of the upstream tree (the unpacked tree stays as it is).
# Each change is checked, so that a new upstream version stops the set-up instead of quietly
# giving a fat library.
lean_pugixml() { # lean_pugixml TREE
  sed -i -e 's|^// #define PUGIXML_NO_XPATH$|#define PUGIXML_NO_XPATH|' \
         -e 's|^// #define PUGIXML_NO_STL$|#define PUGIXML_NO_STL|' "$1/src/pugiconfig.hpp"
  [ "$(grep -c -e '^#define PUGIXML_NO_XPATH$' -e '^#define PUGIXML_NO_STL$' "$1/src/pugiconfig.hpp")" = 2 ] ||
    { echo "setup: pugiconfig.hpp has changed; cannot make the lean pugixml" >&2; exit 1; }
}

lean_jsoncpp() { # lean_jsoncpp TREE
  python3 - "$1" <<'PY'
import sys
tree = sys.argv[1]

def edit(path, old, new):
    full = tree + "/" + path
    text = open(full).read()
    if text.count(old) != 1:
        sys.exit("setup: %s has changed; cannot make the lean jsoncpp" % path)
    open(full, "w").write(text.replace(old, new))

# The exception's message is a plain string: no string stream.
edit("include/json/assertions.h",
     "    OStringStream oss;                                                         \\\n"
     "    oss << message;                                                            \\\n"
     "    Json::throwLogicError(oss.str());                                          \\\n",
     "    Json::throwLogicError(Json::String(message));                              \\\n")
# std::cerr is used only when exceptions are off; <iostream> would construct the standard streams.
edit("src/lib_json/json_value.cpp", "#include <iostream>\n", "")
edit("src/lib_json/json_value.cpp",
     "  StreamWriterBuilder builder;\n\n"
     "  String out = this->hasComment(commentBefore) ? \"\\n\" : \"\";\n"
     "  out += Json::writeString(builder, *this);\n"
     "  out += '\\n';\n\n"
     "  return out;\n",
     "  return StyledWriter().write(*this);\n")
# Everything from the first std::ostream-based writer to the end of the file goes.
path = tree + "/src/lib_json/json_writer.cpp"
text = open(path).read()
cut = text.find("// Class StyledStreamWriter\n")
if cut < 0 or text.count("OStringStream") == 0:
    sys.exit("setup: json_writer.cpp has changed; cannot make the lean jsoncpp")
text = text[:cut] + "} // namespace Json\n"
if "OStream" in text or "ostream" in text:
    sys.exit("setup: json_writer.cpp still writes to streams; cannot make the lean jsoncpp")
open(path, "w").write(text)
PY
}

build_cmake_dep() { # build_cmake_dep TRIPLET PKG DEBIAN-VERSION CMAKE-ARGS...
  local triplet=$1 pkg=$2 debver=$3 ver; ver=$(upstream "$3"); shift 3
  local name; name=$pkg-$ver$(recipe "$triplet" "$pkg")
  local prefix=$cache/$triplet/$name
  [ -f "$prefix/.built" ] && { ln -sfn "$name" "$cache/$triplet/$pkg"; return 0; }
  local tree; tree=$(fetch_orig "${srcpkg:-$pkg}" "$debver")
  log "building $name for $triplet"
  local bdir=$cache/build/$triplet/$name
  rm -rf "$bdir" "$bdir-src"
  mkdir -p "$(dirname "$bdir")"
  local flags=()
  if [ -n "$(recipe "$triplet" "$pkg")" ]; then
    cp -r "$tree" "$bdir-src"
    tree=$bdir-src
    "lean_$pkg" "$tree"
    flags=(-DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG")
  fi
  rm -rf "$prefix"
  cmake -S "$tree" -B "$bdir" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-$triplet.cmake" \
    -DCMAKE_INSTALL_PREFIX="$prefix" -DBUILD_SHARED_LIBS=OFF "${flags[@]}" "$@" >/dev/null
  cmake --build "$bdir" -j "$jobs" >/dev/null
  cmake --install "$bdir" >/dev/null
  rm -rf "$bdir" "$bdir-src"
  touch "$prefix/.built"
  ln -sfn "$name" "$cache/$triplet/$pkg"
}

build_openssl() { # build_openssl TRIPLET DEBIAN-VERSION
  local triplet=$1 debver=$2 ver; ver=$(upstream "$2")
  local prefix=$cache/$triplet/openssl-$ver
  [ -f "$prefix/.built" ] && { ln -sfn "openssl-$ver" "$cache/$triplet/openssl"; return 0; }
  local tree; tree=$(fetch_orig openssl "$debver")
  local target=mingw64
  [ "$triplet" = i686-w64-mingw32 ] && target=mingw
  log "building OpenSSL libcrypto $ver for $triplet (a few minutes)"
  local bdir=$cache/build/$triplet/openssl-$ver
  rm -rf "$bdir" && mkdir -p "$bdir"
  (cd "$bdir" && "$tree/Configure" "$target" no-shared no-asm no-tests no-module no-engine \
      no-dso no-async no-sock no-ui-console --cross-compile-prefix="$triplet-" \
      --prefix="$prefix" --libdir=lib >/dev/null &&
    make -s -j "$jobs" build_libs >/dev/null 2>&1 &&
    make -s install_dev >/dev/null 2>&1)
  rm -rf "$bdir"
  touch "$prefix/.built"
  ln -sfn "openssl-$ver" "$cache/$triplet/openssl"
}

# Several checkouts on one machine share the cache: one builds, the others wait for it.
mkdir -p "$cache"
exec 8>"$cache/.lock"
flock 8
all_built=1
for t in "${triplets[@]}"; do
  for p in pugixml jsoncpp openssl; do
    [ -f "$cache/$t/$p/.built" ] || all_built=0
    case "$(readlink "$cache/$t/$p" 2>/dev/null)" in
      *"$(recipe "$t" "$p")") ;;
      *) all_built=0 ;;  # built by another recipe
    esac
  done
done
if [ "$all_built" = 0 ] || [ "${ZR_SETUP_REFRESH:-0}" = 1 ]; then
  prepare_apt_sources
  pugixml_ver=$(src_version pugixml); jsoncpp_ver=$(src_version libjsoncpp); openssl_ver=$(src_version openssl)
  for t in "${triplets[@]}"; do
    mkdir -p "$cache/$t"
    build_cmake_dep "$t" pugixml "$pugixml_ver" -DPUGIXML_BUILD_TESTS=OFF
    srcpkg=libjsoncpp build_cmake_dep "$t" jsoncpp "$jsoncpp_ver" -DJSONCPP_WITH_TESTS=OFF \
      -DJSONCPP_WITH_POST_BUILD_UNITTEST=OFF -DJSONCPP_WITH_PKGCONFIG_SUPPORT=OFF \
      -DJSONCPP_WITH_CMAKE_PACKAGE=ON -DBUILD_STATIC_LIBS=ON -DBUILD_OBJECT_LIBS=OFF
    build_openssl "$t" "$openssl_ver"
  done
fi

# The compiler cache's own settings, in its ccache.conf (so that `ccache -s` with its CCACHE_DIR
# shows them too); the checkout each build hashes relative to is the build's (cmake/ccache.cmake).
mkdir -p "$ccache_dir"
ccache_set() {
  [ "$(CCACHE_DIR=$ccache_dir ccache --get-config "$1")" = "$2" ] ||
    CCACHE_DIR=$ccache_dir ccache --set-config "$1=$2"
}
ccache_set max_size 1.0G
ccache_set compiler_check content
log "ready (dependency cache: $cache; compiler cache: $ccache_dir)"
