# Sourced by the end-to-end scenarios. Gives them a Wine prefix and an X display of their own, the
# driver (hv_driver.exe), the program's settings key and the stand-in's, calendars and the outbox,
# the tray icon and its menu, screenshots, and the rule that a scenario ends with nothing left
# running: whatever is still running at the end is ended and the scenario fails.
# Usage: . tests/e2e/lib.sh <build dir> <scenario name>
set -euo pipefail

E2E_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
ROOT=$(cd "$E2E_DIR/../.." && pwd)
. "$ROOT/scripts/wine-env.sh" "$1"
. "$ROOT/scripts/xvfb.sh"
SCENARIO=$2
# Each scenario runs in a copy of the build tree's prepared prefix, on an X display of its own
# (e2e_own_prefix): its own Wine server, desktop, task bar and settings, so that scenarios run
# side by side, and nothing one leaves behind reaches another or the unit tests.
PREPARED_PREFIX=$WINEPREFIX
export WINEPREFIX="$HV_BUILD_DIR/e2e/$SCENARIO.prefix"

HV_EXE="$HV_BUILD_DIR/Horavane.exe"
DRIVER="$HV_BUILD_DIR/hv_driver.exe"
STANDIN_EXE="$HV_BUILD_DIR/OutlookStandin.exe"
WORK="$HV_BUILD_DIR/e2e/$SCENARIO"
OUTBOX="$WORK/outbox"
CALENDAR="$WORK/calendar.ics"
MANIFEST="$WORK/calendar.json"
SHOTS="$HV_BUILD_DIR/screenshots"
PY=/usr/bin/python3

SETTINGS_KEY='HKCU\Software\Quil\Horavane'
STANDIN_KEY='HKCU\Software\OutlookStandin'
ADDRESS=pager@example.com
CONFIG='Horavane Configuration'
SPLASH='class:HoravaneForm:'  # the splash and About window has no title
BOX=Horavane                  # the program's message boxes carry its name
EMPTY_ADDRESS_TEXT='Horavane can not enable the notification option.\r\nPlease enter the notification email address.'

APP_PID=""
APP_STATUS=""
E2E_T0_NS=$(date +%s%N)
E2E_ON_EXIT=()  # extra clean-up steps of a scenario, run first
E2E_FAILED_STEP=""

# --- reporting ---

log() { printf '[%6.1fs] %s\n' "$(( ($(date +%s%N) - E2E_T0_NS) / 1000000 ))e-3" "$*"; }
fail() {
  echo "FAIL ($SCENARIO): $*" >&2
  exit 1
}
expect_eq() {  # WHAT ACTUAL EXPECTED
  [ "$2" == "$3" ] || fail "$1: got '$2', expected '$3'"
}

# --- the driver and the display ---

# On a loaded machine Wine now and then ends a program before its first instruction, with a
# failing code and not a word; no driver command ends that soon on its own, so it runs once more.
drv() {
  local started status
  started=$(date +%s%N)
  "$HV_WINE" "$DRIVER" "$@" && return 0
  status=$?
  [ $(( ($(date +%s%N) - started) / 1000000 )) -lt 120 ] || return "$status"
  echo "drv: Wine ended hv_driver $1 before it ran (code $status); once more" >&2
  "$HV_WINE" "$DRIVER" "$@"
}
# Windows path of a file of this machine, as Wine's Z: drive shows it.
winpath() { printf 'Z:%s' "${1//\//\\}"; }
now_s() { date +%s; }
# "HH:MM" of the first whole minute that begins at least SECONDS from now.
minute_after() { date -d "@$(( ( $(now_s) + $1 + 59 ) / 60 * 60 ))" +%H:%M; }
# Epoch seconds at which the minute "HH:MM" of today begins.
minute_start() { date -d "today $1" +%s; }
sleep_until() { local left=$(( $1 - $(now_s) )); [ "$left" -le 0 ] || sleep "$left"; }

# The locale's short date and AM/PM designators, as the program sees them.
read_locale() {
  local info
  info=$(drv locale | tr -d '\r')
  SHORT_DATE=$(sed -n 's/^shortdate=//p' <<<"$info")
  AM=$(sed -n 's/^am=//p' <<<"$info")
  PM=$(sed -n 's/^pm=//p' <<<"$info")
}

