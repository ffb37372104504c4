#!/usr/bin/env bash
# Takes the README's pictures of the Encode and Decode pages: starts the built
# tool on the bundled catalogue in a virtual display, drives it with xdotool
# as a user would, and saves the window into docs/.
# Needs: xvfb, xdotool, imagemagick (import), and a build in BUILD_DIR (default build).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
app=${BUILD_DIR:-$root/build}/kwn-frame-builder
[ -x "$app" ] || { echo "Build the tool first (bash scripts/build.sh)." >&2; exit 1; }
for tool in Xvfb xdotool import; do
  command -v "$tool" >/dev/null || { echo "$tool is needed (apt-get install xvfb xdotool imagemagick)." >&2; exit 1; }
done

display=:$((90 + RANDOM % 100))
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp &
xvfb=$!
trap 'kill "$app_pid" "$xvfb" 2>/dev/null || true' EXIT
export DISPLAY=$display
sleep 1

cd "$root"
"$app" &
app_pid=$!
window=$(xdotool search --sync --name "KWN Frame Builder")
sleep 1

# Encode page: a movement message with its parameters.
import -window "$window" "$root/docs/encode-page.png"

# Decode page: a status reply of the drive, typed into the input field.
xdotool mousemove --window "$window" 80 222 click 1   # "Decode"
sleep 0.5
xdotool mousemove --window "$window" 450 32 click 1   # the input field
xdotool type --delay 5 "F0 EF DF AE F3 C5 FE FF FF FD FA FD 0D FF 0C 20"
sleep 0.5
import -window "$window" "$root/docs/decode-page.png"
echo "Wrote docs/encode-page.png and docs/decode-page.png"
