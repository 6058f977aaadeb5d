#!/usr/bin/env bash
# Builds the log writer's benchmark for Windows and runs it under Wine in a prefix of its own;
# prints the benchmark's medians. Not part of the test run.
#
#   tests/bench/run_log_bench.sh [win64|win32] [MiB (64)] [repetitions (7)]
#
# BENCH_BUILD_DIR overrides the build folder (default build/bench-<preset>); the prefix is kept
# in it for the next run.
set -euo pipefail

preset=${1:-win64}
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${BENCH_BUILD_DIR:-$root/build/bench-$preset}
build=$(mkdir -p "$build" && cd "$build" && pwd)

cmake -S "$root" --preset "$preset" -B "$build" >/dev/null
cmake --build "$build" -j2 --target log_bench >/dev/null

if [ "$preset" = win64 ]; then
  # Debian installs the 64-bit loader outside PATH; the package also owns a folder of that name.
  loader=
  for f in $(dpkg -L wine64 | grep '/wine64$'); do
    if [ -f "$f" ] && [ -x "$f" ]; then loader=$f; break; fi
  done
else
  loader=wine
fi
export WINEPREFIX=$build/wineprefix WINEDEBUG=-all WINEDLLOVERRIDES='mscoree=;mshtml='
if [ ! -d "$WINEPREFIX/drive_c" ]; then
  "$loader" wineboot --init >/dev/null 2>&1
fi
trap 'wineserver -k >/dev/null 2>&1 || true' EXIT

mkdir -p "$WINEPREFIX/drive_c/logbench"
"$loader" "$build/tests/bench/log_bench.exe" 'C:\logbench' "${2:-64}" "${3:-7}"
