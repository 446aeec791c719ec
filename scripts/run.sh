#!/usr/bin/env bash
# Runs Horavane's main job on the embedded default: builds what is needed, prepares the private
# Wine prefix, and starts Horavane.exe under Wine (on the user's display when there is one,
# otherwise on a private Xvfb display), then ends it and everything it started.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

scripts/install-deps.sh
cmake --preset mingw64 >/dev/null
cmake --build --preset mingw64 --target Horavane OutlookStandin >/dev/null 2>&1 || cmake --build --preset mingw64

build="$root/build/mingw64"
. scripts/xvfb.sh
cleanup() {
  scripts/stop-wine.sh "$build"
  hv_stop_xvfb
}
trap cleanup EXIT
[ -n "${DISPLAY:-}" ] || hv_start_xvfb
scripts/prepare-prefix.sh "$build"
. scripts/wine-env.sh "$build"

echo "Starting Horavane.exe (display $DISPLAY)"
"$HV_WINE" "$build/Horavane.exe" &
app=$!
sleep "${HV_RUN_SECONDS:-15}"
import -window root "$build/run-screenshot.png" 2>/dev/null && echo "Screenshot: $build/run-screenshot.png"
kill "$app" 2>/dev/null || true
wait "$app" 2>/dev/null || true
echo "Horavane ended."
