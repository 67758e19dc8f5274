#!/usr/bin/env bash
# Apply benchmark under Wine. Prints figures; asserts nothing about them.
#
#   bench.sh WIN64_BUILD [ROUNDS] [FILES] [MEGABYTES]
#
# Runs bench_apply.exe (the engine's replacing stage on a FILES-entry manifest, about MEGABYTES
# of staged content, against a bare loop of the same MoveFileExW and DeleteFileW calls on an
# identical tree, ROUNDS times alternating the order) in a temp folder, and prints each round,
# the medians and their ratio; then the same with the staged files on another volume (a folder
# in /dev/shm, another file system, mapped as a drive of the prefix), where both copy. Defaults:
# 5 rounds, 1000 files, 50 MB.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$here/../../scripts/wine-env.sh"
build=$(cd "$1" && pwd)
rounds=${2:-5}
files=${3:-1000}
megabytes=${4:-50}
exe="$build/tools/bench_apply/bench_apply.exe"
[ -f "$exe" ] || { echo "missing $exe: cmake --build $build --target bench_apply" >&2; exit 1; }

work=$(mktemp -d "${TMPDIR:-/tmp}/zr-bench-apply.XXXXXX")
zr_wine_init "$build/wineprefix"
other=() drive=
if [ -d /dev/shm ] && shm=$(mktemp -d /dev/shm/zr-bench-apply.XXXXXX); then
  for letter in m n o p q r s t u v w x y; do
    if ln -s "$shm" "$ZR_WINEPREFIX/dosdevices/$letter:" 2>/dev/null; then
      drive=$letter
      other=(--other-volume "${letter^^}:\staged")
      break
    fi
  done
fi
trap 'rm -rf "$work" ${shm:+"$shm"}; [ -z "$drive" ] || rm -f "$ZR_WINEPREFIX/dosdevices/$drive:"' EXIT
# A console program: no display needed.
DISPLAY= zr_wine "$exe" --rounds "$rounds" --files "$files" --megabytes "$megabytes" \
  --dir "$(zr_winpath "$work/trees")" "${other[@]}"
