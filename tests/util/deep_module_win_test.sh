#!/usr/bin/env bash
# The updater's own directory is read whole however deep it lies: a copy of the test program
# in a directory of more than 300 characters finds that directory, not a cut one.
set -euo pipefail
export LANG=C.UTF-8
build=$1 source=$2
work=$(mktemp -d); trap 'rm -rf "$work"' EXIT
deep="$work/$(printf 'a%.0s' {1..120})/$(printf '更%.0s' {1..60})/$(printf 'c%.0s' {1..120})"
mkdir -p "$deep"
cp "$build/tests/test_util.exe" "$deep/"
winpath() { printf 'Z:%s' "$1" | tr '/' '\\'; }
expected=$(winpath "$deep")
[ ${#expected} -gt 300 ] || { echo "the directory is not deep enough"; exit 1; }
cd "$work"
ZR_DEEP_DIRECTORY=$expected LANG=C.UTF-8 \
  bash "$source/scripts/wine-run.sh" "$build/wineprefix" "$deep/test_util.exe" \
  --gtest_filter='GetModuleDirectory.IsWholeHoweverDeepTheExecutableLies' | tee "$work/out.txt"
grep -q '\[  PASSED  \] 1 test' "$work/out.txt"
