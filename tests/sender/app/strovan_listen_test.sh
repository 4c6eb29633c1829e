#!/usr/bin/env bash
# The whole program: Strovan on a virtual X server plays the MPEG-1 test file from its command
# line and vantorel-listen receives it, both in a private network namespace (the demo script
# makes it). Checks the listener's report and that the screenshot shows the frame and video.
#   strovan_listen_test.sh DEMO_SCRIPT OUT_DIR MEDIA_DIR
set -euo pipefail
demo=$1 out=$2 media=$3
work=$(mktemp -d)
# Identities, trusted senders and counters of the test alone, never the user's.
export XDG_CONFIG_HOME=$work/config XDG_STATE_HOME=$work/state
trap 'rm -rf "$work"' EXIT
fail() {
  echo "FAIL: $*" >&2
  cat "$work/report" >&2
  exit 1
}

STROVAN_DEMO_SECONDS=4 STROVAN_DEMO_GEOMETRY=406x306+0+0 \
  "$demo" "$out" "$media/mpeg1-av.mpg" "$work/shot.png" >"$work/report" 2>&1 ||
  fail "the demo failed"
# The first end of broadcast makes the listener rebuild its reception; the repeats 1 ms later
# may arrive while its socket is closed, so at least one of the three must be heard.
(( $(grep -c '^end-of-broadcast$' "$work/report") >= 1 )) || fail "no end-of-broadcast datagram"
grep -Eq '^delivered=[1-9][0-9]* ' "$work/report" || fail "nothing delivered"
grep -q 'kind=14 ' "$work/report" || grep -q '^stream=video' "$work/report" || fail "no video sample"
if grep -q -- '--play' "$work/report"; then
  grep -Eq '^stream=video .* decoded=[1-9]' "$work/report" || fail "the listener decoded no video"
fi

# The frame's border is the skin's (not black); the video area holds the black test pattern
# with its light ball (or the note about a missing audio device over it).
frame=$(convert "$work/shot.png" -crop 406x8+0+0 +repage -format '%[fx:mean]' info:)
light=$(convert "$work/shot.png" -crop 390x234+8+8 +repage -format '%[fx:maxima]' info:)
dark=$(convert "$work/shot.png" -crop 390x234+8+8 +repage -format '%[fx:minima]' info:)
awk -v f="$frame" -v l="$light" -v d="$dark" 'BEGIN { exit !(f > 0.02 && l > 0.8 && d < 0.05) }' ||
  fail "screenshot: frame mean $frame, video area from $dark to $light"
echo "strovan broadcast to vantorel-listen: $(grep -E '^delivered=' "$work/report" | tail -n 1)"
