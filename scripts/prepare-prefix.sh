#!/usr/bin/env bash
# Creates (once) the build tree's private Wine prefix and prepares it for the program and its
# tests: no crash dialog, a virtual desktop with a task bar (so the tray icon has a home and
# xdotool clicks reach it), and the Outlook stand-in registered as "Outlook.Application".
# Leaves the prefix's files up to date (the end-to-end scenarios copy them) and the Wine server
# running and warmed; scripts/stop-wine.sh ends it.
# Usage: scripts/prepare-prefix.sh <build dir>
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/wine-env.sh" "$1"

if [ ! -f "$WINEPREFIX/system.reg" ]; then
  "$HV_WINE" wineboot --init >/dev/null 2>&1 || true
  # Let the first start of the prefix finish (its services end with it) before anything else
  # starts them again: two start-ups at once leave two service managers in one prefix, and COM's
  # activation service then answers no one.
  "$HV_WINESERVER" -w 2>/dev/null || true
fi
# Wine's own dialog fonts (MS Sans Serif and the symbol font of the caption buttons), which this
# Wine does not find in Debian's folder by itself.
if [ -d /usr/share/wine/fonts ]; then
  cp -n /usr/share/wine/fonts/* "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null || true
fi
"$HV_WINESERVER" -p 2>/dev/null || true  # keep the server up between the test programs (it may be up already)
reg() { "$HV_WINE" reg "$@" >/dev/null 2>&1; }
reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f
reg add 'HKCU\Software\Wine\Explorer' /v Desktop /t REG_SZ /d Default /f
reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /t REG_SZ /d 1024x768 /f
# Fixed 96 dpi, so that pixel sizes in tests and screenshots are the documented ones.
reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d 96 /f

# The stand-in is a local server, started by COM in its own process as Outlook is.
standin="$HV_BUILD_DIR/OutlookStandin.exe"
if [ -f "$standin" ]; then
  "$HV_WINE" "$standin" /regserver >/dev/null 2>&1 || {
    echo "registering the Outlook stand-in (OutlookStandin.exe /regserver) failed" >&2
    exit 1
  }
fi
# The end-to-end scenarios copy the prefix: the Wine server writes what it holds to the files when
# it ends (otherwise only every half minute), then starts again.
"$HV_WINESERVER" -k 2>/dev/null || true
"$HV_WINESERVER" -w 2>/dev/null || true
"$HV_WINESERVER" -p 2>/dev/null || true
"$HV_WINE" cmd /c exit >/dev/null 2>&1 || true  # starts Wine's services before the first test
