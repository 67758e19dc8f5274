#!/usr/bin/env bash
# A machine that cannot run 32-bit code, played with ZR_FORCE_NO_32BIT=1: scripts/test.sh says
# so, the 32-bit build's tier runs and reports every test that runs a Windows program as
# skipped (CTest's skip, never a pass) and says why, still runs the exe's inspection,
# and the run exits 0.
#
#   no_32bit_test.sh BUILD_DIR SOURCE_DIR
#
# It runs `scripts/test.sh win32` on the source tree's build/win32, which must have been built
# (scripts/test.sh builds every tier before it tests any): its tests are only asked to skip,
# and its last test log is overwritten.
set -u
source_dir=$(cd "$2" && pwd)
win32="$source_dir/build/win32"
if [ ! -f "$win32/src/zrUpdater.exe" ] || [ ! -f "$win32/CTestTestfile.cmake" ]; then
  echo "SKIP: no win32 build in $win32 (cmake --preset win32 && cmake --build --preset win32)"
  exit 77
fi
work=$(mktemp -d "${TMPDIR:-/tmp}/zr-no-32bit.XXXXXX")
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

env -u ZR_RUNS_32BIT ZR_FORCE_NO_32BIT=1 bash "$source_dir/scripts/test.sh" win32 >"$work/run.log" 2>&1
code=$?
[ "$code" = 0 ] || fail "scripts/test.sh win32 exited with $code"
grep -qx '== 32-bit code: no: forced by ZR_FORCE_NO_32BIT=1' "$work/run.log" ||
  fail "the probe's answer is not printed"

# Every test of the tier: those that run Windows programs are skipped, the inspection of the
# exe passes.
ctest --test-dir "$win32" -N | sed -n 's/^ *Test *#[0-9]*: //p' >"$work/tests"
skipped=0
while read -r name; do
  result=$(grep -E "Test +#[0-9]+: ${name//./[.]} \.+" "$work/run.log" | tail -n 1)
  if [[ "$name" == *_pe_test ]]; then
    [[ "$result" == *" Passed "* ]] || fail "$name: ${result:-not run}"
  elif [[ "$result" == *"***Skipped "* ]]; then
    skipped=$((skipped + 1))
  else
    fail "$name: ${result:-not run}, expected skipped"
  fi
done <"$work/tests"
# The reason: once in the run's output, and in each skipped test's own (shown here for one).
reason='32-bit code does not run here (forced by ZR_FORCE_NO_32BIT=1)'
grep -qF "== win32: $reason" "$work/run.log" || fail "the run does not say why the tier is skipped"
ZR_FORCE_NO_32BIT=1 ctest --test-dir "$win32" -V -R '^net$' >"$work/net.log" 2>&1
grep -qF 'SKIP: 32-bit code does not run on this machine (forced by ZR_FORCE_NO_32BIT=1)' "$work/net.log" &&
  grep -q 'net .*\*\*\*Skipped' "$work/net.log" || fail "the skipped test program does not give the reason"
[ "$skipped" -ge 20 ] || fail "only $skipped tests were skipped"
grep -q "^   win32: built in [0-9]* s; $(wc -l <"$work/tests") tests ($skipped skipped) in [0-9]* s; the slowest:$" "$work/run.log" ||
  fail "the tier's summary line is missing: $(grep '^   win32' "$work/run.log")"

if [ "$failures" != 0 ]; then
  echo "--- scripts/test.sh win32:"; tail -n 60 "$work/run.log"
  exit 1
fi
echo "forced no: $skipped tests skipped with the reason, the run exited 0"
