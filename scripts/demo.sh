#!/usr/bin/env bash
# Installs what is missing, builds, and shows a broadcast being received: Strovan plays a
# generated clip in one private network namespace and Lunnet plays what arrives in a second
# one; a veth pair joins the two, so the broadcast crosses a "wire" but never reaches the real
# network. With $DISPLAY the two windows appear on the desktop (close Lunnet to end the demo);
# without one they run on a virtual X server and screenshots are saved and printed.
#   scripts/demo.sh
# VANTOREL_BUILD_DIR: build folder (default build); VANTOREL_DEMO_CLIP: the clip to broadcast
# (default: the generated MPEG-1 test file); VANTOREL_DEMO_SHOTS: where screenshots go
# (default demo-shots in the current folder); VANTOREL_DEMO_NO_BUILD=1 skips setup and build.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
self="$root/scripts/demo.sh"
source "$root/scripts/wait.sh"
readonly sender_address=10.78.0.1/24
readonly receiver_address=10.78.0.2/24

# Stage 1, on the host: install, build, make the clip, then enter namespace A.
host_stage() {
  local build=${VANTOREL_BUILD_DIR:-$root/build}
  if [[ -z ${VANTOREL_DEMO_NO_BUILD:-} ]]; then
    "$root/scripts/setup.sh"
    "$root/scripts/build.sh" "$build"
  fi
  local out
  out=$(cd "$build/out" && pwd)
  local clip=${VANTOREL_DEMO_CLIP:-}
  if [[ -z $clip ]]; then
    "$root/tools/make-test-media" "$build/test-media" >/dev/null
    clip="$(cd "$build/test-media" && pwd)/mpeg1-av.mpg"
  fi
  local shots=${VANTOREL_DEMO_SHOTS:-$PWD/demo-shots}
  mkdir -p "$shots"
  shots=$(cd "$shots" && pwd)
  local flags=(-n)
  [[ $(id -u) -ne 0 ]] && flags=(-r -n)
  # The marker names the new process, so an inherited variable can never skip the unshare.
  exec unshare "${flags[@]}" bash -c \
    'export VANTOREL_DEMO_INSIDE="$$-a"; exec "$0" "$@"' "$self" "$out" "$clip" "$shots"
}

fresh_namespace_or_die() {
  local links
  links=$(ip -o link show | awk -F': ' '{print $2}' | sed 's/@.*//' | sort | tr '\n' ' ')
  if [[ $links != "lo " ]]; then
    echo "demo: not a fresh namespace (links: $links), refusing to run" >&2
    exit 1
  fi
}

# Stage 2, in namespace A: the sender's side of the wire.
namespace_a_stage() {
  fresh_namespace_or_die
  ip link set lo up
  ip link add vtA type veth peer name vtB
  ip addr add "$sender_address" dev vtA
  ip link set vtA up
  ip route add default dev vtA
  if [[ -n ${DISPLAY:-} ]]; then
    run_stage "$@"
  else
    export VANTOREL_DEMO_HEADLESS=1
    env -u QT_QPA_PLATFORM xvfb-run -a -s "-screen 0 1024x600x24" bash -c \
      'export VANTOREL_DEMO_INSIDE="$$-x"; exec "$0" "$@"' "$self" "$@"
  fi
}

# Namespace B, made by unshare from namespace A: waits for its end of the wire, then runs
# Lunnet there.
receiver_side() {
  local out=$1 shots=$2 ready=$3
  fresh_namespace_or_die
  # Only now may namespace A move the other end of the wire in.
  touch "$ready"
  ip link set lo up
  for _ in $(seq 100); do
    ip link show vtB >/dev/null 2>&1 && break
    sleep 0.05
  done
  ip addr add "$receiver_address" dev vtB
  ip link set vtB up
  ip route add default dev vtB
  exec "$out/lunnet" -qwindowgeometry 406x306+20+40 2>"$shots/lunnet.log"
}

screenshot() {
  import -window root "$1"
  echo "  $1"
}

# Stage 3, in namespace A with a display: Lunnet in namespace B, then the sender here.
run_stage() {
  local out=$1 clip=$2 shots=$3
  local ready="$shots/.receiver-namespace-ready"
  rm -f "$ready"
  unshare -n bash -c 'export VANTOREL_DEMO_INSIDE="$$-b"; exec "$0" "$@"' \
    "$self" "$out" "$shots" "$ready" &
  local receiver=$!
  for _ in $(seq 100); do
    [[ -e $ready ]] && break
    sleep 0.05
  done
  [[ -e $ready ]] || { echo "demo: the receiver's namespace did not start" >&2; exit 1; }
  rm -f "$ready"
  ip link set vtB netns "$receiver"
  # The sender starts once Lunnet's window is up (it listens from then on).
  wait_until 10 window_shown "[Lunnet]" || echo "demo: Lunnet showed no window" >&2
  local sender
  if [[ -x $out/strovan ]]; then
    "$out/strovan" -qwindowgeometry 406x306+446+40 "$clip" 2>"$shots/strovan.log" &
    sender=$!
    echo "demo: Strovan (namespace A) broadcasts $clip; Lunnet (namespace B) plays it"
  else
    "$out/vantorel-cast" --loop "$clip" >"$shots/cast.log" 2>&1 &
    sender=$!
    echo "demo: vantorel-cast (namespace A) broadcasts $clip; Lunnet (namespace B) plays it"
  fi
  if [[ -z ${VANTOREL_DEMO_HEADLESS:-} ]]; then
    echo "demo: close Lunnet to end the demonstration"
    wait "$receiver" || true
    kill -TERM "$sender" 2>/dev/null || true
    wait "$sender" || true
    return
  fi
  echo "demo: screenshots (Lunnet on the left, the sender's window on the right):"
  sleep 1.5
  screenshot "$shots/demo-1-playing.png"
  sleep 1
  screenshot "$shots/demo-2-playing.png"
  # Closing the sender sends the end of the broadcast: Lunnet rebuilds and waits for the next.
  kill -TERM "$sender"
  wait "$sender" || true
  sleep 1
  screenshot "$shots/demo-3-after-the-end-of-broadcast.png"
  kill -TERM "$receiver"
  wait "$receiver" || true
}

case ${VANTOREL_DEMO_INSIDE:-} in
  "$$-a") namespace_a_stage "$@" ;;
  "$$-x") run_stage "$@" ;;
  "$$-b") receiver_side "$@" ;;
  *) host_stage ;;
esac
