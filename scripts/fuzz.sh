#!/usr/bin/env bash
# Long fuzzing runs: scripts/fuzz.sh [SECONDS] [TARGET...]
# Builds the libFuzzer targets (clang 14, ASan, UBSan) into build/fuzz and runs each target
# SECONDS (default 600) one after the other, on a corpus that grows across runs
# (build/fuzz/corpus/<target>, seeded as tests/fuzz/targets.sh says). Findings, and inputs
# slower than 10 s, go to build/fuzz/findings/. Targets: see tests/fuzz/targets.sh (default:
# all). ZR_FUZZ_RUNS=N ends each run after N inputs instead, if that comes first;
# ZR_FUZZ_MAX_LEN=N caps the inputs' length (the markup target runs about three times as fast
# at 2048 bytes as on its grown corpus' longest inputs).
# Each run ends with libFuzzer's figures (stat::number_of_executed_units, ...).
# Exit code 1 when any target found something.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
source "$root/tests/fuzz/targets.sh"
seconds=${1:-600}
shift || true
targets=("$@")
[ ${#targets[@]} -gt 0 ] || mapfile -t targets < <(fuzz_targets)
out="$root/build/fuzz"

bash "$root/tests/fuzz/build_fuzzers.sh" "$out"
mkdir -p "$out/findings"
status=0
for target in "${targets[@]}"; do
  corpus="$out/corpus/$target"
  fuzz_seed "$target" "$corpus"
  echo "== $target: $seconds s, corpus $(ls "$corpus" | wc -l) inputs"
  if ! "$out/$target" -max_total_time="$seconds" -runs="${ZR_FUZZ_RUNS:--1}" -max_len="${ZR_FUZZ_MAX_LEN:-0}" -timeout=10 \
       -dict="$(fuzz_dict "$target")" -artifact_prefix="$out/findings/$target-" \
       -print_final_stats=1 "$corpus"; then
    status=1
    echo "== $target: FINDING, see $out/findings/" >&2
  fi
done
exit $status
