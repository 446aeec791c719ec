#!/usr/bin/env bash
# Ends every Wine process of the build tree's prefix and waits until they are gone.
# Usage: scripts/stop-wine.sh <build dir>
here=$(cd "$(dirname "$0")" && pwd)
. "$here/wine-env.sh" "$1"
[ -d "$WINEPREFIX" ] || exit 0
"$HV_WINESERVER" -k >/dev/null 2>&1 || true
"$HV_WINESERVER" -w >/dev/null 2>&1 || true
