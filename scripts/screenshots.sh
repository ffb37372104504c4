#!/usr/bin/env bash
# Takes the README's pictures of the Encode, Decode and Bus pages: starts the
# built tool on the bundled catalogue in a virtual display, drives it with
# xdotool as a user would, and saves the window into docs/. Then the Encode and
# Decode pages on screens of 144 and 192 dpi, where the window must come up
# scaled by 1.5 and by 2, sharp and with no text cut: docs/encode-page-144dpi.png
# and so on. For the Bus page a pseudo-terminal pair made with socat stands for
# the bus, and kwn-frame send plays the devices on its other end.
# Needs: xvfb, xdotool, x11-utils (xprop), imagemagick (import), socat (and
# wireshark for its pictures, installed here when missing), and a
# build in BUILD_DIR (default build; BUILD_DIR=build-qt6 takes the Qt 6 build).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
app=${BUILD_DIR:-$root/build}/kwn-frame-builder
cli=${BUILD_DIR:-$root/build}/kwn-frame
[ -x "$app" ] && [ -x "$cli" ] || { echo "Build the tool first (bash scripts/build.sh)." >&2; exit 1; }
for tool in Xvfb xdotool xprop import socat; do
  command -v "$tool" >/dev/null || { echo "$tool is needed (apt-get install xvfb xdotool x11-utils imagemagick socat)." >&2; exit 1; }
done
cd "$root"

# The bus: two linked pseudo-terminals, one for the tool, one for the devices.
work=$(mktemp -d)
socat pty,raw,echo=0,link="$work/app" pty,raw,echo=0,link="$work/dev" &
socat_pid=$!
# The Bus page remembers its port; a settings file of its own points it at the bus.
mkdir -p "$work/home/.config/Quorvex"
printf '[bus]\nport=%s\nbaudRate=9600\n' "$work/app" > "$work/home/.config/Quorvex/KWN Frame Builder.conf"

