#!/usr/bin/env bash
# Lunnet's window held up for 2 s while a cast sends to it, at about 3 Mbit/s (320x240 MJPEG and PCM sound)
# and about 25 Mbit/s (1280x720 MJPEG), inside a private network namespace: what the reception
# lost while the window's thread was held (bench/window_hold.cpp prints it).
#   bench/window_hold.sh [BUILD_DIR] [HOLD_MS]
set -euo pipefail
# Everything below broadcasts: only ever inside a private network namespace.
source "$(dirname "$0")/in_namespace.sh"

build=${1:-$root/build}
hold=${2:-2000}
out=$build/out
media=$build/bench-media
mkdir -p "$media"

# clip NAME WIDTH HEIGHT QUALITY: a 10 s MJPEG + PCM clip of moving bars, made once.
clip() {
  local path=$media/$1.avi
  if [[ ! -s $path ]]; then
    gst-launch-1.0 -q videotestsrc num-buffers=250 pattern=smpte horizontal-speed=4 \
      ! "video/x-raw,width=$2,height=$3,framerate=25/1" ! videoconvert ! jpegenc quality="$4" \
      ! queue ! mux.video_0 audiotestsrc num-buffers=431 samplesperbuffer=1024 \
      ! audioconvert ! audio/x-raw,format=S16LE,channels=2 ! queue ! mux.audio_0 \
      avimux name=mux ! filesink location="$path.part" > /dev/null
    mv "$path.part" "$path"
  fi
  echo "$path"
}

run() {
  local path=$1 port=$2
  local mbits
  mbits=$(awk -v b="$(stat -c %s "$path")" 'BEGIN { printf "%.1f", b * 8 / 10 / 1e6 }')
  QT_QPA_PLATFORM=offscreen "$build/bench/window_hold" "$port" "$hold" 3 > "$work/hold.out" \
    2> "$work/hold.err" &
  local receiver=$!
  sleep 1
  "$out/vantorel-cast" --dest 127.0.0.1 --port "$port" --loop "$path" > /dev/null \
    2> "$work/cast.err" &
  local cast=$!
  wait "$receiver" || { cat "$work/hold.err" >&2; kill "$cast"; return 1; }
  kill -INT "$cast"
  wait "$cast" || true
  echo "clip=$(basename "$path") mbit-s=$mbits $(cat "$work/hold.out")"
}

run "$(clip mjpeg-240p-q35 320 240 35)" 5941
run "$(clip mjpeg-720p-q97 1280 720 97)" 5942
