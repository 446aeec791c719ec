#!/usr/bin/env bash
# A second start while Horavane runs: the new process ends by itself within seconds, with no
# window, no message and no second tray icon; the first copy is untouched and still notifies the
# next appointment in its minute, once.
# Usage: second_start.sh <build dir>
. "$(dirname "$0")/lib.sh" "$1" second_start
e2e_begin 30

settings_configured
standin_use
due=$(minute_after 22)  # after start-up and the second start (about fifteen seconds)
calendar_write '[{"id":"next","summary":"Still on duty","due":"'$due'","location":"Desk"}]'
log "appointment due at $due"
app_start
app_wait_running
first_pid=$(drv procs Horavane.exe | tr -d '\r' | cut -f1)
tray_spot
picture=$TRAY_PICTURE
windows_before=$(drv list | grep -c visible)

(cd "$HV_BUILD_DIR" && exec "$HV_WINE" ./Horavane.exe) >>"$WORK/second.log" 2>&1 &
second=$!
log "second Horavane.exe started"
seen_splash=no
for _ in $(seq 1 40); do
  kill -0 "$second" 2>/dev/null || break
  [ "$(drv visible "$SPLASH" | tr -d '\r')" != visible ] || seen_splash=yes
  sleep 0.25
done
kill -0 "$second" 2>/dev/null && { kill "$second"; fail "the second copy still runs after 10 s"; }
wait "$second" || true
log "second copy ended by itself"
expect_eq "splash of the second copy" "$seen_splash" no
drv no-box "$BOX" 2 >/dev/null || fail "the second copy shows a message"
expect_eq "processes" "$(drv procs Horavane.exe | tr -d '\r' | cut -f1)" "$first_pid"
expect_eq "visible windows" "$(drv list | grep -c visible)" "$windows_before"
expect_eq "tray icons" "$(drv tray-icon 1 | tr -d '\r' | cut -d' ' -f3 | tr '\n' ' ')" "$picture "

outbox_wait 1 $(( $(minute_start "$due") + 65 - $(now_s) )) || fail "the first copy sent nothing"
sleep 6  # one more poll: nothing is sent twice
expect_outbox --to "$ADDRESS" --expect "next@$due" --only
app_exit
