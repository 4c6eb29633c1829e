#!/usr/bin/env bash
# Two hosts joined by a cable: vantorel-cast broadcasts in one network namespace and
# vantorel-listen --play receives, decodes and reports in another, the two joined by a veth
# pair. Both namespaces are made here: the script first re-executes itself in a fresh network
# namespace (never the real one) and makes the second one from inside it, so nothing it sends
# can reach a real interface.
#   playback_two_hosts_test.sh PROGRAM_FOLDER MEDIA_FOLDER
set -euo pipefail
if [[ $# -ne 2 ]]; then
  echo "usage: playback_two_hosts_test.sh PROGRAM_FOLDER MEDIA_FOLDER" >&2
  exit 2
fi
here=$(cd "$(dirname "$0")" && pwd)
out=$(cd "$1" && pwd)
media=$(cd "$2" && pwd)
# The marker names the process that unshare made, so an inherited variable never skips it.
if [[ ${VANTOREL_PLAYBACK_NETNS:-} != "$$-inside" ]]; then
  flags=(-n)
  [[ $(id -u) -ne 0 ]] && flags=(-r -n)
  exec unshare "${flags[@]}" bash -c 'export VANTOREL_PLAYBACK_NETNS="$$-inside"; exec "$0" "$@"' \
    "$0" "$out" "$media"
fi

only_loopback() {
  local links
  links=$("$@" ip -o link show | awk -F': ' '{print $2}' | sed 's/@.*//' | sort | tr '\n' ' ')
  [[ $links == "lo " ]]
}
# A fresh namespace holds loopback alone; anything else means this is not one.
if ! only_loopback; then
  echo "playback test: not a fresh network namespace, refusing to run" >&2
  exit 1
fi

source "$here/../../scripts/wait.sh"
work=$(mktemp -d)
# Identities, trusted senders and counters of the test alone, never the user's.
export XDG_CONFIG_HOME=$work/config XDG_STATE_HOME=$work/state
receiver_host=
listener=
cleanup() {
  [[ -n $listener ]] && kill "$listener" 2>/dev/null || true
  [[ -n $receiver_host ]] && kill "$receiver_host" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "FAIL: $*" >&2
  for f in "$work"/*; do echo "--- $f" >&2; tail -n 20 "$f" >&2; done
  exit 1
}

# The receiving host: a second network namespace, kept alive by a sleeping process.
unshare -n sleep 600 &
receiver_host=$!
in_receiver=(nsenter --net=/proc/$receiver_host/ns/net)
for _ in $(seq 50); do
  [[ $(readlink /proc/$receiver_host/ns/net) != $(readlink /proc/$$/ns/net) ]] && break
  sleep 0.02
done
only_loopback "${in_receiver[@]}" || fail "the receiving namespace is not fresh"

ip link set lo up
ip link add vtA type veth peer name vtB
ip link set vtB netns "$receiver_host"
ip addr add 10.78.0.1/24 dev vtA
ip link set vtA up
ip route add default dev vtA
"${in_receiver[@]}" ip link set lo up
"${in_receiver[@]}" ip addr add 10.78.0.2/24 dev vtB
"${in_receiver[@]}" ip link set vtB up
"${in_receiver[@]}" ip route add default dev vtB

# Every program runs under a time limit, so that a hang fails the test with the step named.
"${in_receiver[@]}" timeout -k 5 40 "$out/vantorel-listen" --play --seconds 14 \
  >"$work/listen.out" 2>"$work/listen.err" &
listener=$!
wait_for_line "$work/listen.err" '^vantorel-listen: listening' 10 || fail "vantorel-listen not ready"

timeout -k 5 30 "$out/vantorel-cast" "$media/mpeg1-av.mpg" >"$work/cast1.out" 2>&1 ||
  fail "first cast failed ($?)"
# The listener has rebuilt its reception once it reports the end of the broadcast.
wait_for_line "$work/listen.out" '^end-of-broadcast$' 5 || fail "end of the first broadcast not seen"
timeout -k 5 30 "$out/vantorel-cast" "$media/mjpeg-pcm.avi" >"$work/cast2.out" 2>&1 ||
  fail "second cast failed ($?)"
wait "$listener" || fail "vantorel-listen failed ($?)"
listener=

# field NAME LINE: the value of NAME=VALUE in a line
field() { sed -n "s/.*[ ^]$1=\([^ ]*\).*/\1/p" <<<" $2"; }

# check PATTERN: the stream line whose caps match must show decoding and nothing late. At the
# end of its file the sender rests paused just before the end and sends that picture once
# more, after a segment start and without a time; its decoder stamps it at the start of the
# flushed segment, so the output drops it as late. That one picture is allowed.
check_stream() {
  local line
  line=$(grep "^stream=.* caps=$1" "$work/listen.out" | head -n1) || true
  [[ -n $line ]] || fail "no stream line for $1"
  local delivered decoded late
  delivered=$(field delivered "$line")
  decoded=$(field decoded "$line")
  late=$(field late "$line")
  (( delivered > 0 )) || fail "$1: nothing delivered: $line"
  (( decoded * 10 >= delivered * 8 )) || fail "$1: too little decoded: $line"
  (( late <= 1 )) || fail "$1: samples dropped as late: $line"
  echo "ok: $line"
}

[[ $(grep -c '^end-of-broadcast$' "$work/listen.out") -ge 2 ]] || fail "end of broadcast not seen twice"
check_stream 'video/mpeg,mpegversion=(int)1'
check_stream 'audio/mpeg,mpegversion=(int)1'
check_stream 'image/jpeg'
check_stream 'audio/x-raw'
grep '^timing ' "$work/listen.err" || true
echo "PASS"
