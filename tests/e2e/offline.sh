#!/usr/bin/env bash
# Outlook works offline (the stand-in's Offline value): what Horavane hands it waits in its Outbox.
# The Test button says the test message waits there rather than confirming it. A notification
# still in the Outbox two minutes after its minute brings one balloon, and the pending list says
# it is waiting; when Outlook goes online both leave, and the line goes. Offline again, a second
# notification is queued and Exit is chosen: Horavane started this Outlook, so it waits for the
# Outbox (its tray icon stays) until Outlook goes online, then ends, the message delivered.
# Usage: offline.sh <build dir>
. "$(dirname "$0")/lib.sh" "$1" offline
e2e_begin 40

settings_configured
standin_use
reg_set "$STANDIN_KEY" Offline REG_DWORD 1
queued=$(minute_after 35)
queued_s=$(minute_start "$queued")
# The second appointment falls due after the first has waited its two minutes and left.
last=$(date -d "@$(( queued_s + 180 ))" +%H:%M)
last_s=$(( queued_s + 180 ))
calendar_write '[{"id":"queued","summary":"Waits offline","due":"'$queued'","reminder":5,"location":"Room 1"},
{"id":"last","summary":"Queued at Exit","due":"'$last'","reminder":5,"location":"Room 2"}]'
log "appointments due at $queued and $last; Outlook offline"

app_start
app_wait_running
viewer_open_listing queued

# Test while offline: not confirmed as sent.
tray_menu 'C&onfigure'
drv wait-window "$CONFIG" 5 >/dev/null || fail "no configuration window"
drv press "$CONFIG" '&Test' >/dev/null
report=$(drv box "$BOX" 20 | tr -d '\r') || fail "Test says nothing while Outlook is offline"
expect_eq "Test while offline" "$report" \
  "The test email waits in Outlook's Outbox: Outlook is working offline.\\r\\nIt is sent when Outlook goes online; then please verify receipt by $ADDRESS."
drv press "$BOX" IDOK >/dev/null
drv press "$CONFIG" '&Close' >/dev/null
drv wait-gone "$CONFIG" 5 >/dev/null || fail "Close does not hide the window"
[ "$(now_s)" -lt "$queued_s" ] || fail "the steps ran into the minute of $queued"

# Handed to Outlook in its minute, it stays in the Outbox: one balloon, and the list says so.
waiting="-- $(viewer_line queued): waiting in Outlook's Outbox --"
sleep_until $(( queued_s + 110 ))
[ "$(outbox_count)" -eq 0 ] || fail "a message left the Outbox while Outlook was offline"
drv wait-text "$viewer" Edit#0 lacks "$waiting" 1 >/dev/null || fail "waiting reported before two minutes"
balloon=$(drv tooltip 30 | tr -d '\r') || fail "no balloon while the notification waits in the Outbox"
[[ "$balloon" == *"$(viewer_line queued)"*"waiting in Outlook's Outbox"* ]] || fail "the balloon does not name it: $balloon"
log "balloon: $balloon"
drv wait-text "$viewer" Edit#0 contains "$waiting" 10 >/dev/null ||
  fail "the list does not say it waits: $(viewer_text | tr '\n' '|')"
shot waiting-in-outbox "$viewer"

# Online: the test message and the notification leave; the line goes.
reg_set "$STANDIN_KEY" Offline REG_DWORD 0
log "Outlook online"
outbox_wait 2 10 || fail "only $(outbox_count) of 2 messages left when Outlook went online"
drv wait-text "$viewer" Edit#0 lacks "$waiting" 10 >/dev/null || fail "the waiting line stays after the message left"
expect_outbox --to "$ADDRESS" --expect "queued@$queued_s-$(( queued_s + 5 ))" --absent last
expect_sent --subject 'Test Appointment' --to "$ADDRESS"

# Offline again: the last notification is queued in its minute (its line leaves the list at the
# poll after), then Exit waits for it, whether or not a poll runs when it is chosen.
reg_set "$STANDIN_KEY" Offline REG_DWORD 1
sleep_until "$last_s"
drv wait-text "$viewer" Edit#0 lacks "$(viewer_line last)" 30 >/dev/null || fail "the last notification stays listed"
[ "$(outbox_count)" -eq 2 ] || fail "a message left the Outbox while Outlook was offline"
tray_menu '&Exit'
drv tray-gone 6 >/dev/null && fail "Exit did not wait for the notification in the Outbox"
tray_menu '&View Pending Notifications'  # the tray menu still answers while Exit waits
log "Exit waits for the Outbox"
reg_set "$STANDIN_KEY" Offline REG_DWORD 0
drv tray-gone 15 >/dev/null || fail "the tray icon stays after the Outbox emptied"
app_wait_end 20 || fail "Horavane.exe still runs after the Outbox emptied"
expect_outbox --to "$ADDRESS" --expect "queued@$queued_s-$(( queued_s + 5 ))" --expect "last@$last_s-$(( last_s + 8 ))"
drv wait-exit OutlookStandin.exe 15 >/dev/null || fail "Outlook started by Horavane still runs after Exit"
