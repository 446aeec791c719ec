#!/usr/bin/env bash
# The installer under Wine, from a silent install to a silent uninstall, checked from outside:
# the prefix's file system, `reg query` (Wine's reg.exe) and the windows of the running programs
# (through installer_probe.exe).
#
#   1. a silent install puts the files, the shortcuts, the Run value and the Uninstall key in place;
#   2. the installed program starts from its folder, its Help Contents opens the help file in the
#      help viewer, and it exits when asked through its window the way the installer asks;
#   3. an upgrade over an older version replaces the files while the program runs: the running copy
#      exits, comes back, and the stored settings are kept;
#   4. an install is refused, with nothing changed, over a newer version, while a copy that does
#      not exit holds on (which the installer leaves running) and while the help viewer holds the
#      help file open; so is an uninstall in that last case;
#   5. reinstalling the same version keeps a user's choice not to start at sign-in;
#   6. a silent uninstall, with the program running, leaves no file, shortcut, Run value or
#      Uninstall key, and keeps the settings;
#   7. through the pages: Finish with "Start now" ticked starts the program; the uninstaller asks
#      whether to remove the settings, No being the default, and removes them on Yes;
#   8. signing: this build, when it has no certificate, signs nothing; a build of the same sources
#      with a throwaway self-signed certificate (in <build dir>/signed, configured from the initial
#      cache file) signs Horavane.exe, the uninstaller and the setup, as osslsigncode verify
#      confirms, writes the password nowhere, and its setup installs and uninstalls.
#
# The settings key of the prefix is saved first and put back at the end; nothing is left installed
# or running. Needs a display (DISPLAY) and the build tree's prepared prefix.
# Usage: lifecycle.sh <source dir> <build dir> <setup.exe> <installer_probe.exe>
#                     <cmake> <generator> <initial cache of the signed build> signed|unsigned
set -uo pipefail

src=$1
build=$2
setup=$3
probe_exe=$4
cmake=$5
generator=$6
signed_cache=$7
this_tree_signs=$8

# No desktop entries on the host for the shortcuts the installer makes.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=};winemenubuilder.exe=d"
. "$src/scripts/wine-env.sh" "$build"

failures=0
ok() { echo "ok   - $*"; }
bad() { echo "FAIL - $*"; failures=$((failures + 1)); }
die() {
  echo "FAIL - $*"
  exit 1  # the trap cleans up
}
# check <description> <command...>: the command's success is the check.
check() {
  local what=$1
  shift
  if "$@"; then ok "$what"; else bad "$what"; fi
}
# check_eq <description> <actual> <expected>
check_eq() {
  if [ "$2" == "$3" ]; then ok "$1"; else bad "$1: got [$2], expected [$3]"; fi
}

[ -n "${DISPLAY:-}" ] || die "no DISPLAY: run through scripts/test.sh, which starts Xvfb"
[ -f "$setup" ] || die "the installer $setup has not been built"

wine() { "$HV_WINE" "$@"; }
probe() { "$HV_WINE" "$probe_exe" "$@"; }

# --- What the installer should produce, from the program's version information ---
version_h="$src/resources/version.h"
header_text() { sed -n "s/^#define[[:space:]]\{1,\}$1[[:space:]]\{1,\}\"\(.*\)\".*/\1/p" "$version_h"; }
company=$(header_text HV_COMPANY_NAME)
product=$(header_text HV_PRODUCT_NAME)
version=$(header_text HV_VERSION_TEXT)
[ -n "$company" ] && [ -n "$product" ] && [ -n "$version" ] || die "cannot read the names from $version_h"
case "$(basename "$setup")" in
  "$product-$version-setup.exe") ok "the installer is named $product-$version-setup.exe" ;;
  *) bad "the installer is named $(basename "$setup"), expected $product-$version-setup.exe" ;;
esac

