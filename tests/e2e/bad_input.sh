#!/usr/bin/env bash
# Bad input from every side, and nothing lost that could be sent. Settings corrupted by hand
# (wrong texts and wrong value types): the program starts, the check boxes fall back to their
# defaults and are stored again as text. A calendar file that is missing, then garbage, then a
# folder: no message box, an empty list, the program keeps running. An address of 2,000
# characters typed into the configuration window is stored whole. Then a readable calendar with
# subjects holding line breaks and text outside the ANSI code page: each appointment is listed as
# it is written and notified once in its minute, to the long address, with its exact subject and
# body.
# Usage: bad_input.sh <build dir>
. "$(dirname "$0")/lib.sh" "$1" bad_input
e2e_begin 50

# Stored by another program or by hand: nothing the program itself would write, except that a
# text of "1" under a non-text type is still a "1".
settings_configured '"CEEnabled"="yes"' '"Reminder"=""' '"Subject"=dword:00000000' '"StartEndTime"="1 "' \
  '"Location"=hex:ff,fe' '"Organizer"="2"' '"Comments"=hex(2):31,00' '"CategoryText"=""'
standin_use
rm -f "$CALENDAR"
app_start
app_wait_running
due=$(minute_after 35)  # for the readable calendar, after the steps below (about twenty-five seconds)
drv no-box "$BOX" 1 >/dev/null || fail "a message box at start-up"
expect_settings CEEnabled=1 Reminder=0 Subject=1 StartEndTime=1 Location=1 Organizer=0 Comments=1 \
  SecurityWarning=True CategoryText= "EventEmailAddress=$ADDRESS"
log "corrupted settings replaced by defaults"

tray_menu '&View Pending Notifications'
viewer=$(viewer_title)
EMPTY='-- No Appointments Pending --'
drv wait-text "$viewer" Edit#0 equals "$EMPTY" 10 >/dev/null || fail "a missing calendar is not an empty day"
{ head -c 3000 /dev/urandom; printf 'BEGIN:VCALENDAR\r\nBEGIN:VEVENT\r\nDTSTART:20XX\r\nSUMMARY:\377\376\r\n'; } >"$CALENDAR"
sleep 6  # a poll
drv no-box "$BOX" 1 >/dev/null || fail "a message box for a garbage calendar"
expect_eq "list of a garbage calendar" "$(viewer_text)" "$EMPTY"
rm -f "$CALENDAR"
mkdir "$CALENDAR"
sleep 6
drv no-box "$BOX" 1 >/dev/null || fail "a message box for a calendar that is a folder"
expect_eq "list of a calendar that is a folder" "$(viewer_text)" "$EMPTY"
rmdir "$CALENDAR"
[ -n "$(drv procs Horavane.exe | tr -d '\r')" ] || fail "the program ended on a bad calendar"
log "missing, garbage and folder calendars: empty list, no message"

long=$(printf 'a%.0s' $(seq 1 1988))@example.com
tray_menu 'C&onfigure'
drv wait-window "$CONFIG" 5 >/dev/null || fail "no configuration window"
drv type "$CONFIG" Edit#0 "$long" >/dev/null || fail "a 2,000-character address cannot be typed"
drv press "$CONFIG" '&Close' >/dev/null
drv wait-gone "$CONFIG" 5 >/dev/null || fail "Close does not hide the window"
stored=$(setting EventEmailAddress)
expect_eq "stored address length" "${#stored}" $(( ${#long} + 7 ))  # "REG_SZ " before it
expect_eq "stored address" "$stored" "REG_SZ $long"
log "address of ${#long} characters stored"

[ "$(now_s)" -le $(( $(minute_start "$due") - 8 )) ] || due=$(minute_after 15)  # the steps took longer
calendar_write '[{"id":"lines","summary":"Line one\nLine two\nLine three","due":"'$due'","location":"Room 1","description":"First line\nSecond line"},
  {"id":"wide","summary":"Caf\u00e9 \u2615 \u6771\u4eac \u0411\u0435\u0433 \ud83d\ude00","due":"'$due'","reminder":2,"location":"\u0141\u00f3d\u017a","description":"\u00c4\u00d6\u00dc \u2013 \u65e5\u672c"},
  {"id":"inject","summary":"Subject\nBcc: someone@example.org","due":"'$due'","location":"=?UTF-8?B?QQ==?="}]'
for id in lines wide inject; do
  drv wait-text "$viewer" Edit#0 contains "$(viewer_line "$id")" 15 >/dev/null || fail "$id is not listed as written"
done
shot bad-input-pending "$viewer"
log "listed as written; due at $due"
outbox_wait 3 $(( $(minute_start "$due") + 65 - $(now_s) )) || fail "only $(outbox_count) of 3 messages sent"
sleep 6
expect_outbox --to "$long" --comments --expect "lines@$due" --expect "wide@$due" --expect "inject@$due" --only
app_exit
