#!/usr/bin/env bash
# CTest's emulator for Windows programs: wine-run.sh PREFIX PROGRAM [ARGS...]
# Runs PROGRAM under Wine with the build's prefix, on the caller's display or a private Xvfb,
# and exits with the program's exit code. With ZR_LOGPIXELS=DPI it runs in a copy of the prefix
# at that display scale instead (zr_wine_init_scaled).
set -u
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$here/wine-env.sh"
prefix=$1; shift
if [ -n "${ZR_LOGPIXELS:-}" ]; then
  zr_wine_init_scaled "$prefix" "$ZR_LOGPIXELS"
else
  zr_wine_init "$prefix"
fi
started_display=0
if [ -z "${DISPLAY:-}" ]; then zr_display_up; started_display=1; fi
zr_wine "$@"
code=$?
[ "$started_display" = 1 ] && zr_display_down
exit $code
