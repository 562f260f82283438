#!/usr/bin/env bash
# Screenshots of the desktop tool on the virtual ESC under Xvfb, for people to look at.
# Usage: scripts/screenshots.sh [OUTPUT_FOLDER] (default build/screenshots/xvfb)
# Needs a built tree (scripts/build.sh); installs xvfb, xdotool and imagemagick when missing.
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:-build/screenshots/xvfb}
mkdir -p "$out"
missing=()
for p in xvfb xauth xdotool imagemagick; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  $SUDO apt-get update && DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y "${missing[@]}"
fi
if [ -z "${TESSEL_IN_XVFB:-}" ]; then
  exec env TESSEL_IN_XVFB=1 xvfb-run -a -s "-screen 0 1024x768x24" "$0" "$out"
fi
shot() { import -window root -crop 680x560+0+0 "$out/$1.png"; }
click() { xdotool mousemove "$1" "$2" click "${3:-1}"; sleep 0.6; }
start() {
  build/tesselarc "$@" &
  pid=$!
  sleep 4
}
stop() { kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true; }
trap stop EXIT

start --demo
shot 01-read
# The page buttons sit along the top (information, General, Throttle, Brake, Boost, Turbo, Data).
for name in information:65 general:119 throttle:173 brake:227 boost:281 turbo:335 data:389; do
  click "${name#*:}" 100
  shot "02-${name%%:*}"
done
click 119 100
click 300 175      # the PROMODE value box opens its list
shot 03-general-profile-list
# Without a window manager the window sits at 0,0 and its page area starts here.
ox=45; oy=123
cx() { echo $(( ox + 189 + ($1 * 341 + 50) / 100 )); }  # throttle chart, curve units
cy() { echo $(( oy + 241 - $1 * 2 )); }
click 173 100                            # Throttle
click $((ox + 258)) $((oy + 237))        # THCURVE
click $((ox + 257)) $((oy + 270))        # "Custom"
click $((ox + 78)) $((oy + 295))         # RESET
for p in "12 35" "30 58" "55 72" "80 88"; do
  set -- $p
  click "$(cx "$1")" "$(cy "$2")"
done
shot 04-throttle-editor-drawn
xdotool key Escape; sleep 0.5
stop
for variant in v1 v1-bec; do
  start --demo=$variant
  shot "05-$variant-dialog"
  stop
done
# The virtual HID adapter: a full ESC read, and the LCD program box mode from the Device menu.
start --demo=hid-full
click 119 100
shot 06-hid-full-general
click 65 100
shot 06-hid-full-information
stop
start --demo=hid-lcd
xdotool mousemove 70 10 click 1; sleep 0.7    # Device
click 120 73                                  # LCD Program Box
shot 07-hid-lcd-program-box
stop
start --demo=hid-v1-bec
shot 08-hid-v1-bec-dialog
stop
echo "screenshots in $out"
