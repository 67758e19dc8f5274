#!/usr/bin/env bash
# Apply benchmark under Wine. Prints figures; asserts nothing about them.
#
#   bench.sh WIN64_BUILD [ROUNDS] [FILES] [MEGABYTES]
#
# Runs bench_apply.exe (the engine's replacing stage on a FILES-entry manifest, about MEGABYTES
# of staged content, against a bare loop of the same MoveFileExW and DeleteFileW calls on an
# identical tree, ROUNDS times alternating the order) in a temp folder, and prints each round,
# the medians and their ratio. Defaults: 5 rounds, 1000 files, 50 MB.
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
trap 'rm -rf "$work"' EXIT
zr_wine_init "$build/wineprefix"
# A console program: no display needed.
DISPLAY= zr_wine "$exe" --rounds "$rounds" --files "$files" --megabytes "$megabytes" \
  --dir "$(zr_winpath "$work/trees")"