# shot NAME [SELECTOR]: a screenshot of the whole screen, or cut to one window (with a margin).
# The pointer is parked in the corner first, so that no tooltip covers the window, unless
# SHOT_POINTER=keep.
shot() {
  local file="$SHOTS/e2e-$1.png"
  if [ "${SHOT_POINTER:-}" != keep ]; then
    xdotool mousemove 2 2
    sleep 0.3
  fi
  import -window root "$file" 2>/dev/null || { log "screenshot $1 failed"; return 0; }
  if [ $# -ge 2 ]; then
    local x y w h
    read -r x y w h < <(drv rect "$2" | tr -d '\r')
    convert "$file" -crop "$((w + 16))x$((h + 16))+$((x > 8 ? x - 8 : 0))+$((y > 8 ? y - 8 : 0))" +repage "$file"
  fi
  log "screenshot $file"
}
# shot_area NAME WxH+X+Y: a screenshot of one part of the screen.
shot_area() {
  local file="$SHOTS/e2e-$1.png"
  import -window root "$file" 2>/dev/null && convert "$file" -crop "$2" +repage "$file" || return 0
  log "screenshot $file"
}

# --- registry ---

# reg_value KEY NAME: "TYPE DATA" of one value; fails when it is missing.
reg_value() {
  local out
  out=$("$HV_WINE" reg query "$1" /v "$2" 2>/dev/null | tr -d '\r') || return 1
  reg_pick "$2" <<<"$out"
}
# reg_pick NAME: picks one value out of reg.exe's listing of a key ("    NAME    TYPE    DATA").
reg_pick() {
  awk -v name="    $1    " 'index($0, name) == 1 {
      rest = substr($0, length(name) + 1); type = rest; sub(/    .*$/, "", type)
      data = substr(rest, length(type) + 5); print type " " data; found = 1 }
    END { exit !found }'
}
reg_set() { "$HV_WINE" reg add "$1" /v "$2" /t "$3" /d "$4" /f >/dev/null 2>&1 || fail "reg add $1 $2"; }
# reg_import LINE...: one registry file (REGEDIT4 lines: "[KEY]", "[-KEY]", "\"Name\"=\"text\"")
# imported with a single reg.exe call.
reg_import() {
  local file="$WORK/import-$RANDOM.reg"
  { printf 'REGEDIT4\r\n\r\n'; printf '%s\r\n' "$@"; } >"$file"
  "$HV_WINE" reg import "$(winpath "$file")" >/dev/null 2>&1 || fail "reg import of $*"
}
reg_text() { local t=${1//\\/\\\\}; printf '"%s"' "${t//\"/\\\"}"; }  # a REGEDIT4 string

setting() { reg_value "$SETTINGS_KEY" "$1" || echo "(missing)"; }
# expect_setting NAME DATA: the value is a REG_SZ holding exactly that text.
expect_setting() { expect_eq "setting $1" "$(setting "$1")" "REG_SZ $2"; }
# expect_settings NAME=DATA...: the same for several values, read with one reg.exe call.
expect_settings() {
  local listing pair got
  listing=$("$HV_WINE" reg query "$SETTINGS_KEY" 2>/dev/null | tr -d '\r')
  for pair in "$@"; do
    got=$(reg_pick "${pair%%=*}" <<<"$listing") || got="(missing)"
    expect_eq "setting ${pair%%=*}" "$got" "REG_SZ ${pair#*=}"
  done
}

SETTINGS_REG='HKEY_CURRENT_USER\Software\Quil\Horavane'
STANDIN_REG='HKEY_CURRENT_USER\Software\OutlookStandin'
# A new user: no settings at all.
settings_empty() { reg_import "[-$SETTINGS_REG]"; }
# A configured user: an address, notification on, the security notice already seen; more values
# may follow as REGEDIT4 lines.
settings_configured() {
  reg_import "[-$SETTINGS_REG]" "[$SETTINGS_REG]" "\"EventEmailAddress\"=$(reg_text "$ADDRESS")" \
    '"CEEnabled"="1"' '"SecurityWarning"="True"' "$@"
}

# The stand-in serves this scenario's calendar and outbox; TOP names the store's top folder.
standin_use() {
  reg_import "[-$STANDIN_REG]" "[$STANDIN_REG]" \
    "\"CalendarFile\"=$(reg_text "$(winpath "$CALENDAR")")" "\"OutboxFolder\"=$(reg_text "$(winpath "$OUTBOX")")" \
    "\"TopFolderName\"=$(reg_text "${1:-Personal Folders}")" '"CurrentUser"="Test User"'
}
standin_registered() { "$HV_WINE" reg query 'HKCR\Outlook.Application' >/dev/null 2>&1; }
standin_register() { "$HV_WINE" "$STANDIN_EXE" /regserver >/dev/null 2>&1; }
standin_unregister() { "$HV_WINE" "$STANDIN_EXE" /unregserver >/dev/null 2>&1; }
# The stand-in runs in its own process, as Outlook does: COM starts it for Horavane, and it ends
# when Horavane lets go of it. standin_close closes a running one as the user closes Outlook.
standin_running() { [ -n "$(drv procs OutlookStandin.exe | tr -d '\r')" ]; }
# The close is asked again while a process that ran before it still runs (a /close that came
# while the stand-in was busy with its window once found nothing to close); a process started
# after it (by COM, behind the user's back) is not touched, so the scenario still sees it.
standin_close() {
  local before end=$(( $(now_s) + 20 )) pid
  before=$(drv procs OutlookStandin.exe | tr -d '\r' | cut -f1)
  while :; do
    "$HV_WINE" "$STANDIN_EXE" /close >/dev/null 2>&1 || true
    local left=""
    for pid in $before; do
      drv procs OutlookStandin.exe | tr -d '\r' | cut -f1 | grep -qx "$pid" && left="$left $pid"
    done
    [ -n "$left" ] || return 0
    [ "$(now_s)" -lt "$end" ] || return 1
    log "the stand-in ($left) still runs after /close: asked again"
    sleep 0.5
  done
}
# Started as a user starts Outlook (no arguments): its window comes and it runs until closed;
# Horavane attaches to it. A scenario closes it again (standin_close) before it ends.
STANDIN_WINDOW='class:OutlookStandinMain:Outlook stand-in'
standin_start() {
  (cd "$WORK" && exec "$HV_WINE" "$STANDIN_EXE") </dev/null >>"$WORK/standin.log" 2>&1 &
  drv wait-window "$STANDIN_WINDOW" 30 >/dev/null || fail "the stand-in started by the user shows no window"
  log "stand-in started as the user starts Outlook"
}
# standin_counter NAME: one of the running stand-in's counters (/counters).
standin_counter() {
  "$HV_WINE" "$STANDIN_EXE" /counters 2>/dev/null | tr -d '\r' | sed -n "s/^$1=//p"
}

# --- the guard's security prompts (stand-in value Guard) ---

PROMPT='class:OutlookStandinPrompt:Microsoft Outlook'
PROMPTS_SEEN=0
# prompt_wait TIMEOUT: waits for the next prompt; PROMPT_KIND is "address" (its "Allow access
# for" box, id 100) or "send" (its wait bar, id 102).
prompt_wait() {
  local controls
  PROMPT_WINDOW=$(drv wait-window "$PROMPT" "$1" | tr -d '\r') || return 1
  controls=$(drv text "$PROMPT" | tr -d '\r' | cut -f1)
  if grep -qx 102 <<<"$controls"; then PROMPT_KIND=send
  elif grep -qx 100 <<<"$controls"; then PROMPT_KIND=address
  else fail "a prompt that is neither the address nor the send prompt: $(drv text "$PROMPT" | tr '\r\n\t' '  ')"; fi
  PROMPTS_SEEN=$(( PROMPTS_SEEN + 1 ))
  PROMPT_SHOWN_S=$(now_s)
  log "prompt $PROMPTS_SEEN: $PROMPT_KIND"
}
# prompt_answer allow|deny: presses Allow (once it is enabled: the send prompt's wait) or Deny
# and waits for that prompt window to go.
prompt_answer() {
  local button=2
  if [ "$1" == allow ]; then
    button=1
    drv wait-enabled "$PROMPT" "$button" 10 >/dev/null || fail "Allow of the $PROMPT_KIND prompt stays disabled"
  fi
  drv press "$PROMPT" "$button" >/dev/null || fail "cannot press $1 on the $PROMPT_KIND prompt"
  local end=$(( $(now_s) + 5 ))  # this prompt goes; the next may come at once
  while drv list "$PROMPT" | tr -d '\r' | grep -q "^$PROMPT_WINDOW"$'\t'; do
    [ "$(now_s)" -lt "$end" ] || fail "the $PROMPT_KIND prompt stays after $1"
    sleep 0.2
  done
  log "prompt $PROMPTS_SEEN: $1"
}
# The address prompt answered with "Allow access for" MINUTES ticked: no address prompt comes
# for that long.
prompt_allow_for() {
  [ "$PROMPT_KIND" == address ] || fail "a $PROMPT_KIND prompt where the address prompt was expected"
  drv check "$PROMPT" 100 1 >/dev/null || fail "cannot tick Allow access for"
  drv select "$PROMPT" 101 "$1" >/dev/null || fail "cannot choose $1 for Allow access for"
  prompt_answer allow
}
# As Outlook crashing: the process ends at once and Horavane's references fail.
standin_crash() { "$HV_WINE" "$STANDIN_EXE" /crash >/dev/null 2>&1; }

# --- calendar and outbox ---

# calendar_write JSON: today's appointments (see scripts/ics-for-today.py); the manifest goes
# beside the calendar.
calendar_write() {
  "$PY" "$ROOT/scripts/ics-for-today.py" "$CALENDAR" --events "$1" --manifest "$MANIFEST" >/dev/null ||
    fail "calendar not written"
}
outbox_count() { find "$OUTBOX" -maxdepth 1 -name '*.eml' 2>/dev/null | wc -l; }
outbox_wait() {  # COUNT TIMEOUT
  local end=$(( $(now_s) + $2 ))
  while [ "$(outbox_count)" -lt "$1" ]; do
    [ "$(now_s)" -lt "$end" ] || return 1
    sleep 0.5
  done
}
# expect_outbox ARGS...: tests/e2e/expect.py outbox with this scenario's files and locale.
expect_outbox() {
  "$PY" "$E2E_DIR/expect.py" outbox "$OUTBOX" "$MANIFEST" --am "$AM" --pm "$PM" "$@" ||
    fail "the outbox is not as expected"
}
# expect_sent ARGS...: tests/e2e/expect.py sent on this scenario's outbox.
expect_sent() { "$PY" "$E2E_DIR/expect.py" sent "$OUTBOX" "$@" || fail "the outbox is not as expected"; }
viewer_line() { "$PY" "$E2E_DIR/expect.py" line "$MANIFEST" "$1" --am "$AM" --pm "$PM"; }
viewer_title() { echo "Horavane - Notifications pending for $SHORT_DATE"; }
viewer_text() { drv get "$(viewer_title)" Edit#0 | tr -d '\r'; }
# Opens the pending list from the tray menu (its title in $viewer) and waits until it lists ID.
viewer_open_listing() {
  tray_menu '&View Pending Notifications'
  viewer=$(viewer_title)
  drv wait-text "$viewer" Edit#0 contains "$(viewer_line "$1")" 15 >/dev/null || fail "$1 is not listed at the start"
}

# --- the program ---

# Starts Horavane.exe the way a user does: from its folder, with no arguments.
app_start() {
  (cd "$HV_BUILD_DIR" && exec "$HV_WINE" ./Horavane.exe) >>"$WORK/horavane.log" 2>&1 &
  APP_PID=$!
  log "Horavane.exe started"
}
# app_wait_end TIMEOUT: waits for the program to end; APP_STATUS is its exit code.
app_wait_end() {
  local end=$(( $(now_s) + $1 ))
  while kill -0 "$APP_PID" 2>/dev/null; do
    [ "$(now_s)" -lt "$end" ] || return 1
    sleep 0.2
  done
  APP_STATUS=0
  wait "$APP_PID" || APP_STATUS=$?
  APP_PID=""
  log "Horavane.exe ended with code $APP_STATUS"
}
# The program is up: its tray icon is there (start-up holds the splash for seven seconds).
app_wait_running() {
  drv wait-gone "$SPLASH" 40 >/dev/null || fail "the splash window stays up"
  drv tray-icon 20 >/dev/null || fail "no tray icon after start-up"
  log "running, tray icon shown"
}
# Ends the program through its tray menu and checks that the icon and the process are gone.
app_exit() {
  tray_menu '&Exit'
  drv tray-gone 10 >/dev/null || fail "the tray icon stays after Exit"
  app_wait_end 20 || fail "Horavane.exe still runs 20 s after Exit"
  drv wait-exit Horavane.exe 5 >/dev/null || fail "a Horavane.exe process is left"
}

# --- tray ---

tray_spot() {
  local spot
  spot=$(drv tray-icon 10 | tr -d '\r' | head -n1) || fail "no tray icon"
  read -r TRAY_X TRAY_Y TRAY_PICTURE <<<"$spot"
}
# The tooltip texts the shell holds for the icon, and the tooltip a user sees when the pointer
# rests on the icon.
tray_tip() { drv tray-tips | tr -d '\r'; }
tray_hover_tip() {
  tray_spot
  xdotool mousemove 2 2 sleep 0.4 mousemove $((TRAY_X - 2)) "$TRAY_Y" sleep 0.1 mousemove "$TRAY_X" "$TRAY_Y"
  drv tooltip 5 | tr -d '\r'
}
# Real mouse input on the icon, through the X server.
tray_double_click() { tray_spot; xdotool mousemove "$TRAY_X" "$TRAY_Y" sleep 0.2 click --repeat 2 --delay 120 1; sleep 0.5; }
tray_click() { tray_spot; xdotool mousemove "$TRAY_X" "$TRAY_Y" sleep 0.2 click 1; sleep 0.8; }
tray_right_click() {
  tray_spot
  xdotool mousemove "$TRAY_X" "$TRAY_Y" sleep 0.2 click 3
  drv menu-open 5 >/dev/null || fail "a right click on the tray icon opens no menu"
}
# tray_menu CAPTION: opens the menu with a right click and chooses the item with the keyboard.
# The items, top to bottom: C&onfigure, &Enable Email Notification, &View Pending
# Notifications, separator, &Help Contents, Help &About, separator, &Exit, &Close. Each is
# chosen by its access key, except &Exit, which shares its key with &Enable...: it is the
# second item from the bottom.
tray_menu() {
  local keys
  case "$1" in
    'C&onfigure') keys=o ;;
    '&Enable Email Notification') keys=e ;;
    '&View Pending Notifications') keys=v ;;
    '&Help Contents') keys=h ;;
    'Help &About') keys=a ;;
    '&Exit') keys='{up}{up}{enter}' ;;
    '&Close') keys=c ;;
    *) fail "no menu item $1" ;;
  esac
  tray_right_click
  drv menu-keys "$keys" >/dev/null || fail "choosing $1 did not close the menu"
  log "tray menu: $1"
}

