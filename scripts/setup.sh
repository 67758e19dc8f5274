#!/usr/bin/env bash
# One-time machine set-up for every build of zrUpdater, safe to run again.
#
#  1. Installs the Debian packages the builds, the tests and the demo need (quiet when they
#     are already there).
#  2. Builds pugixml, jsoncpp and OpenSSL libcrypto from Debian's source packages for each
#     mingw triplet, into a cache outside the checkout (ZR_DEPS_CACHE, by default
#     ~/.cache/zrupdater-deps), once per machine and version. zlib and stb_image come from
#     Debian's packages directly.
#
# The cache layout is <cache>/<triplet>/<package> -> <package>-<version>/ (an install prefix);
# cmake/deps.cmake finds the libraries there.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/.." && pwd)
cache=${ZR_DEPS_CACHE:-$HOME/.cache/zrupdater-deps}
jobs=$(nproc)

log() { printf '[setup] %s\n' "$*"; }

packages=(
  # builds (make and perl: the OpenSSL cross-build runs them)
  cmake ninja-build make perl g++ pkg-config
  g++-mingw-w64-i686 g++-mingw-w64-x86-64 mingw-w64-tools binutils-mingw-w64
  libz-mingw-w64-dev libstb-dev
  libpugixml-dev libjsoncpp-dev libssl-dev zlib1g-dev openssl
  googletest libgtest-dev libgmock-dev
  # fuzzers
  clang-14 libclang-rt-14-dev
  # Windows tests, screenshots and the demo (procps: ps, util-linux: flock, libc-bin: iconv)
  wine64 xvfb xauth fonts-wqy-microhei imagemagick x11-utils xdotool python3 procps
  util-linux libc-bin coreutils
  # fetching source packages
  ca-certificates xz-utils
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  log "installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  sudo_cmd=()
  [ "$(id -u)" = 0 ] || sudo_cmd=(sudo)
  "${sudo_cmd[@]}" apt-get update -o DPkg::Lock::Timeout=600 -qq
  "${sudo_cmd[@]}" apt-get install -o DPkg::Lock::Timeout=600 -y -qq --no-install-recommends "${missing[@]}" >/dev/null
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

build_cmake_dep() { # build_cmake_dep TRIPLET PKG DEBIAN-VERSION CMAKE-ARGS...
  local triplet=$1 pkg=$2 debver=$3 ver; ver=$(upstream "$3"); shift 3
  local prefix=$cache/$triplet/$pkg-$ver
  [ -f "$prefix/.built" ] && { ln -sfn "$pkg-$ver" "$cache/$triplet/$pkg"; return 0; }
  local tree; tree=$(fetch_orig "${srcpkg:-$pkg}" "$debver")
  log "building $pkg $ver for $triplet"
  local bdir=$cache/build/$triplet/$pkg-$ver
  rm -rf "$bdir"
  cmake -S "$tree" -B "$bdir" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-$triplet.cmake" \
    -DCMAKE_INSTALL_PREFIX="$prefix" -DBUILD_SHARED_LIBS=OFF "$@" >/dev/null
  cmake --build "$bdir" -j "$jobs" >/dev/null
  cmake --install "$bdir" >/dev/null
  rm -rf "$bdir"
  touch "$prefix/.built"
  ln -sfn "$pkg-$ver" "$cache/$triplet/$pkg"
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
for t in x86_64-w64-mingw32 i686-w64-mingw32; do
  for p in pugixml jsoncpp openssl; do
    [ -f "$cache/$t/$p/.built" ] || all_built=0
  done
done
if [ "$all_built" = 0 ] || [ "${ZR_SETUP_REFRESH:-0}" = 1 ]; then
  prepare_apt_sources
  pugixml_ver=$(src_version pugixml); jsoncpp_ver=$(src_version libjsoncpp); openssl_ver=$(src_version openssl)
  for t in x86_64-w64-mingw32 i686-w64-mingw32; do
    mkdir -p "$cache/$t"
    build_cmake_dep "$t" pugixml "$pugixml_ver" -DPUGIXML_BUILD_TESTS=OFF
    srcpkg=libjsoncpp build_cmake_dep "$t" jsoncpp "$jsoncpp_ver" -DJSONCPP_WITH_TESTS=OFF \
      -DJSONCPP_WITH_POST_BUILD_UNITTEST=OFF -DJSONCPP_WITH_PKGCONFIG_SUPPORT=OFF \
      -DJSONCPP_WITH_CMAKE_PACKAGE=ON -DBUILD_STATIC_LIBS=ON -DBUILD_OBJECT_LIBS=OFF
    build_openssl "$t" "$openssl_ver"
  done
fi
log "ready (dependency cache: $cache)"
