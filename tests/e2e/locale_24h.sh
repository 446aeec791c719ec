#!/usr/bin/env bash
# A user whose Windows shows 24-hour times (de-DE: "HH:mm", no AM/PM designators). Outlook reads a
# search filter's times in the user's own time format, without seconds, and the stand-in refuses
# any other: a day filter that ended at "11:59 PM" would be refused or end the day early. The
# clock is moved to just before 08:00 of today. Appointments at 08:00, 15:00 and 23:30 are all
# listed in the pending viewer, in the locale's short date and the program's time form; the 08:00
# one is sent once, in its minute, and the two later ones stay listed and unsent. No message box
# comes.
# Usage: locale_24h.sh <build dir>
export LANG=de_DE.UTF-8 LC_ALL=de_DE.UTF-8  # Wine takes the user locale from these
. "$(dirname "$0")/lib.sh" "$1" locale_24h
e2e_begin 90 08:00

# The program's time form falls back to AM/PM where the locale has no designators.
AM=${AM:-AM}
PM=${PM:-PM}
wine_locale=$(drv locale | tr -d '\r')
log "Wine's user locale: $(tr '\n' ' ' <<<"$wine_locale")"
settings_configured
standin_use
calendar_write '[{"id":"morning","summary":"Morning briefing","due":"08:00","location":"Room 1"},
{"id":"afternoon","summary":"Afternoon review","due":"15:00","location":"Room 2"},
{"id":"evening","summary":"Evening call","due":"23:30","location":"Room 3"}]'
due_s=$(minute_start 08:00)
log "appointments at 08:00, 15:00 and 23:30"

app_start
app_wait_running
tray_menu '&View Pending Notifications'
viewer=$(viewer_title)
drv wait-window "$viewer" 10 >/dev/null || fail "the viewer does not open from the tray menu"
for id in morning afternoon evening; do
  drv wait-text "$viewer" Edit#0 contains "$(viewer_line "$id")" 20 >/dev/null || fail "$id is not listed: $(viewer_text | tr '\n' '|')"
done
[ "$(now_s)" -lt "$due_s" ] || fail "the listing came only in the due minute"
shot locale-24h "$viewer"
log "listed: $(viewer_text | tr '\n' '|')"

outbox_wait 1 $(( due_s + 60 - $(now_s) )) || fail "the 08:00 appointment was not sent in its minute"
drv wait-text "$viewer" Edit#0 lacks "$(viewer_line morning)" 12 >/dev/null || fail "08:00 is still listed after it was sent"
sleep_until $(( due_s + 66 ))
drv no-box "$BOX" 1 >/dev/null || fail "a message box came up: $(drv box "$BOX" 1 | tr -d '\r')"
expect_outbox --to "$ADDRESS" --expect "morning@08:00" --absent afternoon --absent evening --only
for id in afternoon evening; do
  drv wait-text "$viewer" Edit#0 contains "$(viewer_line "$id")" 1 >/dev/null || fail "$id is no longer listed"
done
log "sent once in its minute; the later two stay listed"

app_exit