# --- start and end of a scenario ---

e2e_cleanup() {
  local status=$? left step
  set +e
  # A step that failed without a word of its own (set -e ended the scenario): name it.
  [ "$status" -eq 0 ] || [ -z "$E2E_FAILED_STEP" ] || echo "FAIL ($SCENARIO): $E2E_FAILED_STEP failed" >&2
  [ "$status" -eq 0 ] || shot "failed-$SCENARIO" >/dev/null 2>&1  # the screen as the failure left it
  for step in "${E2E_ON_EXIT[@]}"; do eval "$step"; done
  left=$(drv procs Horavane.exe | tr -d '\r'; drv procs hh.exe | tr -d '\r')
  if [ -n "$left" ]; then
    echo "FAIL ($SCENARIO): left running: $(echo "$left" | tr '\n\t' '; ')" >&2
    drv kill Horavane.exe >/dev/null
    drv kill hh.exe >/dev/null
    status=1
  fi
  if [ -n "$APP_PID" ]; then
    kill "$APP_PID" 2>/dev/null
    wait "$APP_PID" 2>/dev/null
  fi
  # Started by COM for Horavane, the stand-in ends when Horavane has let go of it.
  if [ "$status" -eq 0 ] && ! drv wait-exit OutlookStandin.exe 10 >/dev/null; then
    echo "FAIL ($SCENARIO): left running: OutlookStandin.exe" >&2
    status=1
  fi
  e2e_wine_down
  clock_holder_stop
  if [ "$status" -eq 0 ]; then log "PASS $SCENARIO"; else log "FAIL $SCENARIO"; fi
  exit "$status"
}

