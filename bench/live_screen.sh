#!/usr/bin/env bash
# What broadcasting the screen costs, and how late and how whole it arrives, inside a private
# network namespace with an X server of its own (Xvfb, 1280x720x24) showing a moving picture
# that fills it:
#  - `vantorel-cast --screen` (capture at 30 fps, H.264 with zero-latency tuning) and a
#    `vantorel-listen --play` receiving it, both with VANTOREL_TIMING_LOG; the cast's "send"
#    line of a live picture is the moment it was captured, the listener's "receive" line the
#    moment it presents it;
#  - ffmpeg capturing and encoding the same screen the same way (x11grab, libx264 superfast
#    with zero-latency tuning, a key frame a second) as MPEG-TS to a loopback port, for the
#    same time: once as it chooses its rate (constant quality), once held to the cast's
#    constant rate (the cast's x264enc: the rate that follows the picture's size, a 600 ms
#    buffer).
# Each run goes on for SECONDS after SKIP seconds of start-up, which are left out; a run's
# window is SECONDS long. Per picture it prints:
#  - the processor time of each program over the window as % of one core (utime + stime from
#    /proc/PID/stat), with the X server's and the picture's own, and how busy the whole machine
#    was (% of all its cores: other work on the host shows there);
#  - frames a second captured (the cast's "send" lines, ffmpeg's frame count), and the
#    picture's bit rate (the cast's media bytes over the run; ffmpeg's output over the window);
#  - capture to presentation: the listener's "receive" line less the cast's "send" line of the
#    same picture (joined on its wire start), median and largest. Both are schedules, not
#    observations (capture time; presentation time, which the null output waits for), so they
#    differ by the presentation delay and an offset fixed for the run; what the stages after
#    capture take shows in the listener's margin: how long before its presentation time a
#    picture left the decoder (median and smallest over the run, from its `timing
#    stream=video` line);
#  - received: the pictures captured in the window that the listener decoded and scheduled
#    (its "receive" lines), against the pictures captured;
#  - played: the same less every picture its output dropped as late over the whole run (its
#    `late=`, which counts the start-up too: a lower bound for the window);
#  - where the time between capture and presentation goes, medians over the window's pictures:
#    capture to sent (the cast writes its "send" line once it has handed the encoded picture
#    to the wire), sent to delivered (the listener prints the sample's message line as it hands
#    it to its stream), delivered to decoded (it writes the "receive" line as the picture
#    leaves the decoder), decoded to presented. A watcher reading the three files every 2 ms
#    notes when each line appears: the figures are that close, and it costs a few % of a core
#    in a process of its own, counted in no row.
# Two pictures: "ball", a small ball moving on black (most of a real screen is still), and
# "bars+snow", colour bars scrolling across the whole screen with random snow over a quarter.
# ffmpeg is installed here with apt-get when it is missing, before the namespace is entered
# (there is no network inside it); nothing of Vantorel needs it. Without it its rows are left
# out. Exits 1 when a run fails outright (no picture captured or received). With
# LIVE_SCREEN_LOGS=DIR the programs' logs are kept there.
#   bench/live_screen.sh [BUILD_DIR] [SECONDS] [SKIP]
set -euo pipefail

if [[ ${1:-} != --inside ]] && ! command -v ffmpeg > /dev/null; then
  sudo=()
  ((EUID == 0)) || sudo=(sudo)
  export DEBIAN_FRONTEND=noninteractive
  { "${sudo[@]}" apt-get install -y -q --no-install-recommends ffmpeg > /dev/null 2>&1 ||
    { "${sudo[@]}" apt-get update -q > /dev/null && "${sudo[@]}" apt-get install -y -q \
        --no-install-recommends ffmpeg > /dev/null; }; } ||
    echo "ffmpeg could not be installed: its comparison is left out" >&2
fi
# Everything below broadcasts: only ever inside a private network namespace.
source "$(dirname "$0")/in_namespace.sh"
# ... and on a display of its own.
if [[ ${1:-} != --on-display ]]; then
  rmdir "$work"
  exec xvfb-run -a -s "-screen 0 1280x720x24" bash "$0" --inside --on-display "$@"
