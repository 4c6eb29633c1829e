#!/usr/bin/env bash
# What watching in browsers through vantorel-web costs, and how far the browsers' pictures are
# behind a receiver's, inside a private network namespace: a `vantorel-cast --loop` of a clip,
# a `vantorel-listen --play` with VANTOREL_TIMING_LOG (the receiver), and vantorel-web on the
# namespace's address watched by one headless Chromium with one window per viewer (each window
# its own page, peer connection and decoder; one browser, because twenty would cost the
# 2-core machine more than the server does). Runs:
#  - the 320x240 H.264 clip, which passes through, one viewer;
#  - the 320x240 MPEG-1 clip, encoded again, one viewer, then 20 viewers on the one encode;
#  - a 1280x720 MJPEG clip at 25 fps (a ball on a still background, with PCM sound; made once
#    with gst-launch-1.0 into BUILD_DIR/bench-media), encoded again, 5 viewers.
# The windows open one after the other; once every one has shown a picture, SKIP seconds pass,
# then a window of SECONDS is measured. Per run it prints:
#  - pages: the windows whose video went on playing through the window (its time advancing by
#    at least half the window, its decoded frames growing), of those opened, and the lowest
#    frame rate a page decoded over the window;
#  - first: the first picture after the page was opened (the page's firstFrameAt: the first
#    requestVideoFrameCallback, ms from the start of its navigation), median and largest;
#  - behind: how long after the receiver a browser shows the same picture, median and 95th
#    percentile over every picture every page showed in the window. The join: vantorel-web
#    releases a picture when receivers present it (encoded pictures once encoded), and the
#    page's RTP timestamps count that release on the server's clock (its source stamps each
#    picture as it arrives). Per page, the release of a picture is its RTP timestamp plus the
#    page's smallest receiveTime less RTP timestamp (transit on loopback: well under a
#    millisecond); the picture is the last one the receiver presented at or before that
#    release (pictures are 40 ms apart, the release follows the presentation by the time the
#    encoder takes). The browser shows it at its expectedDisplayTime. Page times are
#    performance.now() on the monotonic clock of the host, like the timing log's at-ns; the
#    two are set side by side from the fastest of 20 round trips to the page, each bracketed
#    by readings of the host's clock (half the round trip is the error, "cal" below). "rel"
#    is the median release less the receiver's presentation: near 0 when passed through,
#    the encoder's time otherwise;
#  - vantorel-web's processor time over the window as % of one core (utime + stime from
#    /proc/PID/stat), its resident memory at the window's end and its peak (VmRSS, VmHWM),
#    and how busy the whole machine was (% of all its cores: the browser's decoding, the cast
#    and the receiver show there, and so does other work on the host);
#  - from the totals vantorel-web prints at exit: the video streams encoded again, and the
#    encoder's pictures in and out over the whole run (equal when it dropped none).
# Exits 1 when a run fails outright (nothing served, no page plays). With WEB_BENCH_LOGS=DIR
# the programs' logs are kept there.
#   bench/web.sh [BUILD_DIR] [SECONDS] [SKIP]
set -euo pipefail
# Everything below broadcasts: only ever inside a private network namespace.
source "$(dirname "$0")/in_namespace.sh"

build=${1:-$root/build}
seconds=${2:-15}
skip=${3:-2}
out=$build/out
media=$build/test-media
address=10.77.0.1
http_port=8080
page=http://$address:$http_port/
# The page keeps its last 600 pictures: the window must fit in them.
((seconds <= 20)) || { echo "web: at most 20 s a window" >&2; exit 2; }

started=()
stop_started() {
  local pid
  for pid in "${started[@]}"; do kill "$pid" 2> /dev/null || true; done
  rm -rf "$work"
}
trap stop_started EXIT