# Waits (up to 20 s) until Wine's desktop process of this prefix, left from an earlier program,
# has ended, so that the scenario meets a new task bar: Wine's tray keeps the tooltips of icons
# that were removed, and would show an earlier run's tooltip over this run's icon.
desktop_closed() {
  local start=$(now_s)
  while [ -n "$(prefix_command_lines 'explorer.exe')" ]; do
    if [ "$(now_s)" -ge $(( start + 20 )) ]; then
      log "Wine's desktop of an earlier program is still up"
      return 0
    fi
    sleep 0.3
  done
  [ "$(now_s)" -eq "$start" ] || log "waited $(( $(now_s) - start )) s for Wine's desktop of an earlier program to close"
}

# --- the scenario's clock ---
#
# A scenario that waits for a due minute runs on a clock moved by a few seconds, so that the
# minute it waits for first begins shortly after it is ready for it instead of up to a minute
# later. Every process of the scenario reads the same moved clock: the script and its helpers
# (date, Python, xdotool), and Wine's server, services, Horavane, the stand-in and the driver,
# all run under libfaketime with one constant offset, so Windows' local and system time, the
# Date headers of the sent messages and the script's own minute arithmetic agree. The offset
# is constant, so the clock runs at the real rate: every minute still lasts sixty seconds and
# each later minute is waited for in full. Monotonic clocks (Wine's tick count, its timers and
# timeouts) and file times are not moved (FAKETIME_DONT_FAKE_MONOTONIC, NO_FAKE_STAT): file
# times stay those the kernel writes, and Wine's own file checks (the prefix's update stamp)
# see the same times whatever the offset.
# libfaketime is preloaded directly: the faketime command would stay until the last process
# that inherited its pipe ends, and the prefix's Wine server outlives the scenario.
E2E_FAKETIME=/usr/lib/x86_64-linux-gnu/faketime/libfaketimeMT.so.1