win_user=$(wine cmd /c 'echo %USERNAME%' | tr -d '\r\n')
[ -n "$win_user" ] || die "cannot learn the prefix's user name"
profile="$WINEPREFIX/drive_c/users/$win_user"
install_dir="$profile/AppData/Local/Programs/$product"
win_install_dir="C:\\users\\$win_user\\AppData\\Local\\Programs\\$product"
menu_dir="$profile/AppData/Roaming/Microsoft/Windows/Start Menu/Programs/$product"
temp_dir="$profile/Temp"
uninstall_key="HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\$product"
run_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Run'
company_key="HKCU\\Software\\$company"
settings_key="$company_key\\$product"
exe="$product.exe"
help_file=HvaneHelp.chm
built_exe="$build/$exe"
built_help="$build/$help_file"
win_exe="$win_install_dir\\$exe"
win_uninstaller="$win_install_dir\\Uninstall.exe"
window_class=HoravaneForm
window_title="$product Configuration"
exit_command=40006         # the tray menu's Exit
help_contents_command=40004  # the tray menu's Help Contents
help_window_class="HH Parent"
help_window_title="$product Help"  # the help file's own window title

# --- The registry, read with reg.exe ---
key_exists() { wine reg query "$1" >/dev/null 2>&1; }
key_missing() { ! key_exists "$1"; }
# reg_line <key> <name>: "TYPE<tab>data" of one value, empty when it is missing.
reg_line() {
  wine reg query "$1" /v "$2" 2>/dev/null | tr -d '\r' |
    sed -n "s/^    $2    \(REG_[A-Z_]*\)    \(.*\)$/\1\t\2/p;s/^    $2    \(REG_[A-Z_]*\)$/\1\t/p"
}
reg_data() { reg_line "$1" "$2" | cut -f2-; }
reg_type() { reg_line "$1" "$2" | cut -f1; }
reg_set() { wine reg add "$1" /v "$2" /t REG_SZ /d "$3" /f >/dev/null 2>&1; }

# --- Saving and restoring what the test touches ---
work=$(mktemp -d)
settings_backup="$work/settings.reg"
company_key_existed=0
key_exists "$company_key" && company_key_existed=1
had_settings=0
if key_exists "$settings_key"; then
  wine reg export "$settings_key" "Z:${settings_backup//\//\\}" /y >/dev/null 2>&1 && had_settings=1
fi
temp_before=$(ls -d "$temp_dir"/~nsu*.tmp 2>/dev/null)
background_pids=()

