# Sourced by the scripts: the Wine programs and the private prefix of a build tree.
# Usage: . scripts/wine-env.sh <build dir>
HV_BUILD_DIR=$(cd "$1" && pwd)
export WINEPREFIX="$HV_BUILD_DIR/wineprefix"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
HV_WINE=/usr/lib/wine/wine64
HV_WINESERVER=/usr/lib/wine/wineserver
