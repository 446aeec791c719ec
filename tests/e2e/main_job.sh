#!/usr/bin/env bash
# The main job with real time. About a minute after start three appointments fall due: one with a
# one-minute reminder, today's occurrence of a daily series (whose occurrence of yesterday was
# moved), and an all-day appointment that the user enters into the calendar in that minute. A
# fourth appointment lies later. The pending viewer, opened from the tray menu, lists the three
# before they are due and not after; exactly one message per appointment lands in the outbox
# inside its due minute, with the subject the default options give (subject, start-end time,
# location) and no body; the later one stays listed and unsent. Exit closes the viewer with the
# program, and the stand-in, which COM started in its own process for Horavane, ends with it.
# Usage: main_job.sh <build dir>
. "$(dirname "$0")/lib.sh" "$1" main_job
e2e_begin 55

settings_configured
standin_use
due=$(minute_after 50)
due_s=$(minute_start "$due")
later=$(date -d "@$(( due_s + 900 ))" +%H:%M)
timed='{"id":"reminder","uid":"reminder@e2e","summary":"Budget review","due":"'$due'","reminder":1,"minutes":45,"location":"Room 4","description":"Bring the figures."},
{"id":"daily","uid":"daily@e2e","summary":"Daily stand-up","due":"'$due'","daily":true,"moved":true,"minutes":15,"location":"Team corner"},
{"id":"later","uid":"later@e2e","summary":"Later meeting","due":"'$later'","location":"Room 9"}'
holiday='{"id":"holiday","uid":"holiday@e2e","summary":"Company holiday","allday":true,"location":"Everywhere"}'
calendar_write "[$timed]"
log "appointments due at $due, one more at $later"

app_start
app_wait_running
# Outlook is a process of its own: COM started the stand-in for Horavane.
standin_running || fail "no OutlookStandin.exe process runs beside Horavane"
log "the stand-in runs in its own process: $(drv procs OutlookStandin.exe | tr -d '\r' | tr '\n' ' ')"
tray_menu '&View Pending Notifications'
viewer=$(viewer_title)
drv wait-window "$viewer" 10 >/dev/null || fail "the viewer does not open from the tray menu"

# Before the due minute: all three timed appointments are listed, nothing is sent.
for id in reminder daily later; do
  drv wait-text "$viewer" Edit#0 contains "$(viewer_line "$id")" 20 >/dev/null || fail "$id is not listed"
done
[ "$(now_s)" -lt "$due_s" ] || fail "the listing came only in the due minute"
[ "$(outbox_count)" -eq 0 ] || fail "a message was sent before the due minute"
shot pending "$viewer"
log "listed before $due: $(viewer_text | tr '\n' '|')"

# In the due minute the user adds an all-day appointment of today.
sleep_until "$due_s"
calendar_write "[$timed,$holiday]"
added_s=$(now_s)
log "all-day appointment added"
drv wait-text "$viewer" Edit#0 contains "$(viewer_line holiday)" 15 >/dev/null ||
  fail "the all-day appointment is never listed"
outbox_wait 3 20 || fail "only $(outbox_count) of 3 messages in the due minute"
log "three messages landed"

# After their notification the three are no longer listed; the later one stays.
for id in reminder daily holiday; do
  drv wait-text "$viewer" Edit#0 lacks "$(viewer_line "$id")" 12 >/dev/null || fail "$id is still listed after it was sent"
done
drv wait-text "$viewer" Edit#0 contains "$(viewer_line later)" 1 >/dev/null || fail "the later appointment is gone"

# Nothing more for the rest of the minute and a little after: one message each.
sleep_until $(( due_s + 68 ))
expect_outbox --to "$ADDRESS" --expect "reminder@$due" --expect "daily@$due" \
  --expect "holiday@$added_s-$(( added_s + 15 ))" --absent later --only
log "one message per appointment, inside its minute"

app_exit
drv wait-gone "$viewer" 1 >/dev/null || fail "the viewer outlives the program"
