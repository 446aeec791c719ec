#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, when any is missing. Idempotent: a
# machine that has them all is left alone and no package list is fetched.
set -euo pipefail

packages=(
  cmake make git clang-format-14
  g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix binutils-mingw-w64-x86-64 binutils-mingw-w64-i686
  googletest libfaketime
  wine64 wine fonts-wine xvfb xdotool x11-utils imagemagick
  fp-utils libchm-bin nsis osslsigncode openssl
  python3 python3-icalendar python3-recurring-ical-events unicode-cldr-core
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
if ! $sudo apt-get install -y -q --no-install-recommends "${missing[@]}" >/tmp/horavane-apt.log 2>&1; then
  $sudo apt-get update -q >>/tmp/horavane-apt.log 2>&1
  $sudo apt-get install -y -q --no-install-recommends "${missing[@]}" >>/tmp/horavane-apt.log 2>&1 || {
    tail -n 30 /tmp/horavane-apt.log
    exit 1
  }
fi
