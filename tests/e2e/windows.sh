#!/usr/bin/env bash
# The three windows worked with the real mouse and keyboard, at 96 and at 144 dpi. In the
# configuration window a click on the centre of each check box's square and on its caption's
# first letter toggles exactly that box (on the screen and in the registry), a click on the left
# edge of the category box puts the caret there, and the mouse moved along the whole top row
# toggles nothing and opens no menu. Enter on the focused Close and Enter in the address box hide
# the window and store the address; Esc does what the close box does (without an address: the
# warning). Enter and Esc close the pending list; a letter, Enter, Esc and Alt+F4 close the About
# window, and the appointment due after that is sent. Screenshots of the windows, the tray and
# its menu at 96, 144 and 192 dpi.
# Usage: windows.sh <build dir>
. "$(dirname "$0")/lib.sh" "$1" windows
e2e_begin 175

DPI_KEY='HKCU\Control Panel\Desktop'
OTHER=second.pager@example.net
VIEWER=$(viewer_title)

# The check boxes in window order, with the settings they store.
BOX_NAMES=(CEEnabled Reminder Subject StartEndTime Location Organizer Comments)
BOX_CAPTIONS=('&Enable notification email to the following email address:'
  'Notifiy only if the Outlook appointment &reminder option is checked.'
  '&Subject (' 'Start-End &Time)' '> &Location' '/ Meeting &Organizer' 'Include appointment &body in email body')

# Keys typed on the real keyboard, to Wine's foreground window. The X focus is on Wine's desktop
# already; setting it again (xdotool windowfocus) makes Wine activate another window.
keys() {
  xdotool key --delay 120 "$@"
  sleep 0.6
}
# With the address box empty and focused: a typed letter arrives there. Now and then (more often
# on a loaded machine) another of Wine's X windows has the X focus, and every key is lost; only
# then does the focus go back to Wine's desktop window (the configuration window stays in front).
keys_reach_the_address() {
  local try desktop
  for try in 1 2; do
    keys x
    if [ "$(drv get "$CONFIG" Edit#0 | tr -d '\r')" == x ]; then
      keys BackSpace
      return 0
    fi
    desktop=$(xdotool search --name 'Wine desktop' | head -n1)
    log "typed keys are lost (X focus on $(xdotool getwindowfocus), Wine's desktop is $desktop): focusing the desktop"
    xdotool windowfocus --sync "$desktop"
    sleep 0.3
  done
  fail "typed keys do not reach the address box"
}
states() { drv text "$CONFIG" | grep -o 'checked=[01]' | cut -d= -f2 | tr -d '\n'; }
flip() { local s=$1 i=$2; echo "${s:0:i}$(( 1 - ${s:i:1} ))${s:i+1}"; }
# at_control CAPTION PIXELS_AT_96: the screen point that far right of the control's left edge,
# halfway down.
at_control() {
  local x y w h
  read -r x y w h < <(drv rect "$CONFIG" "$1" | tr -d '\r')
  echo "$(( x + $2 * DPI / 96 )) $(( y + h / 2 ))"
}
click_at() { xdotool mousemove "$1" "$2" sleep 0.2 click 1; sleep 0.5; }
configure_open() {
  tray_menu 'C&onfigure'
  drv wait-window "$CONFIG" 5 >/dev/null || fail "no configuration window"
  # The real keys go to Wine's foreground window: wait until that is this one.
  local end=$(( $(now_s) + 5 ))
  until [ "$(drv foreground 2>/dev/null | tr -d '\r' | cut -f2)" == "$CONFIG" ]; do
    [ "$(now_s)" -lt "$end" ] || fail "the configuration window does not come to the front"
    sleep 0.2
  done
}

