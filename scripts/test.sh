#!/usr/bin/env bash
# Runs every test: installs what is missing, checks the house style of the C++ sources, builds the
# 64-bit program and its tests, builds the 32-bit program (not run), prepares the private Wine
# prefix, and runs ctest under Wine on a private Xvfb display. Nothing is left running afterwards.
# The last line is ctest's summary.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

scripts/install-deps.sh
# The house style first: a formatting difference fails the command at once, naming the fix.
scripts/format.sh --check
build="$root/build/mingw64"
# The 32-bit tree builds beside the 64-bit one: neither keeps both cores busy all the time (the
# pictures, the help file, the installer and the links are single steps). Its output is shown
# when it fails.
mkdir -p "$build"
build32_log="$build/build-mingw32.log"
( cmake --preset mingw32 -DHV_BUILD_TESTS=OFF >/dev/null && cmake --build --preset mingw32 ) >"$build32_log" 2>&1 &
build32=$!
cmake --preset mingw64 >/dev/null
cmake --build --preset mingw64 || { wait "$build32" || true; exit 1; }
wait "$build32" || { cat "$build32_log"; echo "the 32-bit build failed" >&2; exit 1; }
. scripts/xvfb.sh
cleanup() {
  scripts/stop-wine.sh "$build"
  hv_stop_xvfb
}
trap cleanup EXIT
hv_start_xvfb
scripts/prepare-prefix.sh "$build"
# Wine's desktop stays open for the whole run, started with no tie to ctest's output
# (tests/support/DesktopHolder.cpp says why); stop-wine.sh ends it.
"$build/wine-run.sh" "$build/desktop_holder.exe" </dev/null >/dev/null 2>&1 &
set +e
ctest --preset mingw64 "$@" 2>&1 | tee "$build/ctest.log"
status=${PIPESTATUS[0]}
set -e
cleanup 2>/dev/null
trap - EXIT
grep -E '^[0-9]+% tests passed' "$build/ctest.log" | tail -n1
exit "$status"