remove_installation() {
  rm -rf "$install_dir" "$menu_dir"
  wine reg delete "$run_key" /v "$product" /f >/dev/null 2>&1
  wine reg delete "$uninstall_key" /f >/dev/null 2>&1
}
cleanup() {
  probe close "#32770" "*" 5 >/dev/null 2>&1  # a page or question left open by a failure
  probe close "$help_window_class" "*" 10 >/dev/null 2>&1
  probe ask-exit "$window_class" "$window_title" "$exit_command" 20 >/dev/null 2>&1
  probe close "$window_class" "$window_title" 10 >/dev/null 2>&1
  probe no-process Un.exe 30 >/dev/null 2>&1
  for pid in "${background_pids[@]}"; do
    kill "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
  done
  remove_installation
  wine reg delete "$settings_key" /f >/dev/null 2>&1
  if [ "$had_settings" = 1 ]; then
    wine reg import "Z:${settings_backup//\//\\}" >/dev/null 2>&1
  elif [ "$company_key_existed" = 0 ]; then
    wine reg delete "$company_key" /f >/dev/null 2>&1
  fi
  # The uninstaller's temporary copy is removed at the next start of Windows; this prefix's are ours.
  for d in "$temp_dir"/~nsu*.tmp; do
    [ -d "$d" ] || continue
    grep -qxF "$d" <<<"$temp_before" || rm -rf "$d"
  done
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 1' INT TERM  # a timeout in ctest still cleans up

# Leftovers of an earlier, interrupted run would hide what this one does.
probe ask-exit "$window_class" "$window_title" "$exit_command" 20 >/dev/null 2>&1
remove_installation
wine reg delete "$settings_key" /f >/dev/null 2>&1

# start_installed: starts the installed program in the background and waits for its window;
# sets app_pid (its Windows process id) and app_job (the local process running it).
start_installed() {
  wine "$win_exe" >/dev/null 2>&1 &
  app_job=$!
  background_pids+=("$app_job")
  app_pid=$(probe find "$window_class" "$window_title" 30 | tr -d '\r')
  [ -n "$app_pid" ] || die "the installed program shows no window"
}
# ended <local pid> <seconds>: the process has ended within the time.
ended() {
  local tenths=$(($2 * 10))
  while kill -0 "$1" 2>/dev/null; do
    [ "$tenths" -gt 0 ] || return 1
    tenths=$((tenths - 1))
    sleep 0.1
  done
}
quiet() { "$@" >/dev/null; }
# press_until <seconds> <command...>: presses the default button (id 1: Next, Install, Finish,
# Uninstall, Close) of the visible dialog, every half second, until the command succeeds.
press_until() {
  local tenths=$(($1 * 10))
  shift
  until "$@"; do
    [ "$tenths" -gt 0 ] || return 1
    probe click "#32770" "*" 1
    sleep 0.5
    tenths=$((tenths - 5))
  done
}
# No message box of the program's is up (an error, or a question that would block it).
no_message_box() {
  local text status
  text=$(probe box-text "$product" 0)
  status=$?
  [ "$status" = 0 ] && echo "    message box: $(tr -d '\r' <<<"$text")"
  [ "$status" = 1 ]
}
open_help_viewer() {
  wine hh.exe "$win_install_dir\\$help_file" >/dev/null 2>&1 &
  background_pids+=("$!")
  check "the help viewer opens $help_file from the installed folder" \
    quiet probe find "$help_window_class" "$help_window_title" 30
}
close_help_viewer() {
  probe close "$help_window_class" "*" 10 >/dev/null
  check "the help viewer closes" probe no-process hh.exe 15
}
same_file() { cmp -s "$1" "$2"; }
# The installation folder is gone, within 10 s (the uninstaller's temporary copy removes it last,
# and Wine may take a moment to delete the files it has just closed); what is left in it is shown
# otherwise.
install_dir_gone() {
  for _ in $(seq 1 50); do
    [ -e "$install_dir" ] || return 0
    sleep 0.2
  done
  echo "    left in $install_dir: $(ls -A "$install_dir" | tr '\n' ' ')"
  return 1
}
lnk_points_to() { [ -f "$1" ] && LC_ALL=C grep -a -q -F "$2" "$1"; }

# === 1. Silent install ===
echo "# silent install"
wine "$setup" /S
status=$?
[ "$status" = 0 ] || die "the silent install ended with $status"
ok "the silent install ends with 0"

check "$exe is in $install_dir, as built" same_file "$install_dir/$exe" "$built_exe"
check "$help_file lies beside it, as built" same_file "$install_dir/$help_file" "$built_help"
check "the uninstaller lies beside it" test -f "$install_dir/Uninstall.exe"
# name | target
while IFS='|' read -r name target; do
  check "the shortcut \"$name\" starts $target" lnk_points_to "$menu_dir/$name.lnk" "$win_install_dir\\$target"
done <<EOF
$product|$exe
$product Help|$help_file
Uninstall $product|Uninstall.exe
EOF
check_eq "the Run value starts the installed program" "$(reg_data "$run_key" "$product")" "\"$win_exe\""
# name | type | data
while IFS='|' read -r name type data; do
  check_eq "Uninstall key: $name" "$(reg_line "$uninstall_key" "$name")" "$type	$data"
done <<EOF
DisplayName|REG_SZ|$product
DisplayVersion|REG_SZ|$version
Publisher|REG_SZ|$company
DisplayIcon|REG_SZ|$win_exe,0
UninstallString|REG_SZ|"$win_uninstaller"
QuietUninstallString|REG_SZ|"$win_uninstaller" /S
InstallLocation|REG_SZ|$win_install_dir
NoModify|REG_DWORD|0x1
NoRepair|REG_DWORD|0x1
EOF
check_eq "Uninstall key: EstimatedSize is a DWORD" "$(reg_type "$uninstall_key" EstimatedSize)" REG_DWORD
estimated=$(($(reg_data "$uninstall_key" EstimatedSize)))
actual_kb=$(($(cat "$install_dir"/* | wc -c) / 1024))
check "Uninstall key: EstimatedSize $estimated KB is the installed size ($actual_kb KB)" \
  test $((estimated - actual_kb)) -ge -4 -a $((estimated - actual_kb)) -le 4
check "the installer writes no settings of its own" key_missing "$settings_key"
check "a silent first install starts nothing" probe no-process "$exe" 0

# === 2. The installed program: help and exit ===
echo "# the installed program"
# An address and the security notice already seen, so that nothing holds start-up with a question.
# name | value (the last four differ from what the program would write on its own)
settings_table="EventEmailAddress|pager@example.test
SecurityWarning|True
Reminder|1
Organizer|1
CategoryText|Installer test
Comments|1"
while IFS='|' read -r name value; do reg_set "$settings_key" "$name" "$value"; done <<<"$settings_table"

open_help_viewer
close_help_viewer

start_installed
ok "the installed program starts from $win_install_dir"
check "it starts without a message box" no_message_box
check "Help Contents is sent to it" probe post "$window_class" "$window_title" "$help_contents_command"
check "its Help Contents opens the help viewer on $help_file" \
  quiet probe find "$help_window_class" "$help_window_title" 30
check "no message box says the help file cannot be opened" no_message_box
probe close "$help_window_class" "*" 10 >/dev/null
check "the help viewer closes" probe no-process hh.exe 15
check "the program exits when its window is sent the Exit command" \
  probe ask-exit "$window_class" "$window_title" "$exit_command" 30
check "and its process ends" ended "$app_job" 10
check "no copy of $exe is left running" probe no-process "$exe" 10

# === 3. Upgrade over an older version, with the program running ===
echo "# upgrade over an older version while the program runs"
# The text an earlier build wrote: its parts carry no leading zeros where this version's do.
reg_set "$uninstall_key" DisplayVersion 1.1.0.1
echo "an older help file" >"$install_dir/$help_file"
start_installed
old_pid=$app_pid
wine "$setup" /S
status=$?
check_eq "the upgrade ends with 0" "$status" 0
check "the running copy has ended" ended "$app_job" 5
check "$help_file is replaced" same_file "$install_dir/$help_file" "$built_help"
check "$exe is in place, as built" same_file "$install_dir/$exe" "$built_exe"
check_eq "the Uninstall key shows the new version" "$(reg_data "$uninstall_key" DisplayVersion)" "$version"
check_eq "the Run value stays" "$(reg_data "$run_key" "$product")" "\"$win_exe\""
new_pid=$(probe find "$window_class" "$window_title" 30 | tr -d '\r')
check "the upgrade started the program again" test -n "$new_pid" -a "$new_pid" != "$old_pid"
while IFS='|' read -r name value; do
  check_eq "the setting $name is kept" "$(reg_data "$settings_key" "$name")" "$value"
done <<<"$settings_table"
check "the new copy exits when asked" probe ask-exit "$window_class" "$window_title" "$exit_command" 30
check "no copy of $exe is left running" probe no-process "$exe" 10

# === 4. Installs that must not go ahead ===
echo "# refused installs"
touch -d '2001-01-01 00:00' "$install_dir/$help_file"
stamp() { stat -c %Y "$install_dir/$help_file"; }
old_stamp=$(stamp)

reg_set "$uninstall_key" DisplayVersion 99.0.0.0
wine "$setup" /S
status=$?
check "over a newer version the silent install gives up with an error ($status)" test "$status" != 0
check_eq "and leaves the newer version's entry" "$(reg_data "$uninstall_key" DisplayVersion)" 99.0.0.0
check_eq "and the files" "$(stamp)" "$old_stamp"
reg_set "$uninstall_key" DisplayVersion "$version"

# A copy that never answers the Exit command.
probe hold "$window_class" "$window_title" 120 >/dev/null 2>&1 &
holder=$!
background_pids+=("$holder")
probe find "$window_class" "$window_title" 10 >/dev/null || die "the stand-in for a stuck copy shows no window"
wine "$setup" /S
status=$?
check "with a copy that does not exit the silent install gives up with an error ($status)" test "$status" != 0
check "the stuck copy is left running, not killed" quiet probe find "$window_class" "$window_title" 0
check_eq "the files are left as they were" "$(stamp)" "$old_stamp"
probe close "$window_class" "$window_title" 10 >/dev/null
wait "$holder" 2>/dev/null

# The help viewer holds the help file open: it could be neither replaced nor removed.
open_help_viewer
wine "$setup" /S
status=$?
check "while the help viewer has the help file open the silent install gives up ($status)" test "$status" != 0
check_eq "the files are left as they were" "$(stamp)" "$old_stamp"
wine "$win_uninstaller" /S
quiet probe no-process Un.exe 60
check "and so does the silent uninstall: the files stay" same_file "$install_dir/$exe" "$built_exe"
check "the Uninstall key stays" key_exists "$uninstall_key"
close_help_viewer

# === 5. Reinstalling keeps the choice about starting at sign-in ===
echo "# reinstall after the start at sign-in was turned off"
wine reg delete "$run_key" /v "$product" /f >/dev/null 2>&1
wine "$setup" /S
status=$?
check_eq "the reinstall ends with 0" "$status" 0
check "no Run value is written again" test -z "$(reg_line "$run_key" "$product")"
check "$help_file is written again" test "$(stamp)" != "$old_stamp"
check "a silent install that stopped no copy starts none" probe no-process "$exe" 0

# === 6. Silent uninstall, with the program running ===
echo "# silent uninstall while the program runs"
reg_set "$run_key" "$product" "\"$win_exe\""  # as a first install with the option ticked leaves it
start_installed
wine "$win_uninstaller" /S
status=$?
check_eq "the silent uninstall ends with 0" "$status" 0
# The uninstaller runs on from a temporary copy of itself: wait for it.
check "the uninstaller finishes" probe no-process Un.exe 60
check "the running copy was asked to exit" ended "$app_job" 10
check "no installed file is left" install_dir_gone
check "no shortcut is left" test ! -e "$menu_dir"
check "no Run value is left" test -z "$(reg_line "$run_key" "$product")"
check "no Uninstall key is left" key_missing "$uninstall_key"
while IFS='|' read -r name value; do
  check_eq "the setting $name is kept" "$(reg_data "$settings_key" "$name")" "$value"
done <<<"$settings_table"

# === 7. Through the pages: install and start now, uninstall and remove the settings ===
echo "# install and uninstall through their pages"
wine "$setup" >/dev/null 2>&1 &
setup_job=$!
background_pids+=("$setup_job")
# Next, Next, Install, then Finish with "Start now" left ticked, as its default is.
check "the installer's pages lead to its end" press_until 90 ended "$setup_job" 0
check "Finish with \"Start $product now\" ticked starts the program" \
  quiet probe find "$window_class" "$window_title" 30
wine "$win_uninstaller" >/dev/null 2>&1 &
background_pids+=("$!")
# Uninstall, then the question about the settings.
check "the uninstaller's page leads to its question" press_until 60 quiet probe box-text "*" 0
question=$(probe box-text "*" 0 | tr -d '\r')
check "it asks whether to remove the settings" grep -q "settings" <<<"$question"
check_eq "the answer Enter gives is No" "$(sed -n 's/^default=//p' <<<"$question")" 7
check "the answer Yes is given" probe box-answer "*" 6
check "the uninstaller closes" press_until 60 quiet probe no-process Un.exe 0
check "the running copy was asked to exit" probe no-process "$exe" 10
check "no installed file is left" install_dir_gone
check "no Uninstall key is left" key_missing "$uninstall_key"
check "the settings are removed" key_missing "$settings_key"

# === 8. Signing ===
echo "# signing"
# signature_of <file>: osslsigncode's verdict on the file's signature against the throwaway
# certificate, as "<digest algorithm> <verification>"; fails when it has none that verifies.
signature_of() {
  local report
  report=$(osslsigncode verify -CAfile "$work/cert.pem" -in "$1" 2>&1)
  local status=$?
  printf '%s %s\n' "$(sed -n 's/^Message digest algorithm *: *//p' <<<"$report" | head -n1)" \
    "$(sed -n 's/^Signature verification: *//p' <<<"$report")"
  return $status
}
check_signed() {
  local verdict
  verdict=$(signature_of "$2")
  check_eq "$1 is signed (SHA-256) and the signature verifies" "$verdict" "SHA256 ok"
}
unsigned() { grep -q '^No signature found' <<<"$(osslsigncode verify -in "$1" 2>&1)"; }
if [ "$this_tree_signs" = unsigned ]; then
  check "this build, without a certificate, leaves $exe unsigned" unsigned "$built_exe"
  check "and its setup" unsigned "$setup"
fi

signed_tree="$build/signed"
signed_log="$work/signed-build.log"
signed_setup="$signed_tree/$(basename "$setup")"
password=$(openssl rand -hex 16)
export HV_SIGN_PASSWORD=$password  # read by openssl below and by the signed build only
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=$product test signing" \
  -addext "extendedKeyUsage=codeSigning" -keyout "$work/key.pem" -out "$work/cert.pem" >/dev/null 2>&1 &&
  openssl pkcs12 -export -inkey "$work/key.pem" -in "$work/cert.pem" -passout env:HV_SIGN_PASSWORD \
    -out "$work/cert.pfx" || die "openssl made no certificate"
rm -f "$signed_setup" "$signed_tree/$exe"
# Without the password at configure time: the build reads it from its environment.
env -u HV_SIGN_PASSWORD "$cmake" -G "$generator" -C "$signed_cache" -S "$src" -B "$signed_tree" \
  -DHV_SIGN_PFX="$work/cert.pfx" >"$signed_log" 2>&1
check "the signed build is configured" grep -q "^-- Code signing: on with $work/cert.pfx (SHA-256" "$signed_log"
"$cmake" --build "$signed_tree" --target hv_installer -j2 --verbose >>"$signed_log" 2>&1 ||
  { tail -n 30 "$signed_log"; die "the signed build failed"; }
unset HV_SIGN_PASSWORD
ok "the signed build makes $(basename "$setup")"
check_signed "its $exe" "$signed_tree/$exe"
check_signed "its setup" "$signed_setup"
check "the password is in no file of the signed build, nor in its log" \
  test -z "$(grep -r -l -F "$password" "$signed_tree" "$signed_log")"

wine "$signed_setup" /S
status=$?
check_eq "the signed setup installs silently (its integrity check passes)" "$status" 0
check "the signed $exe is installed" same_file "$install_dir/$exe" "$signed_tree/$exe"
check_signed "the uninstaller it writes" "$install_dir/Uninstall.exe"
wine "$win_uninstaller" /S
status=$?
check_eq "the signed uninstaller ends with 0" "$status" 0
check "and finishes" probe no-process Un.exe 60
check "no installed file is left" install_dir_gone
check "no Uninstall key is left" key_missing "$uninstall_key"

echo "# $failures failed"
[ "$failures" = 0 ]
