#!/usr/bin/env bash
# Takes the README's pictures of the Encode, Decode and Bus pages: starts the
# built tool on the bundled catalogue in a virtual display, drives it with
# xdotool as a user would, and saves the window into docs/. For the Bus page a
# pseudo-terminal pair made with socat stands for the bus, and kwn-frame send
# plays the devices on its other end.
# Needs: xvfb, xdotool, imagemagick (import), socat, and a build in BUILD_DIR (default build).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
app=${BUILD_DIR:-$root/build}/kwn-frame-builder
cli=${BUILD_DIR:-$root/build}/kwn-frame
[ -x "$app" ] && [ -x "$cli" ] || { echo "Build the tool first (bash scripts/build.sh)." >&2; exit 1; }
for tool in Xvfb xdotool import socat; do
  command -v "$tool" >/dev/null || { echo "$tool is needed (apt-get install xvfb xdotool imagemagick)." >&2; exit 1; }
done

display=:$((90 + RANDOM % 100))
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp &
xvfb=$!
# The bus: two linked pseudo-terminals, one for the tool, one for the devices.
work=$(mktemp -d)
socat pty,raw,echo=0,link="$work/app" pty,raw,echo=0,link="$work/dev" &
socat_pid=$!
trap 'kill "$app_pid" "$socat_pid" "$xvfb" 2>/dev/null || true; rm -rf "$work"' EXIT
export DISPLAY=$display
sleep 1

# The Bus page remembers its port; a settings file of its own points it at the bus.
mkdir -p "$work/home/.config/Quorvex"
printf '[bus]\nport=%s\nbaudRate=9600\n' "$work/app" > "$work/home/.config/Quorvex/KWN Frame Builder.conf"

cd "$root"
HOME=$work/home XDG_CONFIG_HOME=$work/home/.config "$app" &
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

# Bus page: connected, a few nodes talking, one burst of line noise.
xdotool mousemove --window "$window" 80 311 click 1   # "Bus"
sleep 0.5
xdotool mousemove --window "$window" 660 32 click 1   # "Connect"
sleep 0.5
send() { "$cli" send --port "$work/dev" "$@" >/dev/null; sleep 0.15; }
send --device "QX-Drive 40" --message "Get Motor Status" --destination 3A0C51
send "F0 EF DF AE F3 C5 FE FF FF FD FA FD 0D FF 0C 20"
send --device "QX-Drive 40" --message "Move To Position" --destination 3A0C51
send --device "Lumen Relay" --message "Switch Channel" --destination 00B207
printf '\x00\xff\x13' > "$work/dev"; sleep 0.3
send --device "Lumen Relay" --message "Get Channel State" --broadcast
send --device "Aerivent Sensor" --message "Get Node Info" --destination 1C0040
send --device "QX-Drive 40" --message "Jog" --group 000003
send "F0 EF DF AE F3 C5 FE FF FF FD FA FD 0D FF 0C 20"
sleep 0.5
import -window "$window" "$root/docs/bus-page.png"
echo "Wrote docs/encode-page.png, docs/decode-page.png and docs/bus-page.png"
