#!/usr/bin/env bash
# vantorel-cast broadcasts a generated file and vantorel-listen receives it. Everything runs in
# a private network namespace made for this test alone: the script re-executes itself through
# in-private-netns.sh and refuses to broadcast anywhere else.
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
listener=
cleanup() {
  [[ -n $listener ]] && kill "$listener" 2>/dev/null || true
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
  [[ $("$tool" --version) == "$(basename "$tool") 1.0" ]] || fail "$tool --version"
  status=0
  "$tool" --frobnicate 2>"$work/bad.err" || status=$?
  ((status == 2)) && grep -q "^$(basename "$tool"): unknown option --frobnicate" "$work/bad.err" ||
    fail "$tool accepted an unknown option ($status)"
done
status=0
"$cast" --port 70000 "$media/tone.wav" 2>"$work/bad.err" || status=$?
((status == 2)) && grep -q 'not a port' "$work/bad.err" || fail "a port out of range was accepted"
status=0
"$listen" --count -1 2>"$work/bad.err" || status=$?
((status == 2)) && grep -q 'bad value for --count' "$work/bad.err" || fail "a negative count passed"

# 4. A file that is not media is refused.
echo "not media" >"$work/not-media.txt"
if "$cast" "$work/not-media.txt" 2>"$work/refused.err"; then fail "a text file was accepted"; fi
grep -q "not-media.txt: Does not support this file type. It holds no stream that can be played." \
  "$work/refused.err" || fail "no refusal message with its reason"
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
