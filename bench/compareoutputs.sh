#!/usr/bin/env bash
# Runs every kwn-frame command over a generated corpus with two binaries, an
# older one and a newer one, and compares what each prints (standard output,
# standard error, exit status) and the files it writes. A change that should
# leave every output as it was is checked this way before it lands.
#
#   bench/compareoutputs.sh OLD_KWN_FRAME NEW_KWN_FRAME [XML_DIR]
#
# Prints one line per difference and a total; exits 1 when any differ.
# Commands on a serial port are left to the tests, which make their own
# pseudo-terminals.
set -uo pipefail
old=$(readlink -f "$1")
new=$(readlink -f "$2")
root=$(cd "$(dirname "$0")/.." && pwd)
xml=$(readlink -f "${3:-$root/xml}")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
mkdir -p corpus out/old out/new

runs=0
differ=0
# run NAME ARGS...: runs both binaries with ARGS (in corpus/, input from
# corpus/stdin.NAME when it exists) and compares their outputs.
run() {
  local name=$1; shift
  runs=$((runs + 1))
  for side in old new; do
    local bin=$old; [ $side = new ] && bin=$new
    local input=/dev/null; [ -f "corpus/stdin.$name" ] && input=$work/corpus/stdin.$name
    rm -rf "out/$side/files"; mkdir -p "out/$side/files"
    (cd "out/$side/files" && "$bin" "$@" <"$input" >"../$name.out" 2>"../$name.err"; echo $? >"../$name.rc")
    if [ -n "${timed:-}" ]; then
      # Times read off the clock: a capture becomes a log, then every time goes.
      for f in "out/$side/files"/*.pcap; do
        [ -f "$f" ] && "$old" convert "$f" "$f.log" >/dev/null 2>&1 && rm "$f"
      done
      sed -i -E 's/[0-9]{4}-[0-9]{2}-[0-9]{2}T[0-9:.]+Z/TIME/g' "out/$side/$name".{out,err} out/$side/files/* 2>/dev/null
    fi
  done
  if ! cmp -s "out/old/$name.out" "out/new/$name.out" || ! cmp -s "out/old/$name.err" "out/new/$name.err" ||
     ! cmp -s "out/old/$name.rc" "out/new/$name.rc" || ! diff -r -q out/old/files out/new/files >/dev/null; then
    differ=$((differ + 1))
    echo "DIFFERS: $name: kwn-frame $*"
    diff <(cat "out/old/$name".{out,err,rc}) <(cat "out/new/$name".{out,err,rc}) | head -5
  fi
}

# --- The corpus ----------------------------------------------------------------
# Frames: one of every message of every device, encoded by the older binary
# with default values and with each addressing, then damaged copies of them.
"$old" list devices --xml "$xml" | awk -F'\t' 'NF {print $1}' >corpus/devices
: >corpus/frames
while read -r device; do
  "$old" list messages "$device" --xml "$xml" 2>/dev/null | grep -v '^[[:space:]]' >corpus/messages.$$ || true
  while read -r message; do
    for how in "" "--group 5" "--broadcast" "--ack --source 3A0C51 --destination 00B0F1"; do
      # shellcheck disable=SC2086
      "$old" encode --device "$device" --message "$message" $how --format "##" --xml "$xml" 2>/dev/null |
        head -1 >>corpus/frames || true
    done
  done <corpus/messages.$$
done <corpus/devices
rm -f corpus/messages.$$
grep -v '^$' corpus/frames | sort -u >corpus/frames.u && mv corpus/frames.u corpus/frames
cat "$root/tests/data/cli/decode/frames.log" >>corpus/frames
# Damaged: the last byte changed (checksum), a byte cut, noise text.
awk '{ b = substr($0, length($0) - 1); n = (b == "00") ? "01" : "00";
       print substr($0, 1, length($0) - 2) n; print substr($0, 1, length($0) - 2);
       print "zz" $0 }' corpus/frames >corpus/damaged
cat corpus/frames corpus/damaged >corpus/stdin.decode-all

# A log: every frame a few ms apart, RX and TX, a noise line and a remark.
awk 'BEGIN { t = 1796633400000 }
     { ms = t + NR * 7; s = int(ms / 1000); f = ms % 1000;
       cmd = "date -u -d @" s " +%Y-%m-%dT%H:%M:%S"; cmd | getline d; close(cmd);
       printf "%s.%03dZ %s %s\n", d, f, (NR % 5 ? "RX" : "TX"), $0;
       if (NR % 17 == 0) printf "# %s.%03dZ noise: 01 02 03\n", d, f }' corpus/frames >corpus/bus.log
printf '%s\n' "not a log line" "2026-13-40T99:00:00.000Z RX F0" >>corpus/mixed.log
cat corpus/bus.log >>corpus/mixed.log

# --- The commands --------------------------------------------------------------
run help --help
run version --version
run none
run unknown frobnicate
for c in decode encode list check monitor send stats replay convert dissector; do
  run "help-$c" "$c" --help
done
run list-devices list devices --xml "$xml"
while read -r device; do
  run "revisions-$device" list revisions "$device" --xml "$xml"
  run "messages-$device" list messages "$device" --xml "$xml"
done <corpus/devices
run list-unknown list messages NoSuchDevice --xml "$xml"
run check check --xml "$xml"
for dir in "$root"/tests/data/catalogue/*/; do
  run "check-$(basename "$dir")" check --xml "$dir"
  run "list-$(basename "$dir")" list devices --xml "$dir"
done

n=0
while read -r device; do
  "$old" list messages "$device" --xml "$xml" 2>/dev/null | grep -v '^[[:space:]]' >corpus/m
  while read -r message; do
    n=$((n + 1))
    run "encode-$n" encode --device "$device" --message "$message" --xml "$xml"
    run "encode-$n-group" encode --device "$device" --message "$message" --group 7 --format "0x##," --xml "$xml"
    run "encode-$n-strict" encode --device "$device" --message "$message" --broadcast --strict --xml "$xml"
  done <corpus/m
done <corpus/devices
run encode-bad encode --device NoSuch --message X --xml "$xml"
run encode-badvalue encode --device "$(head -1 corpus/devices)" --message "$(head -1 corpus/m)" Nope=1 --xml "$xml"

for style in "" --single-line --json --csv; do
  cp corpus/stdin.decode-all "corpus/stdin.decode$style"
  run "decode$style" decode $style --xml "$xml"
  run "decode-input-log$style" decode $style --input "$work/corpus/mixed.log" --xml "$xml"
done
run decode-args decode "$(head -1 corpus/frames)" "$(head -1 corpus/damaged)" --xml "$xml"
run decode-missing decode --input "$work/corpus/no-such.log" --xml "$xml"

for json in "" --json; do
  run "stats$json" stats $json "$work/corpus/bus.log" --xml "$xml"
  run "stats-mixed$json" stats $json "$work/corpus/mixed.log" --baud 19200 --parity even --xml "$xml"
  run "stats-max$json" stats $json --max-nodes 2 "$work/corpus/bus.log" --xml "$xml"
done
run stats-badbaud stats --baud 7 "$work/corpus/bus.log" --xml "$xml"

run convert-pcap convert "$work/corpus/bus.log" bus.pcap
"$old" convert corpus/bus.log corpus/bus.pcap >/dev/null 2>&1
run convert-back convert "$work/corpus/bus.pcap" back.log
run convert-mixed convert "$work/corpus/mixed.log" mixed.pcap
run decode-input-pcap decode --json --input "$work/corpus/bus.pcap" --xml "$xml"
run stats-pcap stats --json "$work/corpus/bus.pcap" --xml "$xml"

# A raw capture of the line: frames with noise between them.
: >corpus/raw.bin
while read -r hex; do
  printf '%s' "$hex" | xxd -r -p >>corpus/raw.bin
  printf '\x01\x02' >>corpus/raw.bin
done < <(head -200 corpus/frames)
# Times are the clock's when the bytes were read: compared without them.
for style in "" --single-line --json "--precise --json"; do
  timed=1 run "monitor-input$style" monitor $style --input "$work/corpus/raw.bin" --pcap raw.pcap --xml "$xml"
done

run dissector dissector -o kwn.lua --xml "$xml"
run dissector-stdout dissector --xml "$xml"

echo "$runs runs, $differ differ"
[ "$differ" -eq 0 ]
