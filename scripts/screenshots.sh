#!/usr/bin/env bash
# Takes the README's pictures of the Encode and Decode pages: starts the built
# tool on the bundled catalogue in a virtual display, drives it with xdotool
# as a user would, and saves the window into docs/. Then the same on screens of
# 144 and 192 dpi, where the window must come up scaled by 1.5 and by 2, sharp
# and with no text cut: docs/encode-page-144dpi.png and so on.
# Needs: xvfb, xdotool, x11-utils (xprop), imagemagick (import), and a build in
# BUILD_DIR (default build; BUILD_DIR=build-qt6 takes the Qt 6 build).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
app=${BUILD_DIR:-$root/build}/kwn-frame-builder
[ -x "$app" ] || { echo "Build the tool first (bash scripts/build.sh)." >&2; exit 1; }
for tool in Xvfb xdotool xprop import; do
  command -v "$tool" >/dev/null || { echo "$tool is needed (apt-get install xvfb xdotool x11-utils imagemagick)." >&2; exit 1; }
done
cd "$root"

xvfb=
app_pid=
stop() {
  [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null && wait "$app_pid" 2>/dev/null || true
  [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null && wait "$xvfb" 2>/dev/null || true
  app_pid= xvfb=
}
trap stop EXIT

# shoot DPI SUFFIX: both pages on a screen of DPI dots per inch, saved as
# docs/encode-page$SUFFIX.png and docs/decode-page$SUFFIX.png.
shoot() {
  local dpi=$1 suffix=$2
  local display=:$((90 + RANDOM % 100))
  # 15 x 10 inches, so the screen's size in millimetres is whole and the
  # resolution Qt 5 works out from it is exactly DPI.
  Xvfb "$display" -screen 0 "$((15 * dpi))x$((10 * dpi))x24" -dpi "$dpi" -nolisten tcp -noreset &
  xvfb=$!
  export DISPLAY=$display
  sleep 1
  # The font resolution a desktop sets for such a screen; Qt 6 scales by it.
  # (-noreset above keeps it: the server would forget it when xprop leaves.)
  xprop -root -format RESOURCE_MANAGER 8s -set RESOURCE_MANAGER "Xft.dpi:	$dpi"

  "$app" &
  app_pid=$!
  local window width height
  window=$(xdotool search --sync --name "KWN Frame Builder")
  sleep 1
  eval "$(xdotool getwindowgeometry --shell "$window")"
  width=$WIDTH height=$HEIGHT
  echo "$dpi dpi: window of $width x $height pixels"
  # Positions below are in the window's 740 x 600 logical pixels.
  at() { echo "$(($1 * width / 740)) $(($2 * height / 600))"; }

  # Encode page: the first device's first message with its parameters.
  import -window "$window" "docs/encode-page$suffix.png"

  # Decode page: a status reply of the drive, typed into the input field.
  xdotool mousemove --window "$window" $(at 80 222) click 1   # "Decode"
  sleep 0.5
  xdotool mousemove --window "$window" $(at 450 32) click 1   # the input field
  xdotool type --delay 5 "F0 EF DF AE F3 C5 FE FF FF FD FA FD 0D FF 0C 20"
  sleep 0.5
  import -window "$window" "docs/decode-page$suffix.png"
  stop
}

shoot 96 ""
shoot 144 -144dpi
shoot 192 -192dpi
echo "Wrote docs/encode-page.png and docs/decode-page.png, and the same at 144 and 192 dpi"