clicks_toggle_their_own_box() {
  local i offset before expected got
  for offset in 6 21; do  # the centre of the square, the caption's first letter
    for i in "${!BOX_NAMES[@]}"; do
      before=$(states)
      # shellcheck disable=SC2046
      click_at $(at_control "${BOX_CAPTIONS[$i]}" "$offset")
      expected=$(flip "$before" "$i")
      got=$(states)
      expect_eq "boxes after a click on ${BOX_NAMES[$i]} at $offset px ($DPI dpi)" "$got" "$expected"
      expect_setting "${BOX_NAMES[$i]}" "${got:i:1}"
    done
  done
  # shellcheck disable=SC2046
  click_at $(at_control Edit#1 3)
  expect_eq "focus after a click on the category box's left edge" "$(drv focus "$CONFIG" | tr -d '\r')" "Edit#1	caret"
  log "every click reached its own box, and the category box ($DPI dpi)"
}

top_row_does_nothing() {
  local x y w h before tip path=()
  read -r x y w h < <(drv rect "$CONFIG" 'Appointment notification options' | tr -d '\r')  # at the client's top left
  read -r _ _ w _ < <(drv rect "$CONFIG" | tr -d '\r')
  before=$(states)
  tip=$(tray_tip)
  for (( i = 0; i < w; i++ )); do path+=(mousemove $(( x + i )) "$y"); done
  xdotool "${path[@]}"
  sleep 1
  drv menu-open 1 >/dev/null 2>&1 && fail "a mouse move over the window opened the tray menu ($DPI dpi)"
  expect_eq "boxes after the mouse crossed the top row" "$(states)" "$before"
  expect_eq "tooltip after the mouse crossed the top row" "$(tray_tip)" "$tip"
  log "the mouse crossed the top row ($w pixels): nothing toggled, no menu ($DPI dpi)"
}

enter_and_esc_in_the_configuration_window() {
  drv type "$CONFIG" Edit#0 "$OTHER" >/dev/null || fail "the address cannot be typed"
  # shellcheck disable=SC2046
  click_at $(at_control Edit#0 40)
  keys shift+Tab
  expect_eq "focus after Shift+Tab from the address" "$(drv focus "$CONFIG" | tr -d '\r')" "Button#0"
  keys Return
  drv wait-gone "$CONFIG" 5 >/dev/null || fail "Enter on Close leaves the window open"
  expect_setting EventEmailAddress "$OTHER"

  configure_open
  drv type "$CONFIG" Edit#0 "$ADDRESS" >/dev/null || fail "the address cannot be typed"
  # shellcheck disable=SC2046
  click_at $(at_control Edit#0 40)
  keys Return
  drv wait-gone "$CONFIG" 5 >/dev/null || fail "Enter in the address box leaves the window open"
  expect_setting EventEmailAddress "$ADDRESS"

  configure_open
  drv type "$CONFIG" Edit#0 "" >/dev/null || fail "the address cannot be cleared"
  # In the address box, as the Enter steps above.
  # shellcheck disable=SC2046
  click_at $(at_control Edit#0 40)
  keys_reach_the_address
  keys Escape
  expect_eq "warning on Esc" "$(drv box "$BOX" 10 | tr -d '\r')" "$EMPTY_ADDRESS_TEXT"
  drv press "$BOX" IDOK >/dev/null
  drv wait-gone "$BOX" 5 >/dev/null || fail "the warning stays"
  expect_eq "window after Esc without an address" "$(drv visible "$CONFIG" | tr -d '\r')" visible
  drv type "$CONFIG" Edit#0 "$ADDRESS" >/dev/null
  keys Escape
  drv wait-gone "$CONFIG" 5 >/dev/null || fail "Esc with an address leaves the window open"
  expect_setting EventEmailAddress "$ADDRESS"
  log "Enter on Close, Enter in the address box and Esc work as Close does ($DPI dpi)"
}

enter_and_esc_close_the_viewer() {
  local key
  for key in Return Escape; do
    tray_menu '&View Pending Notifications'
    drv wait-window "$VIEWER" 5 >/dev/null || fail "no pending list"
    keys "$key"
    drv wait-gone "$VIEWER" 5 >/dev/null || fail "$key leaves the pending list open"
  done
  log "Enter and Esc close the pending list ($DPI dpi)"
}

keys_close_about() {
  local key
  for key in x Return Escape alt+F4; do
    tray_menu 'Help &About'
    drv wait-window "$SPLASH" 5 >/dev/null || fail "no About window"
    keys "$key"
    drv wait-gone "$SPLASH" 5 >/dev/null || fail "$key leaves the About window open"
  done
  log "a letter, Enter, Esc and Alt+F4 close the About window"
}

screenshots() {
  configure_open
  shot "configure-$DPI" "$CONFIG"
  drv press "$CONFIG" '&Close' >/dev/null
  drv wait-gone "$CONFIG" 5 >/dev/null || fail "Close leaves the configuration window open"
  tray_menu '&View Pending Notifications'
  drv wait-window "$VIEWER" 5 >/dev/null || fail "no pending list"
  shot "pending-$DPI" "$VIEWER"
  drv press "$VIEWER" '&Close' >/dev/null
  tray_menu 'Help &About'
  drv wait-window "$SPLASH" 5 >/dev/null || fail "no About window"
  shot "about-$DPI" "$SPLASH"
  keys Escape
  drv wait-gone "$SPLASH" 5 >/dev/null || fail "Esc leaves the About window open"
  tray_right_click
  SHOT_POINTER=keep shot "tray-menu-$DPI"
  drv menu-keys c >/dev/null || fail "the menu does not close"
}

run_at() {
  DPI=$1
  desktop_closed
  reg_set "$DPI_KEY" LogPixels REG_DWORD "$DPI"
  settings_configured
  app_start
  app_wait_running
  screenshots
  if [ "$DPI" -ne 192 ]; then
    configure_open
    clicks_toggle_their_own_box
    top_row_does_nothing
    enter_and_esc_in_the_configuration_window
    enter_and_esc_close_the_viewer
  fi
}

standin_use
calendar_write '[]'
run_at 144
app_exit
run_at 192
app_exit

# At 96 dpi the About window is closed by each key before an appointment falls due; it is sent.
run_at 96
due=$(minute_after 60)
calendar_write '[{"id":"after","uid":"after@e2e","summary":"After About","due":"'$due'","minutes":30}]'
keys_close_about
sleep_until "$(minute_start "$due")"
outbox_wait 1 70 || fail "the appointment due after the About window closed was not sent"
expect_outbox --to "$ADDRESS" --expect "after@$due" --only
app_exit