fi
shift

build=${1:-$root/build}
seconds=${2:-15}
skip=${3:-2}
out=$build/out
port=5938  # ffmpeg's loopback destination
# The cast's rate for a 1280x720 picture at 30 fps: a tenth of a bit per pixel and frame.
cast_kbit=2764
have_ffmpeg=0
command -v ffmpeg > /dev/null && have_ffmpeg=1

started=()
stop_started() {
  local pid
  for pid in "${started[@]}"; do kill "$pid" 2> /dev/null || true; done
  rm -rf "$work"
}
trap stop_started EXIT

fail() {
  echo "live_screen: $*" >&2
  exit 1
}

# The X server's process: xvfb-run's child beside this script.
xserver=$(ps -o pid=,comm= --ppid "$PPID" | awk '$2 == "Xvfb" { print $1 }')
[[ -n $xserver ]] || fail "no Xvfb beside this script"

# snapshot PID...: the monotonic clock in ns, then each process's utime + stime in clock
# ticks (0 once it is gone), then the machine's busy and total ticks over all its cores.
snapshot() {
  python3 - "$@" << 'EOF'
import sys, time
now = time.monotonic_ns()
fields = [str(now)]
for pid in sys.argv[1:]:
    try:
        with open(f"/proc/{pid}/stat") as f:
            stat = f.read().rsplit(")", 1)[1].split()
        fields.append(str(int(stat[11]) + int(stat[12])))
    except OSError:
        fields.append("0")
with open("/proc/stat") as f:
    cpu = [int(x) for x in f.readline().split()[1:]]
fields += [str(sum(cpu) - cpu[3] - cpu[4]), str(sum(cpu))]
print(" ".join(fields))
EOF
}
tick=$(getconf CLK_TCK)
cores=$(nproc)
# percent BEFORE AFTER FIELD: the process in FIELD (from 2) as % of one core over the window.
percent() {
  awk -v a="$1" -v b="$2" -v f="$3" -v hz="$tick" 'BEGIN {
    split(a, x, " "); split(b, y, " ")
    printf "%.1f", (y[f] - x[f]) / hz / ((y[1] - x[1]) / 1e9) * 100 }'
}
# busy BEFORE AFTER: the whole machine, % of all its cores, over the window.
busy() {
  awk -v a="$1" -v b="$2" 'BEGIN {
    n = split(a, x, " "); split(b, y, " ")
    printf "%.0f", (y[n - 1] - x[n - 1]) / (y[n] - x[n]) * 100 }'
}

# The moving pictures, each a gst-launch pipeline filling the screen with one window.
picture_pipeline() {
  local raw=video/x-raw,format=BGRx,framerate=30/1
  case $1 in
    ball)
      echo "videotestsrc pattern=ball is-live=true ! $raw,width=1280,height=720 ! ximagesink"
      ;;
    bars+snow)
      echo "compositor name=mix sink_1::xpos=640 sink_1::ypos=360" \
        "! $raw,width=1280,height=720 ! ximagesink" \
        "videotestsrc pattern=smpte horizontal-speed=8 is-live=true" \
        "! $raw,width=1280,height=720 ! mix.sink_0" \
        "videotestsrc pattern=snow is-live=true ! $raw,width=640,height=360" \
        "! mix.sink_1"
      ;;
  esac
}

# watch_lines OUT FILE...: appends "<monotonic ns> <line>" to OUT for every line with a
# sample's start that the FILEs gain, until it is killed. Run in the background, it becomes
# that process (exec), so that its id is the watcher's.
watch_lines() {
  exec python3 - "$@" << 'EOF'
import sys, time
out = open(sys.argv[1], "w")
files = {path: None for path in sys.argv[2:]}
tails = {path: b"" for path in files}
while True:
    for path in files:
        if files[path] is None:
            try:
                files[path] = open(path, "rb")
            except OSError:
                continue
        data = files[path].read()
        if data:
            now = time.monotonic_ns()
            *lines, tails[path] = (tails[path] + data).split(b"\n")
            for line in lines:
                if b" start=" in line:
                    out.write(f"{now} {line.decode()}\n")
            out.flush()
    time.sleep(0.002)
EOF
}

