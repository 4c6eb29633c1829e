#!/usr/bin/env bash
# Live sources and lists of files with vantorel-cast, received by vantorel-listen --play, inside
# a private network namespace that the script makes itself:
#   - the screen of a virtual X server showing a moving picture, as H.264 at its size, nearly
#     every captured frame decoded, and announced as the screen;
#   - the generated camera picture and tone, both streams decoded; a real camera where the
#     machine has one;
#   - two clips with an unreadable file between them: the file is skipped and named, each clip
#     plays in a session of its own; with --loop the list starts again;
#   - devices that do not start: named, nothing sent, exit status 1; among them the screen of a
#     Wayland desktop whose session bus has no screen-cast portal, or one whose dialog the user
#     cancels (a fake portal on a bus of the test's own).
#   live_sources_test.sh PROGRAM_FOLDER MEDIA_FOLDER
set -euo pipefail
source "$(dirname "$0")/in_namespace.sh"
# The screen is the virtual X server's below, whatever desktop the tests run on.
unset XDG_SESSION_TYPE WAYLAND_DISPLAY
fail() {
  echo "FAIL: $*" >&2
  for f in "$work"/*.out "$work"/*.err; do echo "--- $f" >&2; tail -n 8 "$f" >&2; done
  exit 1
}

# listen NAME ARGS...: a vantorel-listen in the background, once it listens.
listen() {
  local name=$1
  shift
  timeout -k 5 60 "$out/vantorel-listen" "$@" >"$work/$name.out" 2>"$work/$name.err" &
  eval "${name}_pid=$!"
  wait_for_line "$work/$name.err" '^vantorel-listen: listening' 10 || fail "$name: not listening"
}
# cast NAME SECONDS ARGS...: vantorel-cast interrupted after SECONDS of broadcasting (or ended).
cast() {
  local name=$1 seconds=$2
  shift 2
  timeout -k 5 60 "$out/vantorel-cast" --unsigned "$@" >"$work/$name.out" 2>"$work/$name.err" &
  local pid=$!
  wait_for_line "$work/$name.err" '^vantorel-cast: broadcasting' 15 || fail "$name: not broadcasting"
  sleep "$seconds"
  kill -INT "$pid"
  local status=0
  wait "$pid" || status=$?
  # Interrupted, the tool ends the broadcast and exits as the signal asks.
  ((status == 0 || status == 130)) || fail "$name: exit status $status"
}
# stop NAME: interrupts the listener NAME and waits for its closing lines.
stop() {
  local pid_var=${1}_pid status=0
  kill -INT "${!pid_var}"
  wait "${!pid_var}" || status=$?
  ((status == 0 || status == 130)) || fail "$1: exit status $status"
}
# stream LISTENER KIND: the listener's closing line for that stream.
stream() { grep "^stream=$2 " "$work/$1.out" || true; }

# --- The screen: a virtual X server with a moving picture.
Xvfb -displayfd 3 -screen 0 1280x720x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.err" &
wait_for_line "$work/display" '^[0-9]' 10 || fail "no virtual X server"
export DISPLAY=:$(head -n1 "$work/display")
gst-launch-1.0 -q videotestsrc pattern=ball is-live=true \
  ! video/x-raw,width=1280,height=720,framerate=30/1 ! ximagesink sync=false \
  >"$work/pattern.out" 2>&1 &
sleep 1
listen screen --play
listen screenlist --list-senders --seconds 4
cast screencast 4 --name Podium --screen
wait "$screenlist_pid" || fail "the listing listener failed"
stop screen
video=$(stream screen video)
[[ $video == *"video/x-h264"*"width=(int)1280"*"height=(int)720"* ]] ||
  fail "the screen was not received as 1280x720 H.264: $video"
sent=$(field samples "$(grep '^vantorel-cast: sent' "$work/screencast.err")")
decoded=$(field decoded "$video")
echo "screen: $sent frames sent, $decoded decoded"
((sent >= 60)) || fail "too few frames captured: $sent"
((decoded * 100 >= sent * 95)) || fail "only $decoded of $sent frames decoded"
grep -qE '^sender name=Podium .* playing=Screen state=playing source=screen ' \
  "$work/screenlist.out" || fail "the screen is not announced as such"

# --- The generated camera picture and tone.
listen camera --play
cast cameracast 2 --camera test --microphone test
stop camera
[[ $(stream camera video) == *"video/x-h264"*"width=(int)640"* ]] || fail "no camera picture"
[[ $(stream camera audio) == *"format=(string)S16LE"*"rate=(int)48000"* ]] || fail "no tone"
for kind in video audio; do
  (($(field decoded "$(stream camera $kind)") > 0)) || fail "no $kind decoded"
done

# --- A real camera, where this machine has one that captures: its pictures are received.
camera_device=""
for device in /dev/video*; do
  [[ -c $device ]] || continue
  "$out/vantorel-cast" --unsigned --camera "$device" --port 5999 --dest 127.0.0.1 \
    >/dev/null 2>"$work/probe.err" &
  probe=$!
  if wait_for_line "$work/probe.err" '^vantorel-cast: broadcasting' 10; then camera_device=$device; fi
  kill -INT "$probe" 2>/dev/null || true
  wait "$probe" || true
  [[ -n $camera_device ]] && break
done
if [[ -n $camera_device ]]; then
  listen realcamera --play
  cast realcameracast 3 --camera "$camera_device"
  stop realcamera
  (($(field decoded "$(stream realcamera video)") > 0)) ||
    fail "no picture of $camera_device decoded"
  echo "camera $camera_device: received"
else
  echo "no capture device here: the real camera is not tried"
fi

# --- A list: a clip, an unreadable file (skipped), another clip; then the two looped.
echo "not media" >"$work/notes.mp4"
listen list --play
timeout -k 5 60 "$out/vantorel-cast" --unsigned "$media/tone.wav" "$work/notes.mp4" \
  "$media/mjpeg-pcm.avi" >"$work/listcast.out" 2>"$work/listcast.err" ||
  fail "the list did not play to its end"
grep -q "^vantorel-cast: skipped $work/notes.mp4: " "$work/listcast.err" ||
  fail "the unreadable file was not named"
[[ $(grep -c '^vantorel-cast: broadcasting' "$work/listcast.err") -eq 2 ]] ||
  fail "not two clips broadcast"
sleep 1
stop list
# Each clip in a session of its own: descriptions of sound alone, then of picture and sound.
grep -q 'kind=10 flags=2 ' "$work/list.out" || fail "the first clip was not received"
[[ $(stream list video) == *"session=1"* ]] || fail "the second clip did not play in a session of its own"

cast loopcast 8 --loop "$media/tone.wav" "$media/mpeg1-av.mpg"
[[ $(grep -c '^vantorel-cast: broadcasting' "$work/loopcast.err") -ge 3 ]] ||
  fail "the list did not start again"

# --- What does not start: named, exit status 1, nothing broadcast.
listen idle
under=()  # what vantorel-cast runs under
refused() {
  local expected=$1
  shift
  local status=0
  "${under[@]}" "$out/vantorel-cast" --unsigned "$@" >"$work/refused.out" 2>"$work/refused.err" ||
    status=$?
  ((status == 1)) || fail "$*: exit status $status, not 1"
  grep -qF "$expected" "$work/refused.err" || fail "$*: not told '$expected'"
}
refused "The camera /dev/vantorel-none cannot be opened: " --camera /dev/vantorel-none
refused "The microphone hw:77 cannot be opened: " --microphone hw:77
DISPLAY=:98 refused "The screen :98 cannot be captured: " --screen
DISPLAY= refused "The screen cannot be captured: no display is set" --screen
refused "none of the 2 files could be played" "$work/notes.mp4" "$work/notes.mp4"
# A Wayland desktop's screen is asked of its screen-cast portal, here on a session bus that
# starts no services.
cat >"$work/bus.conf" <<EOF
<busconfig>
  <type>session</type>
  <listen>unix:dir=$work</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
EOF
wayland=(env -u DISPLAY XDG_SESSION_TYPE=wayland dbus-run-session --config-file="$work/bus.conf" --)
under=("${wayland[@]}")
refused "The screen cannot be captured: the desktop offers no screen-cast portal" --screen
under=("${wayland[@]}" "$here/fake_screencast_portal.py" --log "$work/portal.log"
  --start-response 1 --)
refused "The screen cannot be captured: the screen capture was refused." --screen
under=()
grep -qx "SelectSources types=3 multiple=False cursor_mode=2" "$work/portal.log" ||
  fail "not asked for one screen or window with the pointer: $(cat "$work/portal.log")"
grep -qx "Session.Close" "$work/portal.log" || fail "the portal's session was left open"
sleep 0.5
stop idle
grep -q '^message=' "$work/idle.out" && fail "a refused source sent messages"
echo "PASS"
