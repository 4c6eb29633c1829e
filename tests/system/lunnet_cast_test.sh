#!/usr/bin/env bash
# Lunnet as a person sees it: on a virtual X server inside a private network namespace,
# vantorel-cast broadcasts a generated clip and Lunnet's window must show the video; when the
# cast ends (end of broadcast) the picture goes and the next cast plays; SIGTERM closes Lunnet.
#   lunnet_cast_test.sh PROGRAM_FOLDER MEDIA_FOLDER [SCREENSHOT_FOLDER]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
out=$(cd "$1" && pwd)
media=$(cd "$2" && pwd)
shots=${3:-}
if [[ ${VANTOREL_NETNS_INSIDE:-} != "$$-inside" ]]; then
  exec "$here/../../scripts/in-private-netns.sh" bash "$0" "$out" "$media" "$shots"
fi
if [[ -z ${VANTOREL_LUNNET_TEST_X:-} ]]; then
  export VANTOREL_LUNNET_TEST_X=1
  exec env -u QT_QPA_PLATFORM xvfb-run -a -s "-screen 0 800x600x24" bash "$0" "$out" "$media" "$shots"
fi

work=$(mktemp -d)
# Identities, trusted senders and counters of the test alone, never the user's.
export XDG_CONFIG_HOME=$work/config XDG_STATE_HOME=$work/state
lunnet= cast=
cleanup() {
  for pid in $cast $lunnet; do kill -TERM "$pid" 2>/dev/null || true; done
  [[ -n $shots ]] || rm -rf "$work"
}
trap cleanup EXIT
if [[ -n $shots ]]; then
  mkdir -p "$shots"
  work=$(cd "$shots" && pwd)
fi
fail() { echo "FAIL: $*" >&2; echo "--- lunnet said:" >&2; cat "$work/lunnet.log" >&2; exit 1; }
source "$here/../../scripts/wait.sh"

# Lunnet stands at the top-left corner: its video area is 390 x 234 pixels from (8, 8). Only
# near-white pixels count as picture: the status line's text over the video is light grey.
bright_pixels() {
  import -window root "$work/$1.png"
  convert "$work/$1.png" -crop 390x234+8+8 +repage -colorspace Gray -threshold 94% \
    -format '%[fx:int(mean*w*h+0.5)]' info:
}
# picture_moves NAME: two screenshots of the video area a moment apart both show a picture,
# and they differ.
picture_moves() {
  local shot differing
  for shot in a b; do
    import -window root -crop 390x234+8+8 +repage "$work/$1-$shot.png"
    (($(convert "$work/$1-$shot.png" -colorspace Gray -threshold 94% \
      -format '%[fx:int(mean*w*h+0.5)]' info:) > 100)) || return 1
    [[ $shot == b ]] || sleep 0.3
  done
  for shot in a b; do
    convert "$work/$1-$shot.png" -colorspace Gray -threshold 94% "$work/$1-$shot-picture.png"
  done
  differing=$(compare -metric AE "$work/$1-a-picture.png" "$work/$1-b-picture.png" null: 2>&1) ||
    true
  ((${differing%%[^0-9]*} > 100))
}
# wait_for NAME TEST SECONDS: screenshots until TEST (an arithmetic test on $n) holds.
wait_for() {
  local name=$1 test=$2 tries=$(($3 * 2)) n
  for ((i = 0; i < tries; ++i)); do
    n=$(bright_pixels "$name")
    if (($test)); then return 0; fi
    sleep 0.5
  done
  return 1
}

# The windowed programs answer --help and --version without a display.
for program in lunnet strovan; do
  env -u DISPLAY QT_QPA_PLATFORM=xcb "$out/$program" --help | grep -q "^usage: $program" ||
    fail "$program --help"
  [[ $(env -u DISPLAY "$out/$program" --version) == "$program 1.0" ]] || fail "$program --version"
  env -u DISPLAY QT_QPA_PLATFORM=xcb "$out/$program" -h | grep -q "^usage: $program" ||
    fail "$program -h"
  [[ $(env -u DISPLAY "$out/$program" -V) == "$program 1.0" ]] || fail "$program -V"
done
# Their own options are checked before any display is needed: a bad value is named, status 2.
for bad in "strovan --ttl 0" "strovan --fec 101" "strovan --interface vantorel-none0" \
  "strovan --dest 239.1.2" "lunnet --group 10.0.0.1" "lunnet --interface vantorel-none0" \
  "lunnet --port 70000"; do
  read -r program option value <<<"$bad"
  status=0
  env -u DISPLAY "$out/$program" "$option" "$value" 2>"$work/bad.err" || status=$?
  ((status == 2)) && grep -q "^$program: bad value for $option: $value" "$work/bad.err" ||
    fail "$bad: status $status, $(cat "$work/bad.err")"
