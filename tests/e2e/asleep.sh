#!/usr/bin/env bash
# The computer sleeps, or the process is held, across a due minute. Horavane's process is stopped
# (SIGSTOP) from twenty seconds before an appointment's due minute to seventy seconds after it;
# the appointment starts ten minutes after that minute. Continued, Horavane sends it once, within
# ten seconds, and the pending list says it was sent late. A second appointment, without a
# reminder, falls due and starts in that minute, during the stop: it is not sent.
# Usage: asleep.sh <build dir>
. "$(dirname "$0")/lib.sh" "$1" asleep
e2e_begin 50

settings_configured
standin_use
due=$(minute_after 45)
due_s=$(minute_start "$due")
calendar_write '[{"id":"ahead","summary":"Still ahead","due":"'$due'","reminder":10,"location":"Room 1"},
{"id":"started","summary":"Started while asleep","due":"'$due'","location":"Room 2"}]'
log "one appointment due at $due (starting ten minutes later), one starting at $due"

app_start
app_wait_running
viewer_open_listing ahead

# Horavane's own process, found by its command line in this prefix.
app_pids() {
  local dir line
  for dir in /proc/[0-9]*; do
    line=$( { tr '\0' ' ' <"$dir/cmdline"; } 2>/dev/null) || continue
    [[ "$line" == *Horavane.exe* ]] || continue
    tr '\0' '\n' <"$dir/environ" 2>/dev/null | grep -qx "WINEPREFIX=$WINEPREFIX" || continue
    echo "${dir#/proc/}"
  done
}
pids=$(app_pids)
[ -n "$pids" ] || fail "no Horavane.exe process found"
[ "$(now_s)" -le $(( due_s - 20 )) ] || fail "start-up took too long: fewer than twenty seconds before $due"
sleep_until $(( due_s - 20 ))
kill -STOP $pids
E2E_ON_EXIT+=("kill -CONT $pids 2>/dev/null")
log "Horavane stopped ($pids)"
sleep_until $(( due_s + 70 ))
[ "$(outbox_count)" -eq 0 ] || fail "a message was sent while Horavane was stopped"
kill -CONT $pids
continued_s=$(now_s)
log "Horavane continued"
outbox_wait 1 10 || fail "the missed notification was not sent within ten seconds of the continue"
sent_s=$(now_s)
log "sent $(( sent_s - continued_s )) s after the continue"
drv wait-text "$viewer" Edit#0 contains "-- $(viewer_line ahead): sent late at " 10 >/dev/null ||
  fail "the list does not say it was sent late: $(viewer_text | tr '\n' '|')"
shot sent-late "$viewer"
sleep 11  # two more polls: nothing is sent twice, and the started one never
expect_outbox --to "$ADDRESS" --expect "ahead@$continued_s-$(( sent_s + 1 ))" --absent started --only
app_exit
