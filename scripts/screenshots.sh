#!/usr/bin/env bash
# Screenshots of the desktop tool under Xvfb, for people to look at: the status line in each
# state, every page with a list open, the progress window, the curve editors, the file and
# help dialogs, the close question, the V1 dialogs, the LCD program box, and the window at the
# desktop scale factors 1.5 and 2. (The widget tests leave a picture of every page on its grid,
# with its longest list open, in build/screenshots/layout-*.png at each scale they run at.)
# Usage: scripts/screenshots.sh [OUTPUT_FOLDER] (default build/screenshots/xvfb)
# Needs a built tree (scripts/build.sh); installs xvfb, xdotool and imagemagick when missing.
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:-build/screenshots/xvfb}
mkdir -p "$out"
out=$(cd "$out" && pwd)
missing=()
for p in xvfb xauth xdotool imagemagick; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  $SUDO apt-get update && DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y "${missing[@]}"
fi
if [ -z "${TESSEL_IN_XVFB:-}" ]; then
  # Scale 2 needs a larger screen than the rest.
  TESSEL_IN_XVFB=1 xvfb-run -a -s "-screen 0 1024x768x24" "$0" "$out"
  exec env TESSEL_IN_XVFB=2 xvfb-run -a -s "-screen 0 1440x1120x24" "$0" "$out"
fi

# Files the run reads and writes live in a folder of their own; remembered folders go to a
# settings file there, not to the user's.
work=$(mktemp -d)
export XDG_CONFIG_HOME="$work/config"
export HOME="$work"
mkdir -p "$work/Documents"

shot() { import -window root -crop "${2:-680x560}+0+0" "$out/$1.png"; }
click() { xdotool mousemove "$1" "$2" click "${3:-1}"; sleep "${4:-0.6}"; }
pid=""
start() {
  env ${TESSEL_ENV:-} "$root/build/tesselarc" "$@" &
  pid=$!
  sleep "${WAIT:-4}"
}
stop() {
  [ -n "$pid" ] && { kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true; }
  pid=""
}
trap 'stop; rm -rf "$work"' EXIT
root=$(pwd)
cd "$work"

# Without a window manager the window sits at 0,0 under its 19 px menu bar; the page area
# starts at (45, 123). Dialog units: 1.5 px across, 1.625 px down, halves rounded up.
ox=45; oy=123
px() { echo $(( (3 * $1 + 1) / 2 )); }
py() { echo $(( (13 * $1 + 4) / 8 )); }
# The centre of a page's value box given in dialog units (x y w h).
box() { click $(( ox + $(px $(( $1 * 2 + $3 ))) / 2 )) $(( oy + $(py $(( $2 * 2 + $4 ))) / 2 )); }
button() { click $(( 65 + 54 * $1 )) 100; }   # page buttons 0 (info) .. 8 (Default)
esc_key() { xdotool key Escape; sleep 0.4; }
# Without a window manager nobody gives the keyboard back to the window after a dialog: a
# click on the window's right margin does.
key() { click 650 300 1 0.3; xdotool key "$1"; sleep "${2:-1.2}"; }
menu() { click "$1" 10 1 0.7; click "$2" "$3"; }   # menu title x, item x y