done
status=0
env -u DISPLAY "$out/lunnet" --frobnicate 2>"$work/bad.err" || status=$?
((status == 2)) && grep -q "^lunnet: unknown option --frobnicate" "$work/bad.err" ||
  fail "lunnet accepted an unknown option"
# --option=value, and "--" before what Lunnet does not take: a file.
for bad in "strovan|bad value for --fec: 101|--fec=101" "lunnet|--group needs a value|--group" \
  "lunnet|unexpected argument x|-- x" "strovan|--unsigned takes no value|--unsigned=yes" \
  "lunnet|bad value for --screen: x|--screen x" "lunnet|--fullscreen takes no value|--fullscreen=1" \
  "lunnet|--prefer needs a value|--prefer" "strovan|--name needs a value|--name=" \
  "lunnet|unknown option --full|--full" "strovan|unknown option --na|--na=x"; do
  IFS='|' read -r program message arguments <<<"$bad"
  status=0
  # shellcheck disable=SC2086
  env -u DISPLAY "$out/$program" $arguments 2>"$work/bad.err" || status=$?
  ((status == 2)) && grep -qF "$program: $message" "$work/bad.err" ||
    fail "$program $arguments: status $status, $(cat "$work/bad.err")"
done
# The monitors are known once the toolkit runs: one that does not exist is named, status 2.
status=0
"$out/lunnet" -platform offscreen --screen 9 2>"$work/bad.err" || status=$?
((status == 2)) && grep -qF "lunnet: no screen 9 (1 screens)" "$work/bad.err" ||
  fail "lunnet --screen 9: status $status, $(cat "$work/bad.err")"
# Strovan plays several files one after another and says so; the toolkit's own options still work.
"$out/strovan" -platform offscreen --unsigned --dest 127.0.0.1 --port 5999 \
  "$media/tone.wav" "$media/mpeg1-av.mpg" 2>"$work/strovan.log" &
strovan=$!
wait_for_line "$work/strovan.log" "^strovan: playing the 2 files one after another" \
  10 || fail "strovan did not say that it plays two files: $(cat "$work/strovan.log")"
kill -TERM "$strovan"
wait "$strovan" || true

"$out/lunnet" -qwindowgeometry 406x306+0+0 2>"$work/lunnet.log" &
lunnet=$!
wait_until 10 window_shown "[Lunnet]" || fail "Lunnet showed no window"
wait_until 5 udp_port_bound 5937 || fail "Lunnet does not listen"
[[ $(bright_pixels "1-waiting") -eq 0 ]] || fail "the video area is not black before any broadcast"

echo "== a cast shows in Lunnet's video area"
"$out/vantorel-cast" --loop "$media/mpeg1-av.mpg" >"$work/cast1.log" 2>&1 &
cast=$!
wait_for 2-first-cast 'n > 100' 20 || fail "no video from the first cast"

echo "== the end of the broadcast clears the picture, the next cast plays"
kill -TERM "$cast"
wait "$cast" || true
cast=
wait_for 3-after-end 'n == 0' 10 || fail "the picture stayed after the end of the broadcast"
"$out/vantorel-cast" --loop "$media/mpeg1-av-no-b.mpg" >"$work/cast2.log" 2>&1 &
cast=$!
wait_for 4-second-cast 'n > 100' 20 || fail "no video from the next cast"
kill -TERM "$cast"
wait "$cast" || true
cast=

echo "== a sender that dies without ending its broadcast gives way to the next one"
"$out/vantorel-cast" --loop "$media/mpeg1-av.mpg" >"$work/cast3.log" 2>&1 &
cast=$!
wait_until 20 picture_moves 5-third-cast || fail "no moving video from the third cast"
kill -KILL "$cast"
wait "$cast" 2>/dev/null || true
cast=
# What was already received plays out, then the last picture stays.
picture_still() { ! picture_moves "$1" && (($(bright_pixels "$1") > 100)); }
wait_until 3 picture_still 6-frozen || fail "the last picture did not stay with its sender dead"
"$out/vantorel-cast" --loop "$media/mpeg1-av-no-b.mpg" >"$work/cast4.log" 2>&1 &
cast=$!
wait_until 10 picture_moves 7-next-sender || fail "no video from the sender after the crash"
kill -TERM "$cast"
wait "$cast" || true
cast=

echo "== SIGTERM closes Lunnet"
kill -TERM "$lunnet"
status=0
wait "$lunnet" || status=$?
lunnet=
((status == 0)) || fail "Lunnet ended with status $status"
[[ -n $shots ]] && echo "screenshots in $work"
echo "PASS"