xvfb=
app_pid=
stop() {
  [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null && wait "$app_pid" 2>/dev/null || true
  [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null && wait "$xvfb" 2>/dev/null || true
  app_pid= xvfb=
}
trap 'stop; kill "$socat_pid" 2>/dev/null || true; rm -rf "$work"' EXIT

# The shown window whose title matches: toolkits make small helper windows
# of the same name.
bigWindow() {
  local w
  for _ in $(seq 100); do
    for w in $(xdotool search --name "$1" 2>/dev/null); do
      eval "$(xdotool getwindowgeometry --shell "$w")"
      [ "$WIDTH" -gt 100 ] && { echo "$w"; return; }
    done
    sleep 0.2
  done
}

# shoot DPI SUFFIX [bus]: both pages on a screen of DPI dots per inch, saved as
# docs/encode-page$SUFFIX.png and docs/decode-page$SUFFIX.png; with "bus" also
# the Bus page with a few nodes talking and one frame picked, as
# docs/bus-page$SUFFIX.png, its Latest view as docs/bus-latest$SUFFIX.png, the
# Nodes tab, a plot and the Replies tab as docs/bus-nodes, bus-plot and
# bus-replies$SUFFIX.png.
shoot() {
  local dpi=$1 suffix=$2 bus=${3:-}
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

  # Each resolution starts from the seeded settings, not from what the last
  # run left (the columns shown, the splitter's place).
  rm -rf "$work/home$dpi" && cp -r "$work/home" "$work/home$dpi"
  HOME=$work/home$dpi XDG_CONFIG_HOME=$work/home$dpi/.config "$app" &
  app_pid=$!
  local window width height
  window=$(bigWindow "KWN Frame Builder")
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

  if [ -n "$bus" ]; then
    # Bus page: connected, a few nodes talking, one burst of line noise.
    xdotool mousemove --window "$window" $(at 80 311) click 1   # "Bus"
    sleep 0.5
    xdotool mousemove --window "$window" $(at 660 32) click 1   # "Connect"
    sleep 0.5
    send() { "$cli" send --port "$work/dev" "$@" >/dev/null; sleep 0.15; }
    send --device "QX-Drive 40" --message "Get Motor Status" --destination 3A0C51
    send "F0 EF DF AE F3 C5 FE FF FF FD FA FD 0D FF 0C 20"
    send --device "QX-Drive 40" --message "Move To Position" --destination 3A0C51
    send --device "Lumen Relay" --message "Switch Channel" --destination 00B207
    printf '\x00\xff\x13' > "$work/dev"; sleep 0.3
    # A status reply the line mangled: its checksum fails, and the list says so.
    printf '\xf0\xef\xdf\xae\xf3\xc5\xfe\xff\xff\xfd\xfa\xfd\x0d\xff\x0c\x21' > "$work/dev"; sleep 0.15
    send --device "Lumen Relay" --message "Get Channel State" --broadcast
    send --device "Aerivent Sensor" --message "Get Node Info" --destination 1C0040
    send --device "QX-Drive 40" --message "Jog" --group 000003
    send "F0 EF DF AE F3 C5 FE FF FF FD FA FD 0D FF 0C 20"
    sleep 0.5
    # A frame picked: the detail pane shows it in full.
    xdotool mousemove --window "$window" $(at 600 226) click 1
    sleep 0.5
    import -window "$window" "docs/bus-page$suffix.png"
    # The Latest view: one row per source and message.
    xdotool mousemove --window "$window" $(at 347 119) click 1
    sleep 0.5
    xdotool mousemove --window "$window" $(at 600 218) click 1
    sleep 0.5
    import -window "$window" "docs/bus-latest$suffix.png"
    # The Nodes tab, after a controller jogged the drive for a while.
    xdotool mousemove --window "$window" $(at 347 119) click 1   # back to every frame
    for i in $(seq 0 23); do
      send --device "QX-Drive 40" --message "Jog" --source 00A001 --destination 3A0C51 \
        "Pulses=$(awk -v i="$i" 'BEGIN { printf "%d", 1000 + 800 * sin(i / 3) }')" "Direction=$((i / 6 % 2))"
    done
    sleep 0.5
    # (The tab bar lets the first click after the list's go by; a second one
    # on the tab it shows does nothing.)
    xdotool mousemove --window "$window" $(at 302 392)   # "Nodes"
    for _ in 1 2; do
      sleep 0.5
      xdotool click 1
    done
    sleep 0.5
    import -window "$window" "docs/bus-nodes$suffix.png"
    # A plot of a Jog row's Pulses (the menu's last entry), then its Direction
    # added to the same chart (Add to plot > Direction > the chart).
    xdotool mousemove --window "$window" $(at 470 262) click 3
    sleep 0.5
    xdotool key Up Return
    local plot
    plot=$(bigWindow "^Plot 1: ")
    # No window manager places it: moved to the screen's right edge, off the
    # list it would cover.
    eval "$(xdotool getwindowgeometry --shell "$plot")"
    xdotool windowmove "$plot" $((15 * dpi - WIDTH)) 0
    sleep 0.5
    xdotool mousemove --window "$window" $(at 470 262) click 3
    sleep 0.5
    xdotool key Up Right
    sleep 0.3
    xdotool key Right
    sleep 0.3
    xdotool key Return
    sleep 1
    import -window "$plot" "docs/bus-plot$suffix.png"
    # The Replies tab, after the drive answered a few status requests, its
    # last one late (past the second the page waits), among the Jogs and
    # the questions no one answered.
    for delay in 0.02 0.05 0.03 1.2; do
      send --device "QX-Drive 40" --message "Get Motor Status" --destination 3A0C51
      sleep "$delay"
      send "F0 EF DF AE F3 C5 FE FF FF FD FA FD 0D FF 0C 20"
    done
    sleep 1.5
    # The plot goes (it would cover the window), the tab is chosen, and the
    # window grows so that the table shows whole.
    xdotool windowunmap "$plot"
    xdotool mousemove --window "$window" $(at 352 392)   # "Replies"
    for _ in 1 2; do
      sleep 0.5
      xdotool click 1
    done
    xdotool windowsize "$window" $(at 1100 760)
    sleep 1
    # The Reply column, the header menu's last entry, shown.
    xdotool mousemove --window "$window" $(at 300 177) click 3
    sleep 0.5
    xdotool key Up Return
    sleep 0.5
    # The splitter under the list dragged up: the table's rows show.
    xdotool mousemove --window "$window" $(at 636 533) mousedown 1
    sleep 0.2
    xdotool mousemove --window "$window" $(at 636 450)
    sleep 0.2
    xdotool mousemove --window "$window" $(at 636 400)
    sleep 0.2
    xdotool mouseup 1
    sleep 0.5
    import -window "$window" "docs/bus-replies$suffix.png"
  fi
  stop
}

# Wireshark's window, installed here when it is missing and this is root
# (the tests need tshark alone).
need_wireshark() {
  command -v wireshark >/dev/null && return
  if [ "$(id -u)" = 0 ] && command -v apt-get >/dev/null; then
    DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends wireshark >/dev/null || true
  fi
  command -v wireshark >/dev/null || { echo "wireshark is not installed: $1 not taken"; return 1; }
}

# A capture of the sample bus in Wireshark's own window, decoded by the
# dissector made from the catalogue (needs the wireshark package).
shoot_wireshark() {
  need_wireshark docs/wireshark.png || return 0
  local display=:$((90 + RANDOM % 100))
  Xvfb "$display" -screen 0 1200x800x24 -dpi 96 -nolisten tcp -noreset &
  xvfb=$!
  export DISPLAY=$display
  sleep 1
  local t=0 frame
  : > "$work/bus.log"
  log() { printf '2026-12-07T09:14:%06.3fZ %s %s\n' "$t" "$1" "$2" >> "$work/bus.log"; t=$(awk -v t="$t" 'BEGIN { print t + 0.137 }'); }
  encoded() { "$cli" encode --format "##" "$@"; }
  log TX "$(encoded --device "QX-Drive 40" --message "Get Motor Status" --destination 3A0C51)"
  log RX F0EFDFAEF3C5FEFFFFFDFAFD0DFF0C20
  log TX "$(encoded --device "QX-Drive 40" --message "Move To Position" --destination 3A0C51 Position=75)"
  log TX "$(encoded --device "Lumen Relay" --message "Switch Channel" --destination 00B207)"
  printf '# 2026-12-07T09:14:%06.3fZ noise: 00FF13\n' "$t" >> "$work/bus.log"; t=$(awk -v t="$t" 'BEGIN { print t + 0.05 }')
  log TX "$(encoded --device "Aerivent Sensor" --message "Get Node Info" --destination 1C0040)"
  log TX "$(encoded --device "QX-Drive 40" --message "Jog" --group 000003 Pulses=250)"
  log RX F0EFDFAEF3C5FEFFFFFDFAFD0DFF0C20
  "$cli" convert "$work/bus.log" "$work/bus.pcap"
  "$cli" dissector -o "$work/kwn.lua"
  mkdir -p "$work/wireshark-home"
  HOME=$work/wireshark-home XDG_CONFIG_HOME=$work/wireshark-home/.config \
    wireshark -X "lua_script:$work/kwn.lua" -r "$work/bus.pcap" >/dev/null 2>&1 &
  app_pid=$!
  local window
  window=$(bigWindow "bus.pcap")
  xdotool windowsize "$window" 1000 640
  sleep 2
  xdotool mousemove --window "$window" 300 130 click 1     # the drive's status reply
  sleep 0.5
  xdotool mousemove --window "$window" 150 378 click 1     # its KWN tree
  xdotool key shift+Right                                  # opened whole
  sleep 0.5
  import -window "$window" docs/wireshark.png
  stop
}

# Wireshark capturing live from the bus through kwn-extcap, linked with the
# dissector into a home of its own by kwn-frame dissector --install, its
# toolbar opened and a frame sent from it (TX); the devices play on the far
# end of the pseudo-terminal pair.
shoot_wireshark_live() {
  need_wireshark docs/wireshark-live.png || return 0
  local display=:$((90 + RANDOM % 100))
  Xvfb "$display" -screen 0 1200x800x24 -dpi 96 -nolisten tcp -noreset &
  xvfb=$!
  export DISPLAY=$display
  sleep 1
  local home=$work/wireshark-live-home
  mkdir -p "$home/.config"
  HOME=$home XDG_CONFIG_HOME=$home/.config "$cli" dissector --install >/dev/null
  HOME=$home XDG_CONFIG_HOME=$home/.config \
    wireshark -i kwn -o "extcap.kwn.portpath:$work/app" -k >/dev/null 2>&1 &
  app_pid=$!
  local window
  window=$(bigWindow "kwn")
  xdotool windowsize "$window" 1000 640
  sleep 3
  send() { "$cli" send --port "$work/dev" "$@" >/dev/null; sleep 0.3; }
  send "F0 EF DF AE F3 C5 FE FF FF FD FA FD 0D FF 0C 20"
  printf '\x00\xff\x13' > "$work/dev"; sleep 0.3                 # line noise
  send --device "Lumen Relay" --message "Switch Channel" --destination 00B207
  send "F0 EF DF AE F3 C5 FE FF FF FD FA FD 0D FF 0C 20"
  # View > Interface Toolbars > KWN Frame Builder
  xdotool mousemove --window "$window" 96 9 click 1
  sleep 0.7
  xdotool key Down Down Down Down
  sleep 0.3
  xdotool key Right
  sleep 0.5
  xdotool key Return
  sleep 1
  xdotool mousemove --window "$window" 480 103 click 1            # Frame
  xdotool type --delay 5 "$("$cli" encode --format "##" --device "QX-Drive 40" --message "Get Motor Status" --destination 3A0C51)"
  xdotool key Return
  sleep 0.5
  xdotool mousemove --window "$window" 860 103 click 1            # Send
  sleep 1.5
  xdotool mousemove --window "$window" 300 206 click 1            # the frame sent
  sleep 0.5
  xdotool mousemove --window "$window" 150 394 click 1            # its KWN tree
  xdotool key shift+Right                                         # opened whole
  sleep 0.5
  import -window "$window" docs/wireshark-live.png
  stop
}

# bash scripts/screenshots.sh NAME... takes only those (shoot, wireshark,
# wireshark_live); all of them by default.
if [ $# -gt 0 ]; then
  for name in "$@"; do
    case $name in
      shoot) shoot 96 "" bus ;;
      wireshark|wireshark_live) "shoot_$name" ;;
      *) echo "no picture $name" >&2; exit 2 ;;
    esac
  done
  exit 0
fi
shoot 96 "" bus
shoot 144 -144dpi
shoot 192 -192dpi bus
shoot_wireshark
shoot_wireshark_live
echo "Wrote docs/encode-page.png, docs/decode-page.png, docs/bus-page.png, docs/bus-latest.png," \
  "docs/bus-nodes.png, docs/bus-plot.png and docs/bus-replies.png, all at 192 dpi too, the first two at 144 dpi," \
  "docs/wireshark.png and docs/wireshark-live.png"