if [ "$TESSEL_IN_XVFB" = 1 ]; then
  # --- the status line, state by state ---------------------------------------------------
  WAIT=3 start                       # real adapters only: there are none here
  shot 01-status-searching
  stop
  WAIT=3 start --demo=hid-lcd        # an adapter with nothing but the program box behind it
  shot 02-status-adapter-no-esc
  stop
  WAIT=0.9 start --demo
  shot 03-status-reading-progress-window 1000x560
  sleep 3
  shot 04-status-read-ok

  # --- every page, with a list open ----------------------------------------------------------
  button 1; box 135 51 82 12; shot 10-general-run-mode-list
  box 136 110 80 12; shot 11-general-heat-protect-list
  box 129 21 86 12; shot 12-general-promode-list
  esc_key
  button 2; box 132 24 80 12; shot 13-throttle-punch-list
  esc_key
  button 3; box 137 109 80 12; shot 14-brake-rate-list
  esc_key
  button 4; box 134 54 80 12; shot 15-boost-start-rpm-list
  esc_key
  button 5; box 129 51 88 12; shot 16-turbo-activation-list
  esc_key
  button 6; shot 17-data-page
  button 0; shot 18-information-page
  xdotool key Tab; sleep 0.3; shot 19-keyboard-focus-on-a-page-button

  # --- sending, read again ---------------------------------------------------------------
  button 1
  button 7 0.5                        # Apply
  shot 20-status-sending 1000x560
  sleep 3
  shot 21-status-sent-ok
  key F5 0.2
  shot 22-status-read-again-f5 1000x560
  sleep 3

  # --- curve editors ---------------------------------------------------------------------
  cx() { echo $(( ox + 189 + ($1 * 341 + 50) / 100 )); }  # throttle and brake chart
  cy() { echo $(( oy + 241 - $1 * 2 )); }
  button 2; box 132 140 80 12
  click $((ox + 257)) $((oy + 270))        # "Custom"
  shot 30-throttle-editor-as-read
  click $((ox + 78)) $((oy + 295))         # RESET
  for p in "12 35" "30 58" "55 72" "80 88"; do set -- $p; click "$(cx "$1")" "$(cy "$2")"; done
  shot 31-throttle-editor-drawn
  click $((ox + 394)) $((oy + 295))        # CANCEL: back to the curve read from the ESC
  button 2; box 132 140 80 12
  click $((ox + 257)) $((oy + 270))
  shot 32-throttle-editor-after-cancel
  esc_key
  button 3; box 137 191 80 12
  click $((ox + 257)) $((oy + 301))       # the last row's list opens above it
  shot 33-brake-editor
  esc_key
  button 4; box 134 140 80 12
  click $((ox + 257)) $((oy + 270))
  shot 34-boost-editor
  esc_key

  # --- files -----------------------------------------------------------------------------
  key ctrl+s
  shot 40-export-dialog
  xdotool type --delay 20 "race"; xdotool key Return; sleep 1
  shot 41-status-exported
  printf 'not a settings file' > "$work/Documents/broken.DATA"
  key ctrl+o
  xdotool type --delay 20 "broken.DATA"; xdotool key Return; sleep 1
  shot 42-import-error-with-reason
  xdotool key Return; sleep 0.6
  shot 43-status-import-failed
  key ctrl+o
  xdotool type --delay 20 "race.DATA"; xdotool key Return; sleep 1
  shot 44-status-imported

  # --- help, menus, closing during a send ------------------------------------------------
  key F1
  shot 50-help
  xdotool key Escape; sleep 0.5
  click 70 10 1 0.7
  shot 51-device-menu
  esc_key
  button 7 0.3                        # Apply, then close at once
  key ctrl+q 0.7
  shot 52-close-during-send-question 1000x560
  xdotool key Return; sleep 3         # Enter keeps sending
  shot 53-after-keep-sending
  stop

  # --- V1 dialogs, LCD program box -------------------------------------------------------
  start --demo=v1-bec
  shot 60-v1-bec-dialog
  click 209 157                       # Running Mode list
  shot 61-v1-bec-running-mode-open 720x560
  esc_key
  stop
  start --demo=v1
  shot 62-v1-dialog
  stop
  start --demo=hid-lcd
  menu 70 120 97    # Device › LCD Program Box
  shot 63-hid-lcd-program-box
  stop
  start --demo=hid-full
  button 1
  shot 64-hid-full-general
  stop
else
  # --- desktop scale factors -------------------------------------------------------------
  # The same logical places as above, times the factor.
  at() { click $(( $1 * $3 / 2 )) $(( $2 * $3 / 2 )); }   # x y factor*2
  TESSEL_ENV="QT_SCALE_FACTOR=1.5" start --demo
  shot 70-scale-1.5-read 1024x800
  at 119 100 3                        # General
  at 309 215 3                        # RUN MODE
  shot 71-scale-1.5-general-list 1024x800
  stop
  TESSEL_ENV="QT_SCALE_FACTOR=2" start --demo
  shot 72-scale-2-read 1400x1100
  at 173 100 4                        # Throttle
  at 303 360 4                        # THCURVE
  at 302 393 4                        # "Custom"
  at 123 418 4                        # RESET
  # Clicks at curve (30, 60) and (70, 80): the points must land under the pointer.
  at 336 244 4
  at 473 204 4
  shot 73-scale-2-throttle-editor-clicks 1400x1100
  stop
fi
echo "screenshots in $out"