# run_cast NAME: the cast and a listener over the window; sets the row's figures.
run_cast() {
  local name=$1 log=$work/$1
  watch_lines "$log.seen" "$log.cast.log" "$log.listen.out" "$log.listen.log" &
  local watcher=$!
  started+=("$watcher")
  VANTOREL_TIMING_LOG=$log.listen.log "$out/vantorel-listen" --play > "$log.listen.out" \
    2> "$log.listen.err" &
  local listener=$!
  started+=("$listener")
  wait_for_line "$log.listen.err" '^vantorel-listen: listening' 10 || fail "$name: no listener"
  VANTOREL_TIMING_LOG=$log.cast.log "$out/vantorel-cast" --screen > /dev/null \
    2> "$log.cast.err" &
  local cast=$!
  started+=("$cast")
  if ! wait_for_line "$log.cast.log" '^present side=send' 20; then
    tail -n5 "$log.cast.err" >&2
    fail "$name: the cast captured nothing"
  fi
  sleep "$skip"
  local before after
  before=$(snapshot "$cast" "$listener" "$xserver" "$picture")
  sleep "$seconds"
  after=$(snapshot "$cast" "$listener" "$xserver" "$picture")
  # What was captured at the window's end is still on its way: a second to be presented.
  sleep 1
  kill -INT "$cast"
  wait "$cast" || true
  wait_for_line "$log.listen.out" '^end-of-broadcast' 5 || true
  kill -INT "$listener"
  wait "$listener" || true
  kill "$watcher"
  wait "$watcher" 2> /dev/null || true
  cast_cpu=$(percent "$before" "$after" 2)
  listen_cpu=$(percent "$before" "$after" 3)
  x_cpu=$(percent "$before" "$after" 4)
  picture_cpu=$(percent "$before" "$after" 5)
  machine=$(busy "$before" "$after")
  late=$(sed -n 's/^stream=video .* late=\([0-9]*\) .*/\1/p' "$log.listen.out")
  [[ -n $late ]] || fail "$name: the listener played no picture"
  local from to
  from=$(cut -d' ' -f1 <<< "$before")
  to=$(cut -d' ' -f1 <<< "$after")
  # Pictures captured in the window: the count, then each one's delay to presentation.
  awk -v from="$from" -v to="$to" '
    function at(line) { return substr(line, index(line, "at-ns=") + 6) + 0 }
    function field(line, name,   s) { s = substr(line, index(line, name "=") + length(name) + 1);
                                     sub(/ .*/, "", s); return s }
    FNR == 1 { file++ }
    !/^present .*stream=video/ { next }
    file == 1 { t = at($0); if (t >= from && t < to) sent[field($0, "start")] = t; next }
    { received[field($0, "start")] = at($0) }
    END {
      for (k in sent) { n++; if (k in received) print (received[k] - sent[k]) / 1e6 }
      print n > "/dev/stderr"
    }' "$log.cast.log" "$log.listen.log" 2> "$log.count" | sort -n > "$log.delays"
  captured=$(cat "$log.count")
  ((captured > 0)) || fail "$name: no picture captured in the window"
  cast_fps=$(awk -v n="$captured" -v a="$from" -v b="$to" \
    'BEGIN { printf "%.1f", n / (b - a) * 1e9 }')
  read -r delay_med delay_max presented < <(awk '
    { d[NR] = $1 }
    END { if (!NR) { print "- - 0"; exit }
          printf "%.1f %.1f %d\n", d[int((NR + 1) / 2)], d[NR], NR }' "$log.delays")
  read -r margin_med margin_worst < <(awk '/^timing stream=video/ {
      for (i = 1; i <= NF; i++) { split($i, kv, "="); v[kv[1]] = kv[2] }
      print v["median-margin-ms"], v["worst-margin-ms"] }' "$log.listen.err") || true
  # The media bytes over the run, from its first capture to its last.
  cast_rate=$(awk '
    /^present .*stream=video/ { t = substr($0, index($0, "at-ns=") + 6) + 0; if (!a) a = t; b = t }
    /media-bytes=/ { n = substr($0, index($0, "media-bytes=") + 12) + 0 }
    END { printf "%.0f", (b > a ? n * 8 / ((b - a) / 1e9) / 1000 : 0) }' \
    "$log.cast.log" "$log.cast.err")
  received=$(awk -v p="$presented" -v n="$captured" 'BEGIN { printf "%.1f", p / n * 100 }')
  # The stages of the window's pictures: capture, sent, delivered, decoded, presented.
  stages=$(awk -v from="$from" -v to="$to" '
    function field(line, name,   s) { s = substr(line, index(line, name "=") + length(name) + 1);
                                     sub(/ .*/, "", s); return s }
    function median(list,   n, v, i, j, t) {
      n = split(list, v, " ")
      for (i = 2; i <= n; i++) { t = v[i] + 0; for (j = i - 1; j > 0 && v[j] + 0 > t; j--)
                                   v[j + 1] = v[j]; v[j + 1] = t }
      return n ? v[int((n + 1) / 2)] : "-" }
    { seen = $1; k = field($0, "start") }
    / present side=send .*stream=video/ { at = field($0, "at-ns") + 0
                                          if (at >= from && at < to) { cap[k] = at; sent[k] = seen }
                                          next }
    / present side=receive .*stream=video/ { decoded[k] = seen; shown[k] = field($0, "at-ns")
                                             next }
    / message=/ { if (!(k in delivered)) delivered[k] = seen }
    END {
      for (k in cap) {
        if (!(k in delivered) || !(k in decoded)) continue
        a = a " " (sent[k] - cap[k]) / 1e6; b = b " " (delivered[k] - sent[k]) / 1e6
        c = c " " (decoded[k] - delivered[k]) / 1e6; d = d " " (shown[k] - decoded[k]) / 1e6
      }
      printf "%.1f %.1f %.1f %.1f\n", median(a), median(b), median(c), median(d)
    }' "$log.seen")
  played=$(awk -v p="$presented" -v l="$late" -v n="$captured" \
    'BEGIN { v = (p - l) / n * 100; printf "%.1f", (v < 0 ? 0 : v) }')
}

# run_ffmpeg NAME [RATE_OPTION...]: ffmpeg over the window; sets its figures.
run_ffmpeg() {
  local name=$1 log=$work/$1
  shift
  ffmpeg -nostdin -loglevel error -progress "$log.progress" -f x11grab -framerate 30 \
    -video_size 1280x720 -i "$DISPLAY" -c:v libx264 -preset superfast -tune zerolatency -g 30 \
    "$@" -f mpegts "udp://127.0.0.1:$port" 2> "$log.ffmpeg.err" &
  local ffmpeg_pid=$!
  started+=("$ffmpeg_pid")
  if ! wait_for_line "$log.progress" '^frame=[1-9]' 20; then
    tail -n5 "$log.ffmpeg.err" >&2
    fail "$name: ffmpeg captured nothing"
  fi
  sleep "$skip"
  local before after progress_before progress_after
  before=$(snapshot "$ffmpeg_pid" "$xserver" "$picture")
  progress_before=$(progress "$log.progress")
  sleep "$seconds"
  after=$(snapshot "$ffmpeg_pid" "$xserver" "$picture")
  progress_after=$(progress "$log.progress")
  kill -INT "$ffmpeg_pid"
  wait "$ffmpeg_pid" || true
  ffmpeg_cpu=$(percent "$before" "$after" 2)
  ffmpeg_x_cpu=$(percent "$before" "$after" 3)
  ffmpeg_picture_cpu=$(percent "$before" "$after" 4)
  ffmpeg_machine=$(busy "$before" "$after")
  # ffmpeg writes its progress every half second: the counts are that close.
  read -r ffmpeg_fps ffmpeg_rate < <(awk -v a="$progress_before" -v b="$progress_after" \
    -v s="$(awk -v a="$before" -v b="$after" 'BEGIN { print (b - a) / 1e9 }')" \
    'BEGIN { split(a, x, " "); split(b, y, " ")
             printf "%.1f %.0f\n", (y[1] - x[1]) / s, (y[2] - x[2]) * 8 / s / 1000 }')
}
# progress FILE: the frames and bytes ffmpeg last wrote to its progress file.
progress() {
  awk -F= '$1 == "frame" { f = $2 } $1 == "total_size" { b = $2 } END { print f + 0, b + 0 }' "$1"
}

# One line of the table: picture, sender, cpu, fps, kbit/s, delay median/largest, decode
# margin median/smallest, received, played, late, listener's cpu, X+picture cpu, machine busy,
# load.
format='%-10s %-13s %5s %5s %6s %13s %13s %6s %6s %4s %5s %9s %5s %5s'
row() {
  # shellcheck disable=SC2059  # the format is the table's
  rows+=("$(printf "$format" "$@")")
}
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", (b > 0 ? a / b : 0) }'; }

rows=()
stage_rows=()
for name in ball bars+snow; do
  rm -f "$work"/*
  read -r load _ < /proc/loadavg
  # shellcheck disable=SC2046  # the pipeline's words are gst-launch's arguments
  gst-launch-1.0 -q $(picture_pipeline "$name") > "$work/picture.err" 2>&1 &
  picture=$!
  started+=("$picture")
  wait_until 10 window_shown gst-launch-1.0 || fail "$name: the moving picture did not show"
  run_cast "$name"
  # shellcheck disable=SC2086  # four figures
  stage_rows+=("$(printf '%-10s %10s %10s %10s %10s' "$name" $stages)")
  row "$name" vantorel-cast "$cast_cpu" "$cast_fps" "$cast_rate" "$delay_med/$delay_max" \
    "$margin_med/$margin_worst" "$received" "$played" "$late" "$listen_cpu" "$x_cpu+$picture_cpu" \
    "$machine" "$load"
  if ((have_ffmpeg)); then
    read -r load _ < /proc/loadavg
    run_ffmpeg "$name.ffmpeg"
    row "$name" ffmpeg "$ffmpeg_cpu" "$ffmpeg_fps" "$ffmpeg_rate" - - - - - - \
      "$ffmpeg_x_cpu+$ffmpeg_picture_cpu" "$ffmpeg_machine" "$load"
    crf_cpu=$ffmpeg_cpu
    read -r load _ < /proc/loadavg
    run_ffmpeg "$name.ffmpeg-cbr" -b:v ${cast_kbit}k -maxrate ${cast_kbit}k \
      -bufsize $((cast_kbit * 6 / 10))k
    row "$name" "ffmpeg ${cast_kbit}k" "$ffmpeg_cpu" "$ffmpeg_fps" "$ffmpeg_rate" - - - - - - \
      "$ffmpeg_x_cpu+$ffmpeg_picture_cpu" "$ffmpeg_machine" "$load"
    rows+=("$(printf '%-10s %-13s %s' "$name" "cast/ffmpeg" \
      "$(ratio "$cast_cpu" "$crf_cpu") (at ${cast_kbit}k: $(ratio "$cast_cpu" "$ffmpeg_cpu"))")")
  fi
  kill "$picture"
  wait "$picture" || true
  if [[ -n ${LIVE_SCREEN_LOGS:-} ]]; then
    mkdir -p "$LIVE_SCREEN_LOGS"
    cp "$work"/* "$LIVE_SCREEN_LOGS"
  fi
done

echo "window ${seconds} s after ${skip} s. cpu: % of one core; X+picture: Xvfb and the moving" \
  "picture, % of one core; mach: % of all $cores cores busy; delay: capture to presentation," \
  "ms; margin: how long before presentation the listener decoded, ms; recv/played: % of the" \
  "pictures captured"
# shellcheck disable=SC2059
printf "$format\n" picture sender cpu fps kbit/s delay-med/max margin-med/min recv% played% late \
  lcpu X+picture mach% load
printf '%s\n' "${rows[@]}"
echo "where the time goes, medians in ms: capture to sent, to delivered, to decoded, to presented"
printf '%-10s %10s %10s %10s %10s\n' picture sent delivered decoded presented
printf '%s\n' "${stage_rows[@]}"
