#!/usr/bin/env bash
# Horavane started at sign-in while Outlook is still starting: the stand-in that COM starts for it
# turns every call down for its first 20 seconds (BusySeconds), as Outlook does while it loads.
# Horavane waits for it: no "Failed to open Outlook.", the tray icon comes once Outlook answers,
# and the next appointment is notified once, in its minute.
# Usage: outlook_busy.sh <build dir>
. "$(dirname "$0")/lib.sh" "$1" outlook_busy
e2e_begin 50

settings_configured
standin_use
reg_set "$STANDIN_KEY" BusySeconds REG_DWORD 20
# Due after the busy start, the session and the splash's seven seconds (about 35 seconds).
due=$(minute_after 45)
calendar_write '[{"id":"next","summary":"After the busy start","due":"'$due'","location":"Desk"}]'
log "appointment due at $due"

app_start
drv no-box "$BOX" 20 >/dev/null || fail "a message box while Outlook is busy"
[ "$(standin_counter RejectedCalls)" -gt 0 ] || fail "the stand-in turned no call down: it was not busy"
app_wait_running
drv no-box "$BOX" 1 >/dev/null || fail "a message box after Outlook became ready"

outbox_wait 1 $(( $(minute_start "$due") + 65 - $(now_s) )) || fail "the appointment was not sent"
sleep 6  # one more poll: nothing is sent twice
drv no-box "$BOX" 1 >/dev/null || fail "a message box came up"
expect_outbox --to "$ADDRESS" --expect "next@$due" --only
app_exit
