#!/usr/bin/env bash
# Runs Horavane's main job on the embedded default. Builds what is needed, prepares the private
# Wine prefix with the Outlook stand-in, writes a demo calendar whose appointments fall due one,
# two and three minutes from now, sets a demo address, and starts Horavane.exe under Wine: on your
# display when DISPLAY is set, otherwise on a private Xvfb display. It takes screenshots of the
# tray and of the pending list, prints each message as it lands in the outbox (time, recipient,
# subject), and once the last demo appointment is notified asks Horavane to exit through its tray
# menu. Nothing is left running.
#
# Your own calendar and outbox (both optional):
#   HV_CALENDAR=/path/to/calendar.ics   the stand-in serves this file as the Outlook calendar and
#                                       reads it again whenever it changes
#   HV_OUTBOX=/path/to/folder           sent messages land here, one .eml file each
#   HV_ADDRESS=you@example.com          the notification address (demo.pager@example.com)
#   HV_RUN_MINUTES=10                   with your own calendar: minutes to run before exiting
#                                       (Exit in the tray menu ends it earlier)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

scripts/install-deps.sh
cmake --preset mingw64 >/dev/null
cmake --build --preset mingw64 --target Horavane OutlookStandin hv_help hv_driver >/dev/null ||
  cmake --build --preset mingw64 --target Horavane OutlookStandin hv_help hv_driver

