#!/usr/bin/env bash
# Outlook goes away while Horavane runs: the stand-in is told (its Disconnect value) to fail every
# object it handed out with RPC_E_DISCONNECTED, as a server process that ended. Horavane connects
# again on its own: no message box, the appointment stays listed, and it is notified in its
# minute, once. A second disconnection in the minute before the next appointment is survived the
# same way.
# Usage: server_gone.sh <build dir>
. "$(dirname "$0")/lib.sh" "$1" server_gone
e2e_begin

settings_configured
standin_use
first=$(minute_after 40)
first_s=$(minute_start "$first")
second=$(date -d "@$(( first_s + 60 ))" +%H:%M)
calendar_write '[{"id":"first","summary":"After the first outage","due":"'$first'","location":"Room A"},
                 {"id":"second","summary":"After the second outage","due":"'$second'","reminder":5,"location":"Room B"}]'
log "appointments due at $first and $second"
app_start
app_wait_running
tray_menu '&View Pending Notifications'
viewer=$(viewer_title)
drv wait-text "$viewer" Edit#0 contains "$(viewer_line first)" 15 >/dev/null || fail "not listed at the start"

# The first outage, some polls before the first appointment is due.
sleep_until $(( first_s - 20 ))
reg_set "$STANDIN_KEY" Disconnect REG_DWORD 1
log "stand-in gone (Disconnect 1)"
drv no-box "$BOX" 12 >/dev/null || fail "a message box came up after the outage"
drv wait-text "$viewer" Edit#0 contains "$(viewer_line first)" 1 >/dev/null || fail "the list was lost with the server"
outbox_wait 1 $(( first_s + 65 - $(now_s) )) || fail "nothing sent after the outage"
log "first appointment notified"

# The second outage, just before the second appointment's minute.
sleep_until $(( first_s + 55 ))
reg_set "$STANDIN_KEY" Disconnect REG_DWORD 2
log "stand-in gone again (Disconnect 2)"
outbox_wait 2 $(( first_s + 125 - $(now_s) )) || fail "nothing sent after the second outage"
sleep 6
drv no-box "$BOX" 1 >/dev/null || fail "a message box came up"
expect_outbox --to "$ADDRESS" --expect "first@$first" --expect "second@$second" --only
app_exit
