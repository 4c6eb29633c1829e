#!/usr/bin/env bash
# vantorel-cast broadcasts a generated file and vantorel-listen receives it; then the same to a
# multicast group, and through one chosen interface of two. Everything runs in a private network
# namespace made for this test alone (the extra cables too): the script re-executes itself
# through in-private-netns.sh and refuses to broadcast anywhere else.
#   cast_listen_test.sh NETNS_SCRIPT CAST LISTEN MEDIA_DIR
set -euo pipefail
if [[ $# -ne 4 ]]; then
  echo "usage: cast_listen_test.sh NETNS_SCRIPT CAST LISTEN MEDIA_DIR" >&2
  exit 2
fi
netns=$1 cast=$2 listen=$3 media=$4
# The namespace script marks the process it hands over to with its own pid; a marker inherited
# from elsewhere never matches this process.
if [[ ${VANTOREL_NETNS_INSIDE:-} != "$$-inside" ]]; then
  exec "$netns" "$0" "$@"
fi

source "$(dirname "$netns")/wait.sh"
work=$(mktemp -d)
# Identities, trusted senders and counters of the test alone, never the user's.
export XDG_CONFIG_HOME=$work/config XDG_STATE_HOME=$work/state
listener=
helpers=()
cleanup() {
  [[ -n $listener ]] && kill "$listener" 2>/dev/null || true
  for p in "${helpers[@]}"; do kill "$p" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "FAIL: $*" >&2
  for f in "$work"/*; do
    [[ -f $f ]] || continue
    echo "--- $f" >&2
    tail -n 20 "$f" >&2
  done
  exit 1
}

"$listen" --seconds 40 >"$work/listen.out" 2>"$work/listen.err" &
listener=$!
wait_for_line "$work/listen.err" '^vantorel-listen: listening' 10 || fail "vantorel-listen not ready"

# 1. A 3-second file is sent in real time, then the broadcast ends.
start=$(date +%s%N)
/usr/bin/time -f "cpu user=%U system=%S" -o "$work/cast.time" \
  "$cast" "$media/mpeg1-av.mpg" 2>"$work/cast.err" || fail "vantorel-cast failed"
elapsed_ms=$((($(date +%s%N) - start) / 1000000))
echo "mpeg1-av.mpg: ${elapsed_ms} ms, $(cat "$work/cast.time")"
((elapsed_ms >= 2500)) || fail "a 3-second file took only ${elapsed_ms} ms: not paced"
grep -q '^position=.*messages=[1-9].*datagrams=[1-9].*bytes=[1-9]' "$work/cast.err" ||
  fail "no progress line"

# 2. Looping until SIGTERM, which still ends the broadcast properly.
"$cast" --loop "$media/tone.wav" 2>"$work/loop.err" &
looper=$!
# Long enough for the 3-second file to start over.
sleep 4.5
kill -TERM "$looper"
wait "$looper" || fail "vantorel-cast --loop did not exit cleanly on SIGTERM"
grep -q '^position=' "$work/loop.err" || fail "no progress line while looping"
# Ctrl+C ends the broadcast the same way, and the exit status says it was interrupted.
"$cast" --loop "$media/tone.wav" 2>"$work/interrupted.err" &
looper=$!
wait_for_line "$work/interrupted.err" '^vantorel-cast: broadcasting' 10 || fail "cast not started"
kill -INT "$looper"
status=0
wait "$looper" || status=$?
((status == 130)) || fail "vantorel-cast ended with $status after Ctrl+C, not 130"

# 3. The command-line conventions: --help and --version answer on stdout; a bad option or
# value is named on stderr and exits 2.
for tool in "$cast" "$listen"; do
  "$tool" --help | grep -q '^usage: ' || fail "$tool --help"
  "$tool" -h | grep -q '^usage: ' || fail "$tool -h"
  [[ $("$tool" --version) == "$(basename "$tool") 1.0" ]] || fail "$tool --version"
  [[ $("$tool" -V) == "$(basename "$tool") 1.0" ]] || fail "$tool -V"
  status=0
  "$tool" --frobnicate 2>"$work/bad.err" || status=$?
  ((status == 2)) && grep -q "^$(basename "$tool"): unknown option --frobnicate" "$work/bad.err" ||
    fail "$tool accepted an unknown option ($status)"
done
# refused TOOL OPTION VALUE: the tool exits with 2 and names the option and the value.
refused() {
  local tool=$1 option=$2 value=$3 status=0
  "$tool" "$option" "$value" "$media/tone.wav" 2>"$work/bad.err" || status=$?
  ((status == 2)) && grep -q "^$(basename "$tool"): bad value for $option: $value" "$work/bad.err" ||
    fail "$(basename "$tool") $option $value: status $status, $(cat "$work/bad.err")"
}
refused "$cast" --port 70000
refused "$cast" --ttl 0
refused "$cast" --ttl 256
refused "$cast" --dest 239.1.2
refused "$cast" --interface vantorel-none0
refused "$cast" --fec 101
refused "$cast" --fec -1
refused "$listen" --group 10.77.0.1
refused "$listen" --group 240.0.0.1
refused "$listen" --interface vantorel-none0
refused "$listen" --port 0
status=0
"$listen" --count -1 2>"$work/bad.err" || status=$?
((status == 2)) && grep -q 'bad value for --count' "$work/bad.err" || fail "a negative count passed"
# usage_error TOOL MESSAGE ARGS...: the tool exits with 2 and says MESSAGE.
usage_error() {
  local tool=$1 message=$2 status=0
  shift 2
  "$tool" "$@" 2>"$work/bad.err" || status=$?
  ((status == 2)) && grep -qF "$(basename "$tool"): $message" "$work/bad.err" ||
    fail "$(basename "$tool") $*: status $status, $(cat "$work/bad.err")"
}
# --option=value is read as the option and its value; a flag takes none.
usage_error "$cast" "bad value for --port: 70000" --port=70000 "$media/tone.wav"
usage_error "$cast" "--loop takes no value" --loop=1 "$media/tone.wav"
usage_error "$listen" "--play takes no value" --play=1
# A value that starts with "--" is another option, unless given after '='.
usage_error "$listen" "--group needs a value" --group --port 5000
usage_error "$listen" "bad value for --group: --port" --group=--port
usage_error "$cast" "--camera needs a device" --camera --port 5000
# An option is spelled in full: a prefix of one is unknown, with or without a value.
usage_error "$cast" "unknown option --nam" --nam x
usage_error "$listen" "unknown option --gro" --gro=239.1.2.3
# An optional value follows as a word of its own, never one that starts with '-'.
usage_error "$cast" "--microphone takes no value" --microphone=-x
usage_error "$cast" "a live source and files exclude each other: $media/tone.wav" \
  --microphone test "$media/tone.wav"
# --help is never taken as a value.
"$listen" --group --help | grep -q '^usage: ' || fail "--group took --help as its value"
# After "--" come file names only.
usage_error "$listen" "unexpected argument x" -- x
status=0
"$cast" -- -h 2>"$work/dashed.err" || status=$?
((status == 1)) && grep -q '^vantorel-cast: -h does not exist' "$work/dashed.err" ||
  fail "a file named -h after -- was not taken as a file ($status)"
# A destination may be a host name; one that does not resolve is named. Names with characters
# no host name has are refused without a lookup.
usage_error "$cast" "bad value for --dest: no!such!host (unknown host)" --dest no!such!host \
  "$media/tone.wav"
"$cast" --dest=localhost --show-identity >/dev/null 2>"$work/bad.err" ||
  fail "--dest=localhost refused: $(cat "$work/bad.err")"

# 4. A file that is not media is refused.
echo "not media" >"$work/not-media.txt"
if "$cast" "$work/not-media.txt" 2>"$work/refused.err"; then fail "a text file was accepted"; fi
grep -q "^vantorel-cast: $work/not-media.txt: Does not support this file type.$" \
  "$work/refused.err" || fail "no refusal message with its reason"
# VP9 plays, but no media type on the wire carries it; nothing prints a bare result code.
if "$cast" "$media/vp9-video.webm" 2>"$work/vp9.err"; then fail "a VP9 file was broadcast"; fi
grep -q "vp9-video.webm: This codec cannot be broadcast: VP9.$" "$work/vp9.err" ||
  fail "the VP9 codec was not named"
if grep -q '0x[0-9a-f]\{8\}' "$work/refused.err" "$work/vp9.err"; then
  fail "a bare result code was printed"
fi
# A FIFO would block the open for good: it is refused with the reason, before any reading.
mkfifo "$work/pipe.mpg"
if "$cast" "$work/pipe.mpg" 2>"$work/fifo.err"; then fail "a FIFO was accepted"; fi
grep -q "pipe.mpg is a FIFO (named pipe), not a regular file" "$work/fifo.err" ||
  fail "no reason given for refusing the FIFO"

wait_for_line "$work/listen.out" '^end-of-broadcast' 5 2 || true
kill -INT "$listener"
wait "$listener" || true
listener=

out=$work/listen.out
grep -q 'kind=10 flags=3 records=2' "$out" || fail "no description of both streams"
grep -q 'kind=14' "$out" || fail "no video sample"
grep -q 'kind=24' "$out" || fail "no audio sample"
grep -q 'kind=16' "$out" || fail "no video segment start"
[[ $(grep -c '^end-of-broadcast' "$out") -ge 2 ]] || fail "end of broadcast not seen twice"
grep -Eq 'delivered=[1-9][0-9]* dropped=0' "$out" || fail "messages dropped or none delivered"
echo "PASS: $(grep -c '^message=' "$out") messages received"

# 4. Pictures of about 19 MB each (noise at full JPEG quality) exceed the 2^24 bytes a sample
# message can carry. With nothing else to send the broadcast fails; beside a sound track it goes
# on with a warning.
huge_video="videotestsrc num-buffers=2 pattern=snow
  ! video/x-raw,width=4096,height=3072,framerate=2/1 ! jpegenc quality=100 ! queue ! avimux name=m"
timeout 60 gst-launch-1.0 -q $huge_video ! filesink location="$work/.huge.avi" >/dev/null ||
  fail "cannot make huge.avi"
if "$cast" "$work/.huge.avi" 2>"$work/huge.err"; then fail "sending nothing exited with 0"; fi
too_large="samples were larger than the 16 MiB a message can carry"
grep -Eq "no sample could be sent: [1-9][0-9]* $too_large" "$work/huge.err" ||
  fail "no reason given for sending nothing"
timeout 60 gst-launch-1.0 -q $huge_video ! filesink location="$work/.huge-tone.avi" \
  audiotestsrc num-buffers=44 samplesperbuffer=1024 ! audio/x-raw,rate=44100,channels=1 \
  ! queue ! m. >/dev/null || fail "cannot make huge-tone.avi"
"$cast" "$work/.huge-tone.avi" 2>"$work/huge-tone.err" || fail "the sound was not broadcast"
grep -Eq "warning: [1-9][0-9]* of [0-9]+ $too_large" "$work/huge-tone.err" ||
  fail "no warning about the pictures left out"
echo "PASS: pictures too large for a message refused"

# 5. Multicast: a listener that joined the group hears the cast, one on the same port that did
# not join hears nothing of it, and the datagrams carry the hop limit asked for.
group=239.255.59.37
# start_listener NAME ARGS...: a vantorel-listen in the background ($started), once it listens.
start_listener() {
  local name=$1
  shift
  "$listen" --seconds 60 "$@" >"$work/$name.out" 2>"$work/$name.err" &
  started=$!
  helpers+=("$started")
  wait_for_line "$work/$name.err" '^vantorel-listen: listening' 10 || fail "$name not ready"
}
# stop_listener PID: Ctrl+C; the wake-up reaches the socket, so it ends at once and not after
# the 3 s the stop waits for a lost wake-up.
stop_listener() {
  local start=$(date +%s%N) status=0
  kill -INT "$1"
  wait "$1" || status=$?
  ((status == 130)) || fail "listener ended with $status"
  local ms=$((($(date +%s%N) - start) / 1000000))
  ((ms < 1500)) || fail "listener took $ms ms to stop: its wake-up was lost"
}
# The hop limit of one datagram to the group, as received.
python3 - "$group" 5938 >"$work/ttl.out" 2>&1 <<'PY' &
import socket, struct, sys
s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
s.bind(("", int(sys.argv[2])))
s.setsockopt(socket.IPPROTO_IP, socket.IP_ADD_MEMBERSHIP,
             socket.inet_aton(sys.argv[1]) + socket.inet_aton("0.0.0.0"))
s.setsockopt(socket.IPPROTO_IP, getattr(socket, "IP_RECVTTL", 12), 1)
print("ready", flush=True)
_, ancillary, _, _ = s.recvmsg(2048, 64)
for level, kind, data in ancillary:
    if level == socket.IPPROTO_IP and kind == getattr(socket, "IP_TTL", 2):
        print("ttl=%d" % struct.unpack("i", data)[0], flush=True)
PY
helpers+=($!)
wait_for_line "$work/ttl.out" '^ready' 10 || fail "the hop-limit probe is not ready"
start_listener grouped --port 5938 --group "$group"
grouped=$started
start_listener plain --port 5938
plain=$started
"$cast" --port 5938 --dest "$group" --ttl 3 "$media/tone.wav" 2>"$work/multicast.err" ||
  fail "the multicast cast failed"
wait_for_line "$work/grouped.out" '^end-of-broadcast' 5 || fail "no end of the multicast broadcast"
wait_for_line "$work/ttl.out" '^ttl=' 5 || fail "the hop-limit probe got nothing"
grep -qx 'ttl=3' "$work/ttl.out" || fail "multicast sent with $(grep '^ttl' "$work/ttl.out"), not 3"
stop_listener "$grouped"
stop_listener "$plain"
grep -Eq '^delivered=[1-9][0-9]* dropped=[0-9]+ lost-fragment=0 ' "$work/grouped.out" ||
  fail "the group's listener received nothing whole: $(tail -n1 "$work/grouped.out")"
grep -q '^delivered=0 dropped=0 ' "$work/plain.out" ||
  fail "a listener outside the group heard it: $(tail -n1 "$work/plain.out")"
echo "PASS: multicast to $group ($(grep -c '^message=' "$work/grouped.out") messages, ttl 3)"

# 6. The interface: two more cables (veth pairs) in this namespace. A cast through one of them
# leaves by that cable only; a listener on one hears only what arrives there. Besides the
# hundreds of datagrams of a cast, a cable may carry a few packets of its own (the group
# join's reports), so the other cable must stay under a handful.
for cable in vcA vcB; do
  ip link add "${cable}0" type veth peer name "${cable}1"
  for end in 0 1; do echo 1 >"/proc/sys/net/ipv6/conf/${cable}${end}/disable_ipv6"; done
done
ip addr add 10.79.1.1/24 dev vcA0
ip addr add 10.79.2.1/24 dev vcB0
for link in vcA0 vcA1 vcB0 vcB1; do ip link set "$link" up; done
# sent_packets LINK: the packets LINK has sent (this namespace's own counters).
sent_packets() { sed 's/:/ /' /proc/net/dev | awk -v link="$1" '$1 == link {print $11}'; }
# cast_through NAME ARGS...: casts the tone through the options given; sets $on_a and $on_b to
# the packets each cable carried meanwhile and $datagrams to what the cast reports it sent. A
# cable counts a segmented send as one packet: up to 44 datagrams of a message leave as one.
cast_through() {
  local name=$1 a b
  shift
  a=$(sent_packets vcA0) b=$(sent_packets vcB0)
  "$cast" --port 5939 "$@" "$media/tone.wav" 2>"$work/$name.err" || fail "$name failed"
  on_a=$(($(sent_packets vcA0) - a)) on_b=$(($(sent_packets vcB0) - b))
  datagrams=$(grep -o 'datagrams=[0-9]*' "$work/$name.err" | tail -n1 | cut -d= -f2)
  echo "$name: ${datagrams:-?} datagrams reported, vcA0 sent $on_a, vcB0 sent $on_b"
}
start_listener on-a --port 5939 --interface vcA0
on_a_listener=$started
start_listener on-b --port 5939 --interface vcB0 --group "$group"
on_b_listener=$started
cast_through broadcast-a --interface vcA0
((on_a * 44 >= datagrams && datagrams > 100 && on_b < 5)) ||
  fail "the broadcast did not keep to vcA0"
cast_through multicast-b --dest "$group" --interface vcB0
((on_b * 44 >= datagrams && datagrams > 100 && on_a < 5)) ||
  fail "the multicast did not keep to vcB0"
stop_listener "$on_a_listener"
stop_listener "$on_b_listener"
# Each listener heard the one cast that went out of its cable (one broadcast: its message
# numbers start from 0 once), and nothing of the other.
for name in on-a on-b; do
  [[ $(grep -c '^message=0 ' "$work/$name.out") -eq 1 ]] ||
    fail "$name did not hear exactly one broadcast"
  grep -Eq '^delivered=[1-9][0-9]* ' "$work/$name.out" || fail "$name received nothing"
done
echo "PASS: the chosen interface carries the broadcast and the multicast"

# 7. A listener on an interface that is deleted and added back resumes by itself: the socket
# bound to the old interface would hear nothing, so the listener binds and joins again.
make_cable() {
  ip link add vcC0 type veth peer name vcC1
  for end in 0 1; do echo 1 >"/proc/sys/net/ipv6/conf/vcC${end}/disable_ipv6"; done
  ip addr add 10.79.3.1/24 dev vcC0
  ip link set vcC0 up
  ip link set vcC1 up
}
make_cable
start_listener on-c --port 5939 --interface vcC0 --group "$group"
on_c_listener=$started
cast_through before-c --interface vcC0
ip link del vcC0
sleep 1
make_cable
# The listener looks at its interface every 2 s.
sleep 3
cast_through after-c --dest "$group" --interface vcC0
stop_listener "$on_c_listener"
[[ $(grep -c '^message=0 ' "$work/on-c.out") -eq 2 ]] ||
  fail "the listener did not hear both broadcasts around the interface's return"
echo "PASS: a listener whose interface came back hears the next broadcast"
