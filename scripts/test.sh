#!/usr/bin/env bash
# Builds everything and runs every test: the native build (portable core, sanitizers), the
# win64 build (the program and its Windows tests under Wine on a private Xvfb) and the win32
# build (the shipped exe: inspected, and its Windows tests run through WoW64 and in 32-bit
# prefixes where this machine runs 32-bit code, skipped elsewhere). Installs what is missing
# first. Exit code 0 only when every build and every test that could run passed.
#
#   bash scripts/test.sh [native|win64|win32 ...]     (default: all three)
#
# Whether this machine runs 32-bit code is asked once (scripts/probe-32bit.sh), printed, and
# handed to the tests in ZR_RUNS_32BIT; ZR_FORCE_NO_32BIT=1 forces "no".
#
# Every tier is built first. Then the native tests run, and then the two Windows tiers at the
# same time, each on an Xvfb display of its own (their tests share nothing else: each build
# folder has its own Wine prefixes, and a Wine prefix's windows are its own), their lines
# marked "[win64]" and "[win32]": much of a Windows test's time is spent waiting for windows
# and timers. At the end, each tier's build and test time, its number of tests and its ten
# slowest tests with their seconds (from ctest's lines) are printed.
#
# ZR_TEST_FILTER=REGEX runs only the tests whose name matches (ctest -R) in each tier given:
# the same set-up, displays and summary, for a few tests.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"

tiers=("$@")
[ ${#tiers[@]} -gt 0 ] || tiers=(native win64 win32)
for tier in "${tiers[@]}"; do
  case "$tier" in
    native | win64 | win32) ;;
    *) echo "usage: $0 [native|win64|win32 ...]" >&2; exit 2 ;;
  esac
done
has_tier() { [[ " ${tiers[*]} " == *" $1 "* ]]; }

bash scripts/setup.sh
source scripts/wine-env.sh
unset DISPLAY

ZR_RUNS_32BIT=$(bash scripts/probe-32bit.sh) || true
export ZR_RUNS_32BIT
echo "== 32-bit code: $ZR_RUNS_32BIT"

jobs=$(nproc)
declare -A build_time
for tier in native win64 win32; do
  has_tier "$tier" || continue
  echo "== $tier: configure and build"
  start=$SECONDS
  cmake --preset "$tier" >/dev/null
  cmake --build --preset "$tier" -j "$jobs"
  build_time[$tier]=$((SECONDS - start))
done
# The win32 tier tests the 32-bit updater beside the 64-bit build's helpers.
if has_tier win32 && ! has_tier win64 && [ "$ZR_RUNS_32BIT" = yes ]; then
  echo "== win64: the helpers of the win32 tier"
  cmake --preset win64 >/dev/null
  cmake --build --preset win64 -j "$jobs" --target stand_in_product report_server session_probe
fi
# The Wine prefixes of the test programs are made once per build folder before the tests start.
has_tier win64 && zr_wine_init "$root/build/win64/wineprefix"
has_tier win32 && [ "$ZR_RUNS_32BIT" = yes ] && zr_wine_init "$root/build/win32/wineprefix"

logs=$(mktemp -d "${TMPDIR:-/tmp}/zr-test.XXXXXX")
trap 'rm -rf "$logs"' EXIT
# run_tier TIER MARK: the tier's tests, in the background, on a display of their own; the output
# goes to $logs/TIER and, each line after MARK, to the screen; $logs/TIER.status and TIER.time
# hold ctest's exit code and the seconds it took (they, not the waits, tell the outcome).
run_tier() {
  local tier=$1 mark=$2
  echo "== $tier: tests"
  if [ "$tier" = win32 ] && [ "$ZR_RUNS_32BIT" != yes ]; then
    echo "== win32: 32-bit code does not run here (${ZR_RUNS_32BIT#no: }): the tests that run the"
    echo "   32-bit programs are skipped; scripts/smoke-i686.sh runs the shipped exe through emulation"
  fi
  : >"$logs/$tier"
  (
    set +e  # the display's clean-up (an EXIT trap) must not decide this subshell's status
    start=$SECONDS
    zr_display_up
    ctest --preset "$tier" ${ZR_TEST_FILTER:+-R "$ZR_TEST_FILTER"} >"$logs/$tier" 2>&1
    code=$?
    echo "$code" >"$logs/$tier.status"
    echo $((SECONDS - start)) >"$logs/$tier.time"
  ) &
  local runner=$!
  # The output as it comes (the file is written by ctest alone; tail ends with the runner).
  tail -n +1 -F --pid="$runner" "$logs/$tier" 2>/dev/null | sed -u "s/^/$mark/" &
  tier_pids+=("$runner" "$!")
}

tier_pids=()
has_tier native && { run_tier native ""; wait "${tier_pids[@]}" || true; }
tier_pids=()
windows=()
for tier in win64 win32; do has_tier "$tier" && windows+=("$tier"); done
for tier in "${windows[@]}"; do
  mark="[$tier] "
  [ ${#windows[@]} -gt 1 ] || mark=""
  run_tier "$tier" "$mark"
done
[ ${#tier_pids[@]} -eq 0 ] || wait "${tier_pids[@]}" || true

# slowest_tests LOG: the ten slowest tests of a ctest log, two to a line, with their seconds and
# any outcome other than passing ("  520.3 s e2e_update_win_test (Failed)").
slowest_tests() {
  awk '/^ *[0-9]+\/[0-9]+ +Test +#[0-9]+: .* sec$/ {
         outcome = $0
         sub(/^ *[0-9]+\/[0-9]+ +Test +#[0-9]+: [^ ]+ [ .]*(\*\*\*)?/, "", outcome)
         sub(/ +[0-9.]+ sec$/, "", outcome)
         printf "%s\t%s\t%s\n", $(NF - 1), $4, outcome }' "$1" |
    sort -t "$(printf '\t')" -k1,1gr |
    awk -F '\t' 'NR > 10 { next }
                 { name = $2 ($3 == "Passed" ? "" : " (" $3 ")")
                   cell = sprintf("%7.1f s %-36s", $1, name)
                   line = NR % 2 ? cell : line " " cell
                   if (NR % 2 == 0) { sub(/ +$/, "", line); print "    " line; line = "" } }
                 END { if (line != "") { sub(/ +$/, "", line); print "    " line } }'
}

status=0
echo "== times (32-bit code: $ZR_RUNS_32BIT)"
for tier in native win64 win32; do
  has_tier "$tier" || continue
  [ "$(cat "$logs/$tier.status" 2>/dev/null)" = 0 ] || status=1
  count=$(sed -n 's/.* tests failed out of \([0-9]*\)$/\1/p' "$logs/$tier" | tail -n 1)
  skipped=$(grep -c '(Skipped)$' "$logs/$tier" || true)
  echo "   $tier: built in ${build_time[$tier]} s; ${count:-no} tests (${skipped} skipped) in $(cat "$logs/$tier.time" 2>/dev/null || echo '?') s; the slowest:"
  slowest_tests "$logs/$tier" || true
done
echo "   all: $SECONDS s"
exit $status
