#!/usr/bin/env bash
# The tools' cost against the plain programs that do the same work, measured one after the
# other in one run with /usr/bin/time, inside a private network namespace, on a 20 s 720p
# MJPEG + PCM clip (about 18 Mbit/s):
#  - vantorel-cast against ffmpeg copying the clip to UDP in real time, and against the demux
#    floor (the clip parsed and its samples timed to a null output);
#  - vantorel-listen --play against the decode floor (the clip decoded and timed to a null
#    output), while a cast sends it;
#  - the peak memory of each;
#  - datagrams per second through loopback: the wire benchmark's one-by-one and batched sends
#    against iperf3 with 1472-byte datagrams.
# ffmpeg and iperf3 are installed here for the comparison only; nothing of Vantorel needs them.
#   bench/compare.sh [BUILD_DIR] [SECONDS]
set -euo pipefail
# Everything below broadcasts: only ever inside a private network namespace.
source "$(dirname "$0")/in_namespace.sh"

build=${1:-$root/build}
seconds=${2:-20}
out=$build/out

if ! command -v ffmpeg > /dev/null || ! command -v iperf3 > /dev/null; then
  sudo=()
  ((EUID == 0)) || sudo=(sudo)
  DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -q ffmpeg iperf3 > /dev/null ||
    echo "ffmpeg and iperf3 could not be installed: their comparisons are left out" >&2
fi
have() { command -v "$1" > /dev/null; }

clip=$build/bench-media/mjpeg-720p-${seconds}s.avi
if [[ ! -s $clip ]]; then
  mkdir -p "$(dirname "$clip")"
  gst-launch-1.0 -q videotestsrc num-buffers=$((seconds * 25)) pattern=smpte \
    ! video/x-raw,width=1280,height=720,framerate=25/1 ! videoconvert ! jpegenc quality=90 \
    ! queue ! mux.video_0 audiotestsrc num-buffers=$((seconds * 44100 / 1024)) \
    samplesperbuffer=1024 freq=440 ! audioconvert ! audio/x-raw,format=S16LE,channels=2 \
    ! queue ! mux.audio_0 avimux name=mux ! filesink location="$clip.part" > /dev/null
  mv "$clip.part" "$clip"
fi

# measure NAME COMMAND...: runs it; records user+system CPU seconds and peak RSS in kB.
declare -A cpu rss
measure() {
  local name=$1
  shift
  /usr/bin/time -f '%U %S %M' -o "$work/$name.time" "$@" > /dev/null 2> "$work/$name.err"
  read -r user sys kb < <(tail -n1 "$work/$name.time")
  cpu[$name]=$(awk -v u="$user" -v s="$sys" 'BEGIN { printf "%.2f", u + s }')
  rss[$name]=$kb
  printf '%-12s cpu-s=%-6s user=%-6s sys=%-6s peak-rss-kb=%s\n' "$name" "${cpu[$name]}" "$user" \
    "$sys" "$kb"
}
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", (b > 0 ? a / b : 0) }'; }

measure cast "$out/vantorel-cast" "$clip"
measure cast-nofec "$out/vantorel-cast" --fec 0 "$clip"
cpu[ffmpeg]=0 rss[ffmpeg]=0
if have ffmpeg; then
  measure ffmpeg ffmpeg -nostdin -loglevel error -re -i "$clip" -c copy -f mpegts \
    "udp://255.255.255.255:5937?broadcast=1&pkt_size=1316"
fi
measure demux gst-launch-1.0 -q filesrc location="$clip" ! parsebin name=p \
  p. ! queue ! fakesink sync=true p. ! queue ! fakesink sync=true
measure decode gst-launch-1.0 -q filesrc location="$clip" ! decodebin name=d \
  d. ! queue ! fakesink sync=true d. ! queue ! fakesink sync=true

# The listener runs for the whole cast and a little after it.
(measure listen "$out/vantorel-listen" --play --seconds $((seconds + 4)) > "$work/listen.line") &
listener=$!
wait_for_line "$work/listen.err" '^vantorel-listen: listening' 10
"$out/vantorel-cast" "$clip" 2> /dev/null
wait "$listener"
cat "$work/listen.line"
read -r _ listen_cpu _ _ listen_kb < <(tr '=' ' ' < "$work/listen.line" | awk '{print $1, $3, $5, $7, $9}')
if ! grep -q '^timing stream=video timed=[1-9]' "$work/listen.err"; then
  echo "the listener decoded no pictures:" >&2
  tail -n5 "$work/listen.err" >&2
fi

echo "cast/ffmpeg=$(ratio "${cpu[cast]}" "${cpu[ffmpeg]}")" \
  "cast/demux=$(ratio "${cpu[cast]}" "${cpu[demux]}")" \
  "cast-nofec/demux=$(ratio "${cpu[cast-nofec]}" "${cpu[demux]}")" \
  "listen/decode=$(ratio "$listen_cpu" "${cpu[decode]}")"
echo "memory-mb cast=$((rss[cast] / 1024)) ffmpeg=$((rss[ffmpeg] / 1024))" \
  "demux=$((rss[demux] / 1024)) listen=$((listen_kb / 1024)) decode=$((rss[decode] / 1024))"

# Loopback datagram rates: iperf3 at full speed, then the wire benchmark.
if have iperf3; then
  iperf3 -s -1 -p 5201 > /dev/null 2>&1 &
  server=$!
  wait_until 5 bash -c 'ss -ltn | grep -q ":5201 "'
  iperf3 -c 127.0.0.1 -p 5201 -u -l 1472 -b 0 -t 5 > "$work/iperf.out"
  wait "$server" 2> /dev/null || true
  # The receiver's line: "... 0.00-5.00 sec ... lost/total (percent) receiver".
  awk '/receiver/ { split($3, t, "-"); split($(NF-2), n, "/");
                    printf "iperf3 datagrams-per-s=%.0f lost=%s\n", n[2] / t[2], $(NF-1) }' \
    "$work/iperf.out"
fi
if [[ -x $build/bench/wire_bench ]]; then
  "$build/bench/wire_bench" --benchmark_filter='Loopback' --benchmark_counters_tabular=true
fi
