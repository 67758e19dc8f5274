#!/usr/bin/env bash
# Builds everything and runs every test: the native build (portable core, sanitizers), the
# win64 build (the program and its Windows tests under Wine on a private Xvfb) and the win32
# build (the shipped exe, inspected). Installs what is missing first. Exit code 0 only when
# every build and every test passed.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"

bash scripts/setup.sh
source scripts/wine-env.sh
unset DISPLAY
zr_display_up   # one private display for the whole run; GUI tests take turns on it

jobs=$(nproc)
status=0
for preset in native win64 win32; do
  echo "== $preset: configure and build"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
done
# The Wine prefix is made once per build folder before the tests start.
zr_wine_init "$root/build/win64/wineprefix"
for preset in native win64 win32; do
  echo "== $preset: tests"
  ctest --preset "$preset" || status=1
done
exit $status
