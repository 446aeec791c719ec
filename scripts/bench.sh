#!/usr/bin/env bash
# Builds and runs the benchmarks under Wine in the build tree's private prefix and prints their
# tables. Nothing is left running afterwards.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
scripts/install-deps.sh
cmake --preset mingw64 >/dev/null
cmake --build --preset mingw64 --target tick_bench >/dev/null
build="$root/build/mingw64"
. scripts/xvfb.sh
cleanup() { scripts/stop-wine.sh "$build"; hv_stop_xvfb; }
trap cleanup EXIT
hv_start_xvfb
scripts/prepare-prefix.sh "$build"
"$build/wine-run.sh" "$build/tick_bench.exe"