# e2e_clock SECONDS [HH:MM]: runs this scenario again under a clock moved forward by less than a
# minute, so that a minute begins SECONDS after this point; with HH:MM, moved (either way) so that
# that minute of today begins then. Without SECONDS the scenario keeps the real clock. Returns in
# the new process, with E2E_CLOCK_OFFSET set.
e2e_clock() {
  if [ -n "${E2E_CLOCK_OFFSET:-}" ]; then
    return 0
  fi
  if [ -z "${1:-}" ]; then
    export E2E_CLOCK_OFFSET=0
    return 0
  fi
  [ -f "$E2E_FAKETIME" ] || { echo "missing $E2E_FAKETIME (Debian's libfaketime): run scripts/install-deps.sh" >&2; exit 1; }
  if [ -n "${2:-}" ]; then
    export E2E_CLOCK_OFFSET=$(( $(minute_start "$2") - $(date +%s) - $1 ))
  else
    export E2E_CLOCK_OFFSET=$(( (60 - ($(date +%s) + $1) % 60) % 60 ))
  fi
  export FAKETIME="$(printf '%+d' "$E2E_CLOCK_OFFSET")" FAKETIME_DONT_FAKE_MONOTONIC=1 NO_FAKE_STAT=1
  clock_holder_start
  LD_PRELOAD="$E2E_FAKETIME${LD_PRELOAD:+:$LD_PRELOAD}" exec bash "$0" "$HV_BUILD_DIR"
}

