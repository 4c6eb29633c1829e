# Sourced first by the bench scripts that broadcast: runs the script again inside a private
# network namespace (its first argument then reads --inside, taken off here), and checks that
# the links are that namespace's before anything is sent. Sets `root`, the project folder, and
# `work`, a scratch folder removed at exit, and brings in the waiting helpers (wait.sh).
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
if [[ ${1:-} != --inside ]]; then
  exec "$root/scripts/in-private-netns.sh" bash "$0" --inside "$@"
fi
shift
links=$(ip -o link show | awk -F': ' '{print $2}' | sed 's/@.*//' | sort | tr '\n' ' ')
[[ $links == "lo vt0 vt1 " ]] || { echo "not in the private namespace ($links)" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
source "$root/scripts/wait.sh"

# hd_clip BUILD_DIR: the path of the parity and signing benchmarks' 720p clip, made once: 10 s
# of MJPEG at 25 fps with PCM sound, about 25 Mbit/s.
hd_clip() {
  local hd=$1/bench-media/mjpeg-720p.avi
  if [[ ! -s $hd ]]; then
    mkdir -p "$(dirname "$hd")"
    gst-launch-1.0 -q videotestsrc num-buffers=250 pattern=smpte \
      ! video/x-raw,width=1280,height=720,framerate=25/1 ! videoconvert ! jpegenc quality=97 \
      ! queue ! mux.video_0 audiotestsrc num-buffers=431 samplesperbuffer=1024 freq=440 \
      ! audioconvert ! audio/x-raw,format=S16LE,channels=2 ! queue ! mux.audio_0 \
      avimux name=mux ! filesink location="$hd.part" > /dev/null
    mv "$hd.part" "$hd"
  fi
  echo "$hd"
}
