#!/usr/bin/env bash
# Long fuzzing runs: scripts/fuzz.sh [SECONDS] [TARGET...]
# Builds the libFuzzer targets (clang 14, ASan, UBSan) into build/fuzz and runs each target
# SECONDS (default 600) one after the other, on a corpus that grows across runs
# (build/fuzz/corpus/<target>, seeded from tests/fuzz/corpus). Findings go to
# build/fuzz/findings/. Targets: manifest_fuzz, string_table_fuzz (default: both).
# Exit code 1 when any target found something.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
seconds=${1:-600}
shift || true
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(manifest_fuzz string_table_fuzz)
out="$root/build/fuzz"

bash "$root/tests/fuzz/build_fuzzers.sh" "$out"
mkdir -p "$out/findings"
status=0
for target in "${targets[@]}"; do
  corpus="$out/corpus/$target"
  mkdir -p "$corpus"
  cp -n "$root/tests/fuzz/corpus/${target%_fuzz}"/* "$corpus/"
  [ "$target" = string_table_fuzz ] && cp -n "$root/src/resources/strings_zh_CN.xml.in" "$corpus/shipped.xml"
  echo "== $target: $seconds s, corpus $(ls "$corpus" | wc -l) inputs"
  if ! "$out/$target" -max_total_time="$seconds" -dict="$root/tests/fuzz/xml.dict" \
       -artifact_prefix="$out/findings/$target-" -print_final_stats=1 "$corpus"; then
    status=1
    echo "== $target: FINDING, see $out/findings/" >&2
  fi
done
exit $status
