#!/usr/bin/env bash
# Benchmarks: each prints its figures and asserts nothing about them.
#
#   scripts/bench.sh [NAME...]
#
# Configures and builds build/win64-release (the win64 preset built as Release, as the
# shipped exe is: a Debug build measures its own debug information more than the program)
# and runs tools/bench_<NAME>/bench.sh with that folder, for each NAME given or, by default,
# for every tools/bench_*/ that has a bench.sh:
#   apply          on a 1,000-file manifest (about 50 MB, every file with its md5): the check's
#                  path rules, its md5 part against a plain read of the same files, and the
#                  replacing stage against a bare loop of the same MoveFileExW and DeleteFileW
#                  calls, with their ratios
#   skin_startup   start-up time and memory of the updater's window against a plain window,
#                  and the work of its later frames
# A benchmark's programs are the targets named on its bench.sh's "# targets:" line, else
# bench_<NAME>. Each benchmark gets at most 20 minutes; one that fails or hangs makes the exit
# status 1, and the others still run. ZR_BENCH_BUILD names another build folder to use as is.
set -uo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"

names=("$@")
if [ ${#names[@]} -eq 0 ]; then
  for dir in tools/bench_*/; do
    [ -f "$dir/bench.sh" ] && names+=("$(basename "$dir" | sed 's/^bench_//')")
  done
fi

build=${ZR_BENCH_BUILD:-}
if [ -z "$build" ]; then
  build="$root/build/win64-release"
  targets=()
  for name in "${names[@]}"; do
    script="tools/bench_$name/bench.sh"
    [ -f "$script" ] || { echo "no benchmark $name ($script)"; exit 1; }
    line=$(sed -n 's/^# targets: *//p' "$script" | head -n 1)
    if [ -n "$line" ]; then read -r -a more <<<"$line"; targets+=("${more[@]}"); else targets+=("bench_$name"); fi
  done
  { cmake --preset win64 -B "$build" -DCMAKE_BUILD_TYPE=Release &&
    cmake --build "$build" -j "$(nproc)" --target "${targets[@]}"; } >"$root/build/bench-build.log" 2>&1 ||
    { echo "the Release build failed: see build/bench-build.log"; tail -n 20 "$root/build/bench-build.log"; exit 1; }
fi

status=0
for name in "${names[@]}"; do
  echo "== $name"
  timeout 1200 bash "tools/bench_$name/bench.sh" "$build" </dev/null
  code=$?
  if [ $code -ne 0 ]; then
    echo "FAIL: benchmark $name ended with exit code $code$([ $code = 124 ] && echo ' (timed out)')"
    status=1
  fi
done
exit $status
