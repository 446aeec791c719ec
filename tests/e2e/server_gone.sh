#!/usr/bin/env bash
# Outlook goes away while Horavane runs: the stand-in is told (its Disconnect value) to fail every
# object it handed out with RPC_E_DISCONNECTED, as a server process that ended. While the
# configuration window holds the poll cycle, the Test button shows the outage: the message is
# reported as not sent, never confirmed. Once the window is closed the next poll connects again
# on its own: no message box, the appointment stays listed, Test works again. A second outage one
# poll before the appointment's minute is survived the same way, and the appointment is notified
# in its minute, once.
# Usage: server_gone.sh <build dir>
. "$(dirname "$0")/lib.sh" "$1" server_gone
e2e_begin 47

CONFIRMATION="A test email has been sent.\\r\\nPlease verify receipt by $ADDRESS."
NOT_SENT="The test message could not be sent.\\r\\nOutlook is not running."

settings_configured
standin_use
# The appointment falls due after the steps before the second outage (about thirty seconds).
meeting_at() {
  due=$(minute_after "$1")
  due_s=$(minute_start "$due")
  calendar_write '[{"id":"meeting","summary":"After two outages","due":"'$due'","reminder":5,"location":"Room A"}]'
  log "appointment due at $due"
}
meeting_at 42
app_start
app_wait_running
viewer_open_listing meeting

# The first outage, while the configuration window is open: no poll runs, Test meets it.
tray_menu 'C&onfigure'
drv wait-window "$CONFIG" 5 >/dev/null || fail "no configuration window"
reg_set "$STANDIN_KEY" Disconnect REG_DWORD 1
log "stand-in gone (Disconnect 1)"
drv press "$CONFIG" '&Test' >/dev/null
report=$(drv box "$BOX" 20 | tr -d '\r') || fail "Test says nothing while Outlook is gone"
expect_eq "Test while gone" "$report" "$NOT_SENT"
log "Test while gone: $report"
drv press "$BOX" IDOK >/dev/null
drv wait-gone "$BOX" 5 >/dev/null || fail "the report stays"
drv no-box "$BOX" 2 >/dev/null || fail "a confirmation follows the report"
[ "$(outbox_count)" -eq 0 ] || fail "a message was sent while Outlook was gone"

# Closing the window lets the poll run: it connects again without a word.
drv press "$CONFIG" '&Close' >/dev/null
drv wait-gone "$CONFIG" 5 >/dev/null || fail "Close does not hide the window"
drv no-box "$BOX" 8 >/dev/null || fail "a message box came up after the outage"
drv wait-text "$viewer" Edit#0 contains "$(viewer_line meeting)" 1 >/dev/null || fail "the list was lost with the server"
tray_menu 'C&onfigure'
drv wait-window "$CONFIG" 5 >/dev/null || fail "no configuration window"
drv press "$CONFIG" '&Test' >/dev/null
report=$(drv box "$BOX" 20 | tr -d '\r') || fail "no confirmation after the reconnection"
expect_eq "Test after the reconnection" "$report" "$CONFIRMATION"
drv press "$BOX" IDOK >/dev/null
drv press "$CONFIG" '&Close' >/dev/null
drv wait-gone "$CONFIG" 5 >/dev/null || fail "Close does not hide the window"
expect_sent --subject 'Test Appointment' --to "$ADDRESS"
log "connected again"

# The second outage, one poll before the due minute.
[ "$(now_s)" -lt $(( due_s - 8 )) ] || meeting_at 15  # the steps took longer
sleep_until $(( due_s - 6 ))
reg_set "$STANDIN_KEY" Disconnect REG_DWORD 2
log "stand-in gone again (Disconnect 2)"
outbox_wait 2 $(( due_s + 65 - $(now_s) )) || fail "the appointment was not sent after the outages"
sleep 6  # one more poll: nothing is sent twice
drv no-box "$BOX" 1 >/dev/null || fail "a message box came up"
expect_outbox --to "$ADDRESS" --expect "meeting@$due"
expect_eq "messages" "$(outbox_count)" 2
app_exit