# libfaketime keeps a shared memory block and a semaphore, named in FAKETIME_SHARED, that every
# process under it opens: a process that finds none creates its own, hands it to its children
# and removes it when it exits, also as a forked copy (a bash subshell), after which every new
# process of the scenario fails to start. So one process that does nothing else holds them for
# the whole scenario; the scenario ends it and removes what it held (E2E_CLOCK_HOLDER).
clock_holder_start() {
  env -u FAKETIME_SHARED LD_PRELOAD="$E2E_FAKETIME" sleep 3600 </dev/null >/dev/null 2>&1 &
  export E2E_CLOCK_HOLDER=$!
  local i
  # Ready once the memory block has its size and the semaphore is there: a process that maps the
  # block before it is sized ends with a bus error (seen with several scenarios starting at once).
  local shm="/dev/shm/faketime_shm_$E2E_CLOCK_HOLDER" sem="/dev/shm/sem.faketime_sem_$E2E_CLOCK_HOLDER"
  for i in $(seq 1 50); do
    [ -s "$shm" ] && [ -e "$sem" ] && break
    sleep 0.1
  done
  [ -s "$shm" ] && [ -e "$sem" ] || { echo "libfaketime created no shared memory" >&2; exit 1; }
  sleep 0.2
  export FAKETIME_SHARED="/faketime_sem_$E2E_CLOCK_HOLDER /faketime_shm_$E2E_CLOCK_HOLDER"
}
clock_holder_stop() {
  [ -n "${E2E_CLOCK_HOLDER:-}" ] || return 0
  kill "$E2E_CLOCK_HOLDER" 2>/dev/null
  wait "$E2E_CLOCK_HOLDER" 2>/dev/null
  rm -f "/dev/shm/faketime_shm_$E2E_CLOCK_HOLDER" "/dev/shm/sem.faketime_sem_$E2E_CLOCK_HOLDER"
}

