#!/usr/bin/env bash
# CTest's emulator for Windows programs: wine-run.sh PREFIX PROGRAM [ARGS...]
# Runs PROGRAM under Wine with the build's prefix, on the caller's display or a private Xvfb,
# and exits with the program's exit code.
#
# With ZR_OWN_SESSION=1 (test programs that show windows, given by the test registration) the
# program gets a prefix and a display of its own instead: $BUILD/wineprefixes/$ZR_TEST_NAME
# beside PREFIX, made anew from the build's template prefix, and a private Xvfb, so that its
# windows meet no other test's (a prefix's windows are one desktop), and every process left
# in that prefix is ended afterwards. ZR_LOGPIXELS=DPI sets that prefix's display scale first.
set -u
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$here/wine-env.sh"
prefix=$1; shift
if [ "${ZR_OWN_SESSION:-0}" = 1 ]; then
  build=$(dirname "$prefix")
  zr_wine_fresh "$build/wineprefixes/${ZR_TEST_NAME:-$(basename "$1" .exe)}" "$build/wineprefix-template"
  if [ -n "${ZR_LOGPIXELS:-}" ]; then zr_wine_logpixels "$ZR_LOGPIXELS" || exit 1; fi
  zr_display_up --own
  zr_wine "$@"
  code=$?
  zr_wineserver -k >/dev/null 2>&1
  zr_display_down
  exit $code
fi
zr_wine_init "$prefix"
started_display=0
if [ -z "${DISPLAY:-}" ]; then zr_display_up; started_display=1; fi
zr_wine "$@"
code=$?
[ "$started_display" = 1 ] && zr_display_down
exit $code
