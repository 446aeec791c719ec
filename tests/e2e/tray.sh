#!/usr/bin/env bash
# The tray icon worked with the real mouse. A single left click does nothing; a double-click turns
# notification off (inactive picture and tooltip, "CEEnabled" = "0") and another turns it on again.
# A right click opens the menu; Esc and "&Close" close it without a command. "C&onfigure" shows
# the configuration window (once, however often it is chosen), "&View Pending Notifications" the
# viewer, "&Help Contents" starts the help viewer on HvaneHelp.chm. "Help &About" shows the About
# window: no scan runs while it is open, so an appointment due in that time is never sent, and
# once a click closes it the next appointment is sent in its minute. "&Exit" with the viewer
# open removes the icon, closes every window and ends the program.
# Usage: tray.sh <build dir>
. "$(dirname "$0")/lib.sh" "$1" tray
e2e_begin 45

settings_configured
standin_use
calendar_write '[]'
app_start
app_wait_running
# The About part needs an appointment due while About is open and one in the minute after; the
# steps before it take about twenty seconds.
about_calendar() {
  held=$(minute_after "$1")
  held_s=$(minute_start "$held")
  next=$(date -d "@$(( held_s + 60 ))" +%H:%M)
  calendar_write '[{"id":"held","summary":"During About","due":"'$held'","location":"Room 1"},
                   {"id":"next","summary":"After About","due":"'$next'","location":"Room 2"}]'
}
about_calendar 30

# --- the icon and the switch ---
expect_eq "start-up tooltip" "$(tray_tip)" "Horavane (Active)"
tray_spot
active_picture=$TRAY_PICTURE
tray_click
expect_eq "tooltip after a single click" "$(tray_tip)" "Horavane (Active)"
expect_setting CEEnabled 1

tray_double_click
expect_eq "tooltip after a double-click" "$(tray_tip)" "Quil Horavane (Inactive)"
expect_setting CEEnabled 0
tray_spot
[ "$TRAY_PICTURE" != "$active_picture" ] || fail "the picture stays the same when notification is off"
expect_eq "tooltip on the screen" "$(tray_hover_tip)" "Quil Horavane (Inactive)"
shot_area tray-inactive 300x60+724+708
log "double-click: notification off"

tray_double_click
expect_eq "tooltip after a second double-click" "$(tray_tip)" "Quil Horavane (Active)"
expect_setting CEEnabled 1
tray_spot
expect_eq "picture when on again" "$TRAY_PICTURE" "$active_picture"
expect_eq "tooltip on the screen" "$(tray_hover_tip)" "Quil Horavane (Active)"
log "double-click: notification on"

# --- the menu ---
tray_right_click
shot_area tray-menu 300x200+724+568
drv menu-keys '{esc}' >/dev/null || fail "Esc does not close the menu"
tray_menu '&Close'
for window in "$CONFIG" "$(viewer_title)" "$SPLASH"; do
  expect_eq "$window after the menu's Close" "$(drv visible "$window" | tr -d '\r')" hidden
done
[ -n "$(drv procs Horavane.exe | tr -d '\r')" ] || fail "the program ended on the menu's Close"

tray_menu 'C&onfigure'
drv wait-window "$CONFIG" 5 >/dev/null || fail "Configure shows no window"
tray_menu 'C&onfigure'
sleep 0.5
expect_eq "configuration windows after choosing Configure twice" \
  "$(drv list "$CONFIG" | grep -c visible)" 1
drv press "$CONFIG" '&Close' >/dev/null
drv wait-gone "$CONFIG" 5 >/dev/null || fail "Close does not hide the configuration window"

tray_menu '&View Pending Notifications'
drv wait-window "$(viewer_title)" 5 >/dev/null || fail "View Pending shows no viewer"
drv wait-text "$(viewer_title)" Edit#0 contains "$(viewer_line held)" 10 >/dev/null ||
  fail "the viewer does not list the coming appointment"
drv press "$(viewer_title)" '&Close' >/dev/null
drv wait-gone "$(viewer_title)" 5 >/dev/null || fail "Close does not hide the viewer"

tray_menu '&Help Contents'
drv wait-window 'Horavane Help' 30 >/dev/null || fail "no help viewer window"
help_line=$(prefix_command_lines hh.exe)
[[ "$help_line" == *hh.exe* && "$help_line" == *HvaneHelp.chm* ]] || fail "the help viewer runs as '$help_line'"
log "help viewer: $help_line"
shot help
drv close 'Horavane Help' >/dev/null
drv wait-exit hh.exe 15 >/dev/null || fail "the help viewer does not close"

# --- About holds the poll cycle ---
[ "$(now_s)" -le $(( held_s - 8 )) ] || about_calendar 12  # the steps took longer
sleep_until $(( held_s - 8 ))
tray_menu 'Help &About'
drv wait-window "$SPLASH" 15 >/dev/null || fail "Help About shows no window"
shot about "$SPLASH"
log "About open over the minute $held"
sleep_until $(( held_s + 62 ))
expect_eq "messages while About is open" "$(outbox_count)" 0
read -r ax ay aw ah < <(drv rect "$SPLASH" | tr -d '\r')
xdotool mousemove $(( ax + 10 )) $(( ay + ah - 10 )) sleep 0.2 click 1
drv wait-gone "$SPLASH" 5 >/dev/null || fail "a click on the About window's background does not close it"
log "About closed"
outbox_wait 1 20 || fail "nothing sent after About closed"
sleep 6
expect_outbox --to "$ADDRESS" --expect "next@$next" --absent held --only

# --- Exit with the viewer open ---
tray_menu '&View Pending Notifications'
drv wait-window "$(viewer_title)" 5 >/dev/null || fail "View Pending shows no viewer"
app_exit
drv wait-gone "$(viewer_title)" 1 >/dev/null || fail "the viewer outlives the program"
