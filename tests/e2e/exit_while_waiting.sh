#!/usr/bin/env bash
# Exit while Horavane waits for Outlook: the stand-in answers every call 400 ms late
# (CallDelayMs), so a scan of four appointments takes many seconds. The user chooses Exit from
# the tray menu while a scan runs: Horavane ends within a few seconds, no window of it comes up
# again on the way out (no splash, no message box), its tray icon goes, and nothing is left
# running, the stand-in that COM started for it included.
# Usage: exit_while_waiting.sh <build dir>
. "$(dirname "$0")/lib.sh" "$1" exit_while_waiting
e2e_begin

settings_configured
standin_use
reg_set "$STANDIN_KEY" CallDelayMs REG_DWORD 400
# Four appointments, due well after the scenario, make each scan long.
later=$(minute_after 240)
events=$(for i in $(seq 1 4); do printf '{"id":"a%d","summary":"Meeting %d","due":"%s","location":"Room %d"},' "$i" "$i" "$later" "$i"; done)
calendar_write "[${events%,}]"
log "four appointments due at $later"

app_start
# Start-up waits for each of its calls too: the icon comes later than usual.
drv tray-icon 60 >/dev/null || fail "no tray icon after a slow start-up"
app_wait_running
pid=$(drv procs Horavane.exe | tr -d '\r' | cut -f1)

# A scan begins: the stand-in's call count stands still between two polls, then grows.
calls() { standin_counter TotalCalls; }
idle_end=$(( $(now_s) + 90 ))
before=$(calls)
while sleep 1; now=$(calls); [ "$now" != "$before" ]; do
  [ "$(now_s)" -lt "$idle_end" ] || fail "the stand-in is never idle between polls"
  before=$now
done
while sleep 0.3; now=$(calls); [ "$now" == "$before" ]; do
  [ "$(now_s)" -lt "$idle_end" ] || fail "no scan begins"
done
log "a scan runs ($now calls so far)"

tray_menu '&Exit'
exit_s=$(now_s)
while kill -0 "$APP_PID" 2>/dev/null; do
  [ "$(now_s)" -le $(( exit_s + 5 )) ] || fail "Horavane.exe still runs 5 s after Exit"
  shown=$(drv list | tr -d '\r' | awk -F '\t' -v pid="pid=$pid" '$4 == pid && $5 == "visible"')
  [ -z "$shown" ] || fail "a window of Horavane is shown after Exit: $shown"
done
app_wait_end 1 || fail "Horavane.exe does not end"
expect_eq "exit code" "$APP_STATUS" 0
drv tray-gone 2 >/dev/null || fail "the tray icon stays after Exit"
drv wait-exit Horavane.exe 2 >/dev/null || fail "a Horavane.exe process is left"
drv wait-exit OutlookStandin.exe 10 >/dev/null || fail "the stand-in still runs after Horavane ended"
