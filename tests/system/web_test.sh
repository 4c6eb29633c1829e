#!/usr/bin/env bash
# vantorel-web end to end, inside a private network namespace that the script makes itself:
# vantorel-cast broadcasts a clip, vantorel-web receives it and serves its page on the
# namespace's address, and a headless Chromium (web_browser.py) watches it over WebRTC:
#   - before any broadcast the page says it waits; once the clip is on the air the picture plays
#     (ICE on 10.77.0.1), and "playing" shows no text;
#   - a viewer that leaves is removed: the server counts no viewer afterwards;
#   - a page left open while vantorel-web restarts connects again by itself and plays again;
#   - past --max-viewers the page shows why it cannot play and keeps trying;
#   - MJPEG, which no browser takes over WebRTC, plays too: it is decoded and encoded again, as
#     the totals vantorel-web prints at exit say (transcoded=, the encoder's frames in and out).
#   web_test.sh PROGRAM_FOLDER MEDIA_FOLDER
set -euo pipefail
source "$(dirname "$0")/in_namespace.sh"
source "$here/web_common.sh"
[[ -x $out/vantorel-web ]] || fail "vantorel-web is not built"
[[ -f $out/web/index.html ]] || fail "the page files are not beside the programs"
web_args=(--http-port "$port")
browser=("$here/web_browser.py")

# viewers_are N: the server counts N viewers now.
viewers_are() { [[ $(status_field viewers) == "$1" ]]; }
# view NAME ARGS...: web_browser.py on the page; its JSON line in NAME.json.
view() {
  local name=$1
  shift
  "${browser[@]}" "$page" "$@" >"$work/$name.json" 2>"$work/$name.err" ||
    fail "$name: $(cat "$work/$name.json")"
  echo "$name: $(cat "$work/$name.json")"
}

# --- Before any broadcast: the page is served and says that it waits.
web server
curl -fsS --max-time 2 "$page" | grep -q '<video id="video" muted autoplay playsinline>' ||
  fail "the page is not served"
[[ $(status_field state) == waiting ]] || fail "not waiting before the broadcast"
view waiting --expect-state waiting --expect-text "Waiting for a broadcast" --seconds 1 \
  --timeout 15 --screenshot "$work/waiting.png"

# --- A clip on the air: it plays in the browser, over the namespace's address.
timeout -k 5 120 "$out/vantorel-cast" --unsigned --loop "$media/mpeg1-av.mpg" \
  >"$work/cast.out" 2>"$work/cast.err" &
cast_pid=$!
wait_for_line "$work/cast.err" '^vantorel-cast: broadcasting' 15 || fail "cast: not broadcasting"
view playing --expect-play --expect-state playing --seconds 5 --timeout 40 \
  --screenshot "$work/playing.png"
python3 - "$work/playing.json" "$address" <<'EOF' || fail "no frame presented, or ICE not on $address"
import json, sys
report = json.load(open(sys.argv[1]))
local = (report.get("ice") or {}).get("local") or {}
sys.exit(0 if report["firstFrameAt"] is not None and report["frameLog"] > 0
         and local.get("address") == sys.argv[2] else 1)
EOF
# The viewer left with its page: the server dropped it.
wait_until 5 viewers_are 0 || fail "the viewer that left is still counted"

# --- vantorel-web restarts under an open page: the page connects again and plays again.
"${browser[@]}" "$page" --expect-play --expect-reconnects 1 --seconds 3 --timeout 60 \
  >"$work/restart.json" 2>"$work/restart.err" &
restart_pid=$!
wait_until 30 viewers_are 1 || fail "the open page did not connect"
stop server
web server
wait "$restart_pid" || fail "the page did not play again after the restart: $(cat "$work/restart.json")"
echo "restart: $(cat "$work/restart.json")"

# --- Past --max-viewers: the refusal's sentence shows, the page keeps trying.
stop server
web full --max-viewers 1
"${browser[@]}" "$page" --expect-play --seconds 20 --timeout 40 >"$work/first.json" 2>&1 &
first_pid=$!
wait_until 30 viewers_are 1 || fail "the first viewer did not connect"
# The refusal's sentence.
view full --expect-text "already serves" --expect-reconnects 2 --seconds 1 --timeout 20 \
  --screenshot "$work/full.png"
wait "$first_pid" || fail "the first viewer stopped playing: $(cat "$work/first.json")"
stop full
kill -INT "$cast_pid"
wait "$cast_pid" || true

# --- A clip that is not H.264 plays through the encoder.
timeout -k 5 120 "$out/vantorel-cast" --unsigned --loop "$media/mjpeg-pcm.avi" \
  >"$work/mjpeg-cast.out" 2>"$work/mjpeg-cast.err" &
cast_pid=$!
wait_for_line "$work/mjpeg-cast.err" '^vantorel-cast: broadcasting' 15 ||
  fail "mjpeg cast: not broadcasting"
web mjpeg
view mjpeg --expect-play --seconds 2 --timeout 40 --screenshot "$work/mjpeg.png"
stop mjpeg
totals=$(grep '^vantorel-web: viewers=' "$work/mjpeg.out") || fail "mjpeg: no totals at exit"
echo "mjpeg: $totals"
(($(field transcoded "$totals") >= 1 && $(field passed-through "$totals") == 0)) ||
  fail "mjpeg: the picture was not encoded again"
# Encoded pictures go out as pictures, not as sound.
(($(field encoder-out "$totals") > 0 && $(field video-in "$totals") > 0)) ||
  fail "mjpeg: no encoded picture went out"
kill -INT "$cast_pid"
wait "$cast_pid" || true
echo "PASS"
