#!/usr/bin/env bash
# A listener that waits before the broadcast loses nothing while it builds its playback:
# vantorel-cast sends an H.264 clip whose only key frame is its first (one every 10 s) to
# vantorel-listen --play on 127.0.0.1, inside a private network namespace that the script makes
# itself. The listener must show the clip from that first picture on, nearly every picture the
# cast played, and lose no message.
#   build_loss_test.sh PROGRAM_FOLDER MEDIA_FOLDER
set -euo pipefail
source "$(dirname "$0")/in_namespace.sh"

VANTOREL_TIMING_LOG=$work/receive.log "$out/vantorel-listen" --play --port 6001 \
  > "$work/listen.out" 2> "$work/listen.err" &
listener=$!
wait_for_line "$work/listen.err" '^vantorel-listen: listening' 10 || fail "no listener"
VANTOREL_TIMING_LOG=$work/send.log "$out/vantorel-cast" --port 6001 --dest 127.0.0.1 \
  "$media/h264-keyint10.mp4" 2> "$work/cast.err" || fail "the cast failed"
wait_for_line "$work/listen.out" '^end-of-broadcast' 5 || fail "no end of broadcast"
kill -INT "$listener"
status=0
wait "$listener" || status=$?
((status == 130)) || fail "the listener failed ($status)"

video=$(grep '^stream=video ' "$work/listen.out") || fail "no video stream: $(tail -n3 "$work/listen.out")"
totals=$(tail -n1 "$work/listen.out")
decoded=$(field decoded "$video")
unsynchronised=$(field unsynchronised "$video")
lost=$(field lost-messages "$totals")
sent=$(grep -c ' kind=14 ' "$work/listen.out" || true)
# At the end of the file the cast pauses just before the end, and its key-unit seek there sends
# every picture from the last key frame on once more, in a burst. The pictures that count are
# the ones the cast played in time (its timing log), joined on their wire start.
read -r played shown first_played first_shown < <(awk '
  FNR == 1 { file++ }
  /^present .*stream=video/ {
    start = $5; sub(/^start=/, "", start)
    if (file == 1) { played[start] = 1; n++; if (first == "") first = start }
    else { if (start in played) shown++; if (seen == "") seen = start }
  }
  END { print n + 0, shown + 0, first == "" ? -1 : first, seen == "" ? -1 : seen }
' "$work/send.log" "$work/receive.log")
echo "video: the cast played $played pictures and sent $sent video samples; the listener" \
  "decoded $decoded and showed $shown of those played; unsynchronised=$unsynchronised" \
  "lost-messages=$lost"

((played > 0)) || fail "the cast played no picture"
((lost == 0)) || fail "messages were lost on loopback: $totals"
((first_shown >= 0 && first_shown <= first_played)) ||
  fail "the first picture shown ($first_shown) is not the clip's first ($first_played)"
((shown * 100 >= played * 90)) || fail "only $shown of the $played pictures played were shown"
((decoded * 100 >= played * 90)) || fail "only $decoded pictures decoded of $played played"
((unsynchronised * 20 <= played)) || fail "$unsynchronised pictures waited for a key frame"
echo "PASS"
