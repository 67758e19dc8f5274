#!/usr/bin/env bash
# Short fuzzing run of every libFuzzer target (native build's test): fuzz_test.sh BUILD SOURCE
# Each target runs ZR_FUZZ_SECONDS (default 5) from its seed corpus, in a temp folder of its
# own; any crash, sanitizer report, broken invariant or input slower than 10 s fails the test
# and leaves the input. Longer runs: scripts/fuzz.sh.
set -euo pipefail
build=$1
source_dir=$2
seconds=${ZR_FUZZ_SECONDS:-5}
fuzz_dir="$build/fuzz"
source "$source_dir/tests/fuzz/targets.sh"

bash "$source_dir/tests/fuzz/build_fuzzers.sh" "$fuzz_dir"

work=$(mktemp -d "${TMPDIR:-/tmp}/zr-fuzz.XXXXXX")
keep=0
cleanup() { [ "$keep" = 1 ] || rm -rf "$work"; }
trap cleanup EXIT

status=0
for target in $(fuzz_targets); do
  corpus="$work/$target"
  fuzz_seed "$target" "$corpus" "$build"
  log="$work/$target.log"
  if "$fuzz_dir/$target" -max_total_time="$seconds" -timeout=10 -dict="$(fuzz_dict "$target")" \
       -artifact_prefix="$work/$target-" -print_final_stats=1 "$corpus" >"$log" 2>&1; then
    runs=$(grep -m1 '^stat::number_of_executed_units' "$log" | awk '{print $2}')
    echo "$target: ${runs:-?} inputs in ${seconds} s, no finding"
  else
    status=1
    keep=1
    echo "$target: FAILED, input and log kept in $work" >&2
    grep -E 'ERROR|SUMMARY|runtime error|deadly signal|Test unit written' "$log" >&2 || tail -n 30 "$log" >&2
  fi
done
exit $status
