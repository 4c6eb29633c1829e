#!/usr/bin/env bash
# What a listener that waits before the broadcast loses while it builds its playback, inside a
# private network namespace: vantorel-cast sends an H.264 clip whose only key frame is its first
# (one every 10 s; 6 s with AAC sound) to vantorel-listen --play on 127.0.0.1, once as it is and
# once with the build made 500 ms slower (VANTOREL_BUILD_DELAY_MS, a slow decoder start). Both
# log their presentations (VANTOREL_TIMING_LOG). One line per run:
#  - video samples sent (sample messages the listener printed), delivered to its pin and
#    decoded, and decoded as a share of sent. At the end of the file the cast sends the pictures
#    from the last key frame on once more, in a burst (its pause just before the end seeks back
#    to a key frame): here the whole clip again, so sent is about twice the clip's pictures;
#  - played-decoded: of the pictures the cast played in time (its log), how many the listener decoded;
#  - first-picture delay: the presentation time of the first picture the listener shows less
#    the cast's presentation time of the first picture it played (both at-ns, the host's
#    monotonic clock). Shown means decoded in time: the listener's log is read through a pipe
#    that stamps each line as it is written, at decoding, and a picture decoded more than
#    20 ms after its presentation time is one the null output drops as late. The delay takes in
#    the receivers' fixed 140 ms presentation delay; a listener that shows the clip from its
#    first key frame on stays within 300 ms, one that lost it waits for the burst at the end,
#    6 s later;
#  - first-picture offset: how far that picture lies in the clip after the first picture the
#    cast played (0 or less: nothing of the start was skipped); decoded-late: pictures decoded
#    after their time before it.
#   bench/build_loss.sh [BUILD_DIR]
set -euo pipefail
# Everything below broadcasts: only ever inside a private network namespace.
source "$(dirname "$0")/in_namespace.sh"

build=${1:-$root/build}
out=$build/out
clip=$build/test-media/h264-keyint10.mp4
[[ -s $clip ]] || "$out/make-test-media" "$build/test-media" > /dev/null
field() { sed -n "s/.*[ ^]$1=\([^ ]*\).*/\1/p" <<<" $2"; }

# run NAME BUILD_DELAY_MS: one broadcast of the clip; prints its line.
run() {
  local name=$1 delay=$2
  rm -f "$work"/*
  mkfifo "$work/receive.fifo"
  python3 -c 'import sys, time
for line in iter(sys.stdin.readline, ""):
    print(line.rstrip("\n"), "decoded-ns=%d" % time.monotonic_ns(), flush=True)' \
    < "$work/receive.fifo" > "$work/receive.log" &
  local stamper=$!
  VANTOREL_BUILD_DELAY_MS=$delay VANTOREL_TIMING_LOG=$work/receive.fifo "$out/vantorel-listen" \
    --play --port 6001 > "$work/listen.out" 2> "$work/listen.err" &
  local listener=$!
  wait_for_line "$work/listen.err" '^vantorel-listen: listening' 10
  VANTOREL_TIMING_LOG=$work/send.log "$out/vantorel-cast" --port 6001 --dest 127.0.0.1 "$clip" \
    2> "$work/cast.err"
  wait_for_line "$work/listen.out" '^end-of-broadcast' 5 || true
  kill -INT "$listener"
  wait "$listener" || true
  # The listener's exit closes the pipe: the stamper ends with it.
  wait "$stamper" || true
  local video totals sent
  video=$(grep '^stream=video ' "$work/listen.out" || true)
  totals=$(tail -n1 "$work/listen.out")
  sent=$(grep -c ' kind=14 ' "$work/listen.out" || true)
  awk -v name="$name" -v sent="$sent" -v delivered="$(field delivered "$video")" \
    -v decoded="$(field decoded "$video")" -v late="$(field late "$video")" \
    -v unsync="$(field unsynchronised "$video")" -v lost="$(field lost-messages "$totals")" '
    function field(line, name,   s) { s = substr(line, index(line, name "=") + length(name) + 1)
                                     sub(/ .*/, "", s); return s }
    FNR == 1 { file++ }
    /^present .*stream=video/ {
      start = field($0, "start"); at = field($0, "at-ns")
      if (file == 1) { played[start] = 1; n++; if (sendAt == "") { sendAt = at; sendStart = start } }
      else {
        if (start in played) decodedPlayed++
        if (recvAt != "") next
        if (field($0, "decoded-ns") + 0 > at + 20e6) { lateBefore++; next }
        recvAt = at; recvStart = start
      }
    }
    END {
      first = (sendAt != "" && recvAt != "") ? sprintf("%.1f", (recvAt - sendAt) / 1e6) : "none"
      offset = (sendAt != "" && recvAt != "") ? sprintf("%.1f", (recvStart - sendStart) / 1e4) : "none"
      printf "%-16s video sent=%d delivered=%s decoded=%s (%.1f%% of sent) played-decoded=%d/%d " \
             "(%.1f%%) late=%s unsynchronised=%s lost-messages=%s first-picture-delay-ms=%s " \
             "first-picture-offset-ms=%s decoded-late=%d\n",
             name, sent, delivered, decoded, sent ? 100 * decoded / sent : 0, decodedPlayed, n,
             n ? 100 * decodedPlayed / n : 0, late, unsync, lost, first, offset, lateBefore
    }' "$work/send.log" "$work/receive.log"
}

run normal 0
run build+500ms 500
