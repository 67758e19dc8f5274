#!/usr/bin/env bash
# CTest's launcher for the tests that run the 32-bit build's programs:
#
#   run-32bit.sh COMMAND [ARGS...]
#
# Runs COMMAND where this machine runs 32-bit code. Elsewhere it prints why not and exits 77,
# which the tests' SKIP_RETURN_CODE makes CTest report as skipped, never as passed.
# scripts/test.sh asks scripts/probe-32bit.sh once per run and hands the answer down in
# ZR_RUNS_32BIT ("yes" or "no: REASON"); without it (ctest started by hand), or when
# ZR_FORCE_NO_32BIT=1 forces the answer, the probe is asked here.
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
answer=${ZR_RUNS_32BIT:-}
if [ -z "$answer" ] || [ "${ZR_FORCE_NO_32BIT:-0}" = 1 ]; then
  answer=$(bash "$here/probe-32bit.sh")
fi
if [ "$answer" != yes ]; then
  echo "SKIP: 32-bit code does not run on this machine (${answer#no: }); scripts/smoke-i686.sh runs the 32-bit exe through emulation instead"
  exit 77
fi
exec "$@"