build="$root/build/mingw64"
demo="$build/demo"
shots="$build/screenshots"
calendar=${HV_CALENDAR:-$demo/calendar.ics}
outbox=${HV_OUTBOX:-$demo/outbox}
address=${HV_ADDRESS:-demo.pager@example.com}
python=/usr/bin/python3
mkdir -p "$demo" "$shots" "$outbox"
[ -n "${HV_OUTBOX:-}" ] || rm -f "$outbox"/*.eml  # the demo's own outbox starts empty

. scripts/xvfb.sh
app=""
cleanup() {
  if [ -n "$app" ] && kill -0 "$app" 2>/dev/null; then
    kill "$app" 2>/dev/null || true
    wait "$app" 2>/dev/null || true
  fi
  scripts/stop-wine.sh "$build"
  hv_stop_xvfb
}
trap cleanup EXIT
[ -n "${DISPLAY:-}" ] || hv_start_xvfb
scripts/prepare-prefix.sh "$build"
. scripts/wine-env.sh "$build"
drv() { "$HV_WINE" "$build/hv_driver.exe" "$@" | tr -d '\r'; }
winpath() { printf 'Z:%s' "${1//\//\\\\}"; }  # as a REGEDIT4 string: backslashes doubled

# --- the calendar, the stand-in and the settings ---
if [ -n "${HV_CALENDAR:-}" ]; then
  [ -f "$calendar" ] || { echo "HV_CALENDAR: no file $calendar" >&2; exit 1; }
  calendar=$(cd "$(dirname "$calendar")" && pwd)/$(basename "$calendar")
  expected=""
  echo "Calendar: $calendar"
else
  "$python" scripts/ics-for-today.py "$calendar" --demo >"$demo/calendar.json"
  expected=$(wc -l <"$demo/calendar.json")
  echo "Demo calendar $calendar:"
  "$python" - "$demo/calendar.json" <<'EOF'
import json, sys
for line in open(sys.argv[1], encoding="utf-8"):
    e = json.loads(line)
    print("  due %s  %-16s %s-%s  %s" % (e["due"], e["summary"], e["start"], e["end"],
          ", ".join(p for p in (e["location"] and "at " + e["location"],
                                e["organizer"] and "organized by " + e["organizer"]) if p)))
EOF
fi
outbox=$(cd "$outbox" && pwd)
{
  printf 'REGEDIT4\r\n\r\n[-HKEY_CURRENT_USER\\Software\\OutlookStandin]\r\n[HKEY_CURRENT_USER\\Software\\OutlookStandin]\r\n'
  printf '"CalendarFile"="%s"\r\n"OutboxFolder"="%s"\r\n' "$(winpath "$calendar")" "$(winpath "$outbox")"
  printf '\r\n[HKEY_CURRENT_USER\\Software\\Quil\\Horavane]\r\n'
  # The security notice counts as seen, so no message box waits for an answer; the organizer
  # box is ticked, so that the demo's meeting shows who organized it.
  printf '"EventEmailAddress"="%s"\r\n"CEEnabled"="1"\r\n"SecurityWarning"="True"\r\n"Organizer"="1"\r\n' "$address"
} >"$demo/settings.reg"
"$HV_WINE" reg import "$(printf 'Z:%s' "${demo//\//\\}")\\settings.reg" >/dev/null 2>&1
echo "Notification address: $address; outbox: $outbox"

# --- Horavane, as a user starts it ---
(cd "$build" && exec "$HV_WINE" ./Horavane.exe) >"$demo/horavane.log" 2>&1 &
app=$!
echo "Starting Horavane.exe on display $DISPLAY (the splash stays seven seconds)"
spot=$(drv tray-icon 60 | head -n1) || { echo "Horavane's tray icon did not appear" >&2; exit 1; }
read -r icon_x icon_y _ <<<"$spot"
# The Wine desktop is one window of the X display; clicks go to the icon inside it.
desktop=$(xdotool search --name ' - Wine desktop$' 2>/dev/null | head -n1 || true)
offset_x=0 offset_y=0
if [ -n "$desktop" ]; then
  eval "$(xdotool getwindowgeometry --shell "$desktop")"
  offset_x=$X offset_y=$Y
fi
screenshot() {
  if [ -n "$desktop" ]; then import -window "$desktop" "$shots/$1" 2>/dev/null; else import -window root "$shots/$1" 2>/dev/null; fi &&
    echo "Screenshot: $shots/$1"
}
tray_menu() {  # KEYS for the tray menu, after a right click on the icon
  xdotool mousemove $((offset_x + icon_x)) $((offset_y + icon_y)) sleep 0.2 click 3
  drv menu-keys "$1" 5 >/dev/null
}
echo "Horavane is running: its icon is in the tray"
echo "Outlook stand-in (started by COM for Horavane, in its own process): $(drv procs OutlookStandin.exe | tr '\n' ' ')"
screenshot demo-tray.png
viewer="Horavane - Notifications pending for $(drv locale | sed -n 's/^shortdate=//p')"
if tray_menu v && drv wait-window "$viewer" 5 >/dev/null; then
  sleep 1
  echo "Pending notifications:"
  drv get "$viewer" Edit#0 | sed 's/^/  /'
  echo
  screenshot demo-pending.png
  drv press "$viewer" '&Close' >/dev/null || true
fi

# --- the messages as they land ---
if [ -n "$expected" ]; then
  echo "Waiting for the $expected demo notifications:"
  "$python" scripts/outbox.py watch "$outbox" --count "$expected" --timeout 300 ||
    echo "Not every demo notification arrived in time." >&2
  sleep 2
else
  minutes=${HV_RUN_MINUTES:-10}
  echo "Printing messages as they land for $minutes minutes (Exit in Horavane's tray menu ends sooner):"
  "$python" scripts/outbox.py watch "$outbox" --count 1000000 --timeout $((minutes * 60)) &
  watcher=$!
  end=$(( $(date +%s) + minutes * 60 ))
  while kill -0 "$app" 2>/dev/null && [ "$(date +%s)" -lt "$end" ]; do sleep 1; done
  kill "$watcher" 2>/dev/null || true
  wait "$watcher" 2>/dev/null || true
fi

# --- Exit through the tray menu ---
if kill -0 "$app" 2>/dev/null; then
  tray_menu '{up}{up}{enter}' || true
  for _ in $(seq 1 40); do kill -0 "$app" 2>/dev/null || break; sleep 0.5; done
fi
if kill -0 "$app" 2>/dev/null; then
  echo "Horavane did not exit through its menu; ending it." >&2
else
  wait "$app" 2>/dev/null || true
  app=""
  echo "Horavane exited."
  if drv wait-exit OutlookStandin.exe 10 >/dev/null; then
    echo "The Outlook stand-in ended with its last client."
  else
    echo "The Outlook stand-in is still running; closing it." >&2
    "$HV_WINE" "$build/OutlookStandin.exe" /close >/dev/null 2>&1 || true
  fi
fi
