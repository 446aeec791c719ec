#!/usr/bin/env bash
# Outlook not there: the stand-in is unregistered, so "Outlook.Application" cannot be created.
# "Failed to open Outlook." comes up with nothing else of the program on the screen (the splash,
# up for a moment while the session fails, is gone again) and no tray icon; once it is answered
# the process ends. The stand-in is registered
# again afterwards (also when the scenario fails).
# Usage: outlook_unavailable.sh <build dir>
. "$(dirname "$0")/lib.sh" "$1" outlook_unavailable
e2e_begin

settings_configured
standin_use
calendar_write '[]'
E2E_ON_EXIT+=("standin_register")
standin_unregister
standin_registered && fail "the stand-in is still registered after OutlookStandin.exe /unregserver"
log "stand-in unregistered"

app_start
failure=$(drv box "$BOX" 30 | tr -d '\r') || fail "no message about Outlook"
expect_eq "message" "$failure" "Failed to open Outlook."
shot outlook-unavailable
for window in "$SPLASH" "$CONFIG" "$(viewer_title)"; do
  [ "$(drv visible "$window" | tr -d '\r')" != visible ] || fail "$window is on the screen with the failure message"
done
drv tray-gone 1 >/dev/null || fail "a tray icon was added although Outlook failed"
drv press "$BOX" IDOK >/dev/null
app_wait_end 15 || fail "the program does not end after the failure message"
drv wait-exit Horavane.exe 5 >/dev/null || fail "a Horavane.exe process is left"
drv tray-gone 1 >/dev/null || fail "a tray icon is left"
[ "$(outbox_count)" -eq 0 ] || fail "something was sent"

standin_register
standin_registered || fail "the stand-in cannot be registered again"
log "stand-in registered again"
