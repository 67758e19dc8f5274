#!/usr/bin/env bash
# Benchmarks: each prints its figures and asserts nothing about them.
#
#   scripts/bench.sh [NAME...]
#
# Builds the win64 preset (every benchmark program is part of it) and runs
# tools/bench_<NAME>/bench.sh with that build folder, for each NAME given or, by default, for
# every tools/bench_*/ that has a bench.sh:
#   apply          the engine's replacing stage on a 1,000-file manifest (about 50 MB) against
#                  a bare loop of the same MoveFileExW and DeleteFileW calls, and their ratio
#   skin_startup   start-up time and memory of the skinned window, executable sizes
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"

names=("$@")
if [ ${#names[@]} -eq 0 ]; then
  for dir in tools/bench_*/; do
    [ -f "$dir/bench.sh" ] && names+=("$(basename "$dir" | sed 's/^bench_//')")
  done
fi

cmake --preset win64 >/dev/null
cmake --build --preset win64 -j "$(nproc)" >/dev/null
status=0
for name in "${names[@]}"; do
  echo "== $name"
  bash "tools/bench_$name/bench.sh" "$root/build/win64" || status=1
done
exit $status