fail() {
  echo "web: $*" >&2
  for f in "$work"/*.err; do [[ -s $f ]] && { echo "--- $f" >&2; tail -n 5 "$f" >&2; }; done
  exit 1
}

[[ -x $out/vantorel-web && -f $out/web/index.html ]] || fail "vantorel-web is not built"

# The 720p clip: 10 s of MJPEG at 25 fps with PCM sound, made once.
hd=$build/bench-media/mjpeg-720p-ball.avi
if [[ ! -s $hd ]]; then
  mkdir -p "$(dirname "$hd")"
  gst-launch-1.0 -q videotestsrc num-buffers=250 pattern=ball \
    ! video/x-raw,width=1280,height=720,framerate=25/1 ! videoconvert ! jpegenc \
    ! queue ! mux.video_0 audiotestsrc num-buffers=431 samplesperbuffer=1024 freq=440 \
    ! audioconvert ! audio/x-raw,format=S16LE,channels=2 ! queue ! mux.audio_0 \
    avimux name=mux ! filesink location="$hd.part" > /dev/null
  mv "$hd.part" "$hd"
fi

# viewers PAGE COUNT SECONDS SKIP WEB_PID TIMING_LOG: opens COUNT windows on PAGE, measures
# over the window and prints the run's figures on one line (see the table's heading).
viewers() {
  /usr/bin/python3 - "$root/tests/system" "$@" << 'EOF'
import bisect, json, statistics, sys, time
sys.path.insert(0, sys.argv[1])
from web_browser import Page

url, count, seconds, skip, pid, log = sys.argv[2], int(sys.argv[3]), float(sys.argv[4]), \
    float(sys.argv[5]), sys.argv[6], sys.argv[7]
OPEN_TIMEOUT = 60 + 3 * count
STATE = """const v = document.getElementById('video'), f = window.vantorel || {};
const q = v.getVideoPlaybackQuality();
return [v.currentTime, q.totalVideoFrames, f.firstFrameAt === undefined ? null : f.firstFrameAt];"""

def cpu_ticks():
    with open(f"/proc/{pid}/stat") as f:
        stat = f.read().rsplit(")", 1)[1].split()
    with open("/proc/stat") as f:
        machine = [int(x) for x in f.readline().split()[1:]]
    return (time.monotonic_ns(), int(stat[11]) + int(stat[12]),
            sum(machine) - machine[3] - machine[4], sum(machine))

def memory_mb(name):
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            if line.startswith(name + ":"):
                return int(line.split()[1]) / 1024
    return 0

def states(driver, windows):
    result = []
    for window in windows:
        driver.switch_to.window(window)
        result.append((time.monotonic(), driver.execute_script(STATE)))
    return result

def page_offset(driver):
    """performance.now() of the current page to the host's monotonic clock, ns; and the error."""
    best = None
    for _ in range(20):
        before = time.monotonic_ns()
        now = driver.execute_script("return performance.now()")
        after = time.monotonic_ns()
        if best is None or after - before < best[1]:
            best = ((before + after) / 2 - now * 1e6, after - before)
    return best[0], best[1] / 2

with Page(url) as page:
    driver = page.driver
    windows = [driver.current_window_handle]
    for _ in range(count - 1):
        driver.switch_to.new_window("window")
        driver.get(url)
        windows.append(driver.current_window_handle)
    deadline = time.monotonic() + OPEN_TIMEOUT
    while True:
        first = [s[2] for _, s in states(driver, windows)]
        if all(f is not None for f in first) or time.monotonic() > deadline:
            break
        time.sleep(0.5)
    time.sleep(skip)
    start = states(driver, windows)
    window_from = time.monotonic_ns()
    before = cpu_ticks()
    time.sleep(seconds)
    after = cpu_ticks()
    window_to = time.monotonic_ns()
    rss, peak = memory_mb("VmRSS"), memory_mb("VmHWM")
    end = states(driver, windows)
    frames, offsets = [], []
    for window in windows:
        driver.switch_to.window(window)
        offsets.append(page_offset(driver))
        frames.append(driver.execute_script("return (window.vantorel || {}).frames || []"))

# The receiver's presentations of pictures, monotonic ns, once its log has them all.
time.sleep(1)
shown = []
with open(log) as f:
    for line in f:
        if line.startswith("present side=receive") and " stream=video " in line:
            shown.append(int(line.rsplit("at-ns=", 1)[1]))
shown.sort()

playing, rates, behind, release = 0, [], [], []
for (t0, s0), (t1, s1) in zip(start, end):
    rates.append((s1[1] - s0[1]) / (t1 - t0))
    playing += s1[0] - s0[0] >= seconds / 2 and s1[1] > s0[1]
for log_frames, (offset, _) in zip(frames, offsets):
    timed = [f for f in log_frames if f.get("rtpTimestamp") is not None
             and f.get("receiveTime") is not None]
    if not timed or not shown:
        continue
    base = timed[0]["rtpTimestamp"]
    rtp_ns = [((f["rtpTimestamp"] - base) % 2**32) / 90000 * 1e9 for f in timed]
    transit = min(f["receiveTime"] * 1e6 + offset - r for f, r in zip(timed, rtp_ns))
    for f, r in zip(timed, rtp_ns):
        display = f["expectedDisplayTime"] * 1e6 + offset
        if not window_from <= display < window_to:
            continue
        out = r + transit
        i = bisect.bisect_right(shown, out) - 1
        if i < 0:
            continue
        behind.append((display - shown[i]) / 1e6)
        release.append((out - shown[i]) / 1e6)

def pct(values, p):
    if not values:
        return "-"
    values = sorted(values)
    return "%.0f" % values[min(len(values) - 1, int(p / 100 * len(values)))]

first = sorted(s[2] for _, s in end if s[2] is not None)
span = (after[0] - before[0]) / 1e9
hz = __import__("os").sysconf("SC_CLK_TCK")
print(" ".join(str(x) for x in [
    f"{playing}/{count}", "%.1f" % min(rates),
    f"{pct(first, 50)}/{'%.0f' % first[-1] if first else '-'}",
    f"{pct(behind, 50)}/{pct(behind, 95)}", len(behind),
    "%.1f" % statistics.median(release) if release else "-",
    "%.1f" % (max(e for _, e in offsets) / 1e6),
    "%.1f" % ((after[1] - before[1]) / hz / span * 100), "%.0f/%.0f" % (rss, peak),
    "%.0f" % ((after[2] - before[2]) / (after[3] - before[3]) * 100)]))
EOF
}

# total NAME: the value of NAME= in $totals.
total() { sed -n "s/.* $1=\([0-9]*\).*/\1/p" <<< "$totals"; }

# run NAME CLIP VIEWERS: the cast, a receiver and vantorel-web; adds the run's row.
run() {
  local name=$1 clip=$2 count=$3 log=$work/$1
  VANTOREL_TIMING_LOG=$log.listen.log "$out/vantorel-listen" --play > /dev/null \
    2> "$log.listen.err" &
  local listener=$!
  started+=("$listener")
  wait_for_line "$log.listen.err" '^vantorel-listen: listening' 10 || fail "$name: no receiver"
  "$out/vantorel-web" --http-port "$http_port" --max-viewers "$count" > "$log.web.out" \
    2> "$log.web.err" &
  local web=$!
  started+=("$web")
  wait_for_line "$log.web.err" '^vantorel-web: serving http://' 15 || fail "$name: not serving"
  "$out/vantorel-cast" --unsigned --loop "$clip" > /dev/null 2> "$log.cast.err" &
  local cast=$!
  started+=("$cast")
  wait_for_line "$log.cast.err" '^vantorel-cast: broadcasting' 15 || fail "$name: no broadcast"
  read -r load _ < /proc/loadavg
  local figures
  figures=$(viewers "$page" "$count" "$seconds" "$skip" "$web" "$log.listen.log" \
    2> "$log.browser.err") || fail "$name: the browser failed"
  kill -INT "$web"
  wait "$web" || true
  kill -INT "$cast" "$listener"
  wait "$cast" "$listener" || true
  local totals
  totals=$(grep '^vantorel-web: viewers=' "$log.web.out") || fail "$name: no totals at exit"
  # shellcheck disable=SC2086  # the figures are words of the row
  row "$name" $figures "$(total transcoded)" "$(total encoder-in)/$(total encoder-out)" "$load"
  [[ ${figures%% *} != 0/* ]] || fail "$name: no page played"
  if [[ -n ${WEB_BENCH_LOGS:-} ]]; then
    mkdir -p "$WEB_BENCH_LOGS"
    cp "$log".* "$WEB_BENCH_LOGS"
  fi
}

# One line of the table: run, pages playing, lowest fps, first picture median/largest,
# behind median/95th, pictures joined, release less presentation, calibration error, web cpu,
# rss/peak, machine busy, transcoded, encoder in/out, load.
format='%-18s %6s %5s %11s %11s %6s %5s %4s %6s %9s %5s %5s %11s %5s'
rows=()
row() {
  # shellcheck disable=SC2059  # the format is the table's
  rows+=("$(printf "$format" "$@")")
}

run h264-pass-1 "$media/h264-keyint10.mp4" 1
run mpeg1-encode-1 "$media/mpeg1-av.mpg" 1
run mpeg1-encode-20 "$media/mpeg1-av.mpg" 20
run mjpeg720p-encode-5 "$hd" 5

echo "window ${seconds} s after ${skip} s once every page showed a picture; first: ms from" \
  "opening the page; behind: ms after the receiver presents the picture; n: pictures joined;" \
  "rel/cal: ms; cpu: vantorel-web, % of one core; rss: MB; mach: % of all $(nproc) cores busy"
# shellcheck disable=SC2059
printf "$format\n" run pages fps first-med/max behind-med/95 n rel cal cpu rss/peak mach trans \
  enc-in/out load
printf '%s\n' "${rows[@]}"