# The scenario's prefix, a copy of the prepared one (scripts/prepare-prefix.sh leaves it saved),
# and its display. Once, before e2e_clock starts the scenario again on its clock; both are kept
# across that start (WINEPREFIX, DISPLAY and E2E_XVFB_PID are exported).
e2e_own_prefix() {
  [ -z "${E2E_XVFB_PID:-}" ] || return 0
  [ -f "$PREPARED_PREFIX/system.reg" ] || { echo "no prepared prefix: run scripts/prepare-prefix.sh $HV_BUILD_DIR" >&2; exit 1; }
  rm -rf "$WINEPREFIX"
  mkdir -p "$(dirname "$WINEPREFIX")"
  cp -a "$PREPARED_PREFIX" "$WINEPREFIX"
  hv_start_xvfb
  export E2E_XVFB_PID=$HV_XVFB_PID
}
# The prefix's Wine server and services run on the scenario's clock and stay up between the steps.
# Started with no tie to the scenario's output, which they would otherwise hold open.
e2e_wine_up() {
  "$HV_WINESERVER" -p </dev/null >/dev/null 2>&1 || true
  "$HV_WINE" cmd /c exit </dev/null >/dev/null 2>&1 || true
}
# At the end: the prefix's Wine ends, its display too, and the copy goes.
e2e_wine_down() {
  "$HV_WINESERVER" -k </dev/null >/dev/null 2>&1 || true
  "$HV_WINESERVER" -w </dev/null >/dev/null 2>&1 || true
  HV_XVFB_PID=${E2E_XVFB_PID:-}
  hv_stop_xvfb
  rm -rf "$WINEPREFIX"
}

# e2e_begin [SECONDS [HH:MM]]: the scenario's start. SECONDS: how long after this point the
# scenario wants its first due minute (HH:MM of today, when given) to begin (e2e_clock); a
# scenario that waits for no minute gives none and runs on the real clock.
e2e_begin() {
  local f
  for f in "$HV_EXE" "$DRIVER" "$STANDIN_EXE"; do [ -f "$f" ] || { echo "missing $f" >&2; exit 1; }; done
  e2e_own_prefix
  e2e_clock "${1:-}" "${2:-}"
  rm -rf "$WORK"
  mkdir -p "$OUTBOX" "$SHOTS"
  trap e2e_cleanup EXIT
  # Functions inherit the trap (set -E); a failing command that ends the scenario is recorded
  # with its line. Commands whose failure is handled (if, ||, &&) do not reach it.
  set -E
  trap 'E2E_FAILED_STEP="line $LINENO (${FUNCNAME[0]:-main}): $BASH_COMMAND"' ERR
  e2e_wine_up
  desktop_closed
  standin_registered || standin_register
  # The program keeps one day's notifications: a scenario does not run across midnight.
  local to_midnight=$(( $(date -d 'tomorrow 00:00' +%s) - $(now_s) ))
  if [ "$to_midnight" -lt 420 ]; then
    log "waiting $to_midnight s for the new day"
    sleep $(( to_midnight + 5 ))
  fi
  read_locale
  log "scenario $SCENARIO (display $DISPLAY, short date $SHORT_DATE, designators $AM/$PM, clock $(printf '%+d' "$E2E_CLOCK_OFFSET") s: $(date +%T))"
}

# Command lines of this prefix's processes whose command line mentions TEXT (any case), as the
# system shows them (Wine shows the Windows command line).
prefix_command_lines() {
  local dir line
  for dir in /proc/[0-9]*; do
    line=$( { tr '\0' ' ' <"$dir/cmdline"; } 2>/dev/null) || continue
    [[ "${line,,}" == *"${1,,}"* ]] || continue
    tr '\0' '\n' <"$dir/environ" 2>/dev/null | grep -qx "WINEPREFIX=$WINEPREFIX" || continue
    echo "$line"
  done
}
