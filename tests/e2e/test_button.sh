#!/usr/bin/env bash
# The configuration window's Test button. With notification off and a valid address, Test turns
# notification on (check box, "CEEnabled", tray tooltip), sends one test message and confirms it.
# A new address typed without Close gets the next test message and is stored. With an empty
# address the unresolved-address box comes, nothing is sent and no confirmation follows. Close
# with an empty address and notification on warns; Cancel turns notification off and keeps the
# window open; a format box unticked is stored at once; a second Close hides it.
# Usage: test_button.sh <build dir>
. "$(dirname "$0")/lib.sh" "$1" test_button
e2e_begin

OTHER=second.pager@example.net
TEST_SUBJECT='Test Appointment'
TEST_BODY='Sent from Quil - Horavane'
SWITCH='&Enable notification email to the following email address:'

settings_configured '"CEEnabled"="0"'
standin_use
calendar_write '[]'
app_start
app_wait_running
tray_menu 'C&onfigure'
drv wait-window "$CONFIG" 5 >/dev/null || fail "no configuration window"
expect_eq "switch before Test" "$(drv state "$CONFIG" "$SWITCH" | tr -d '\r')" 0

# A valid address.
drv press "$CONFIG" '&Test' >/dev/null
confirmation=$(drv box "$BOX" 20 | tr -d '\r') || fail "no confirmation after Test"
expect_eq "confirmation" "$confirmation" "A test email has been sent.\\r\\nPlease verify receipt by $ADDRESS."
shot test-confirmation
drv press "$BOX" IDOK >/dev/null
drv wait-gone "$BOX" 5 >/dev/null || fail "the confirmation stays"
expect_sent --subject "$TEST_SUBJECT" --to "$ADDRESS" --body "$TEST_BODY"
expect_eq "switch after Test" "$(drv state "$CONFIG" "$SWITCH" | tr -d '\r')" 1
expect_settings CEEnabled=1 "EventEmailAddress=$ADDRESS"
expect_eq "tooltip after Test" "$(tray_tip)" "Quil Horavane (Active)"
log "test message to $ADDRESS sent and confirmed"

# A new address, typed and tested without Close.
drv type "$CONFIG" Edit#0 "$OTHER" >/dev/null || fail "the address cannot be typed"
drv press "$CONFIG" '&Test' >/dev/null
confirmation=$(drv box "$BOX" 20 | tr -d '\r') || fail "no confirmation for the new address"
expect_eq "confirmation" "$confirmation" "A test email has been sent.\\r\\nPlease verify receipt by $OTHER."
drv press "$BOX" IDOK >/dev/null
drv wait-gone "$BOX" 5 >/dev/null || fail "the confirmation stays"
expect_sent --subject "$TEST_SUBJECT" --to "$OTHER" --body "$TEST_BODY"
expect_setting EventEmailAddress "$OTHER"
log "test message to the new address $OTHER"

# An empty address: the unresolved-address box, nothing sent, no confirmation.
drv type "$CONFIG" Edit#0 "" >/dev/null || fail "the address cannot be cleared"
drv press "$CONFIG" '&Test' >/dev/null
unresolved=$(drv box "$BOX" 20 | tr -d '\r') || fail "no unresolved-address box"
expect_eq "unresolved-address box" "$unresolved" 'Unable to resolve address.\r\n'
shot test-unresolved
drv press "$BOX" IDOK >/dev/null
drv wait-gone "$BOX" 5 >/dev/null || fail "the unresolved-address box stays"
drv no-box "$BOX" 3 >/dev/null || fail "a confirmation follows an unresolved address"
expect_eq "messages" "$(outbox_count)" 2
expect_setting EventEmailAddress ""
log "empty address: reported, nothing sent, no confirmation"

# Close with no address and notification on: the warning; Cancel turns notification off.
drv press "$CONFIG" '&Close' >/dev/null
warning=$(drv box "$BOX" 10 | tr -d '\r') || fail "no warning on Close without an address"
expect_eq "warning" "$warning" "$EMPTY_ADDRESS_TEXT"
drv press "$BOX" IDCANCEL >/dev/null
drv wait-gone "$BOX" 5 >/dev/null || fail "the warning stays after Cancel"
expect_eq "window after Cancel" "$(drv visible "$CONFIG" | tr -d '\r')" visible
expect_eq "switch after Cancel" "$(drv state "$CONFIG" "$SWITCH" | tr -d '\r')" 0
expect_setting CEEnabled 0
expect_eq "tooltip after Cancel" "$(tray_tip)" "Quil Horavane (Inactive)"
drv check "$CONFIG" '> &Location' 0 >/dev/null || fail "the location box cannot be unticked"
expect_setting Location 0  # stored at once, not at Close
drv press "$CONFIG" '&Close' >/dev/null
drv wait-gone "$CONFIG" 5 >/dev/null || fail "the second Close does not hide the window"
drv no-box "$BOX" 2 >/dev/null || fail "the second Close warns again"
log "Close without an address: warned, Cancel switched off, second Close hid the window"

app_exit
