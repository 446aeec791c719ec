#!/usr/bin/env bash
# The user closes Outlook, starts it again and keeps its window in front. An Outlook whose window
# has never lost the focus is not in the Running Object Table, and Horavane finds it all the same.
# The user starts Outlook (the stand-in with no arguments) before Horavane, which attaches to it
# and notifies an all-day appointment at once. The user closes Outlook: the pending list reads
# "-- Outlook is not running --". The user starts it again and leaves its window active across
# the next appointment's minute (GetActiveObject finds no Outlook all that time): the appointment
# is notified once, in its minute, no second stand-in process ever runs, and no message box comes.
# Exit from the tray; the user closes Outlook, and nothing is left running.
# Usage: outlook_reopened_in_front.sh <build dir>
. "$(dirname "$0")/lib.sh" "$1" outlook_reopened_in_front
e2e_begin 90

NOT_RUNNING='-- Outlook is not running --'

settings_configured
standin_use
# The minute comes after start-up, the close and the new start (about a minute together; the
# close alone once took nineteen seconds on a loaded machine).
due=$(minute_after 80)
due_s=$(minute_start "$due")
calendar_write '[{"id":"holiday","summary":"Sent before","allday":true,"location":"Everywhere"},
{"id":"reopened","summary":"While Outlook is in front","due":"'$due'","location":"Room 5"}]'
log "appointment due at $due, one all-day"

standin_processes() { drv procs OutlookStandin.exe | tr -d '\r' | wc -l; }
in_table() { drv active-object Outlook.Application | tr -d '\r' || true; }

standin_start
started_s=$(now_s)
app_start
app_wait_running
viewer_open_listing reopened
outbox_wait 1 10 || fail "the all-day appointment was not sent while Outlook runs"
sent_s=$(now_s)

close_s=$(now_s)
standin_close || fail "the stand-in does not close"
log "Outlook closed by the user (in $(( $(now_s) - close_s )) s)"
drv wait-text "$viewer" Edit#0 contains "$NOT_RUNNING" 12 >/dev/null || fail "the list does not say that Outlook is not running"
expect_eq "stand-in processes while Outlook is closed" "$(standin_processes)" 0

# Started again, its window shown and activated; from here on nothing else takes the focus.
standin_start
[ "$(now_s)" -lt "$due_s" ] || fail "Outlook was started again only after the minute of $due began"
drv wait-text "$viewer" Edit#0 contains "$(viewer_line reopened)" 20 >/dev/null || fail "Horavane does not find the Outlook started again"
log "Horavane attached to the Outlook started again"
expect_eq "the Running Object Table while Outlook is in front" "$(in_table)" none
shot outlook-reopened-in-front

# Until the message lands (at the latest at the end of its minute): one stand-in process, its
# window in front, no message box.
while [ "$(outbox_count)" -lt 2 ]; do
  [ "$(now_s)" -lt $(( due_s + 62 )) ] || fail "nothing sent in the minute of $due"
  [ "$(standin_processes)" -le 1 ] || fail "a second stand-in process runs"
  front=$(drv foreground | tr -d '\r' | cut -f1)
  expect_eq "the window in front" "$front" OutlookStandinMain
  drv no-box "$BOX" 1 >/dev/null || fail "a message box: $(drv box "$BOX" 1 | tr -d '\r')"
done
sleep 6  # one more poll: nothing is sent twice
expect_eq "the Running Object Table after the message" "$(in_table)" none
expect_eq "stand-in processes" "$(standin_processes)" 1
drv no-box "$BOX" 1 >/dev/null || fail "a message box came up"
expect_outbox --to "$ADDRESS" --expect "holiday@$started_s-$sent_s" --expect "reopened@$due" --only

app_exit
standin_close || fail "the stand-in does not close"
drv wait-exit OutlookStandin.exe 10 >/dev/null || fail "the stand-in still runs after it was closed"
