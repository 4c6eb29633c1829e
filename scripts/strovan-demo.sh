#!/usr/bin/env bash
# Shows Strovan at work without touching the real network: inside a private network namespace
# a virtual X server runs Strovan on a generated clip given on its command line, and
# vantorel-listen (with --play when it has it) receives the broadcast in the same namespace.
# Prints what the listener reports and saves a screenshot of the screen while the clip plays.
#   scripts/strovan-demo.sh [OUT_DIR [MEDIA_FILE [SCREENSHOT]]]
# OUT_DIR holds strovan and vantorel-listen (default build/out); MEDIA_FILE defaults to the
# generated MPEG-1 test file; SCREENSHOT defaults to strovan-demo.png in the current folder.
# STROVAN_DEMO_SECONDS sets how long Strovan plays (default 6); STROVAN_DEMO_GEOMETRY (WxH+X+Y)
# places the window, as the X server has no window manager to do it.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=$(cd "${1:-$root/build/out}" && pwd)
media=${2:-}
shot=${3:-$PWD/strovan-demo.png}
seconds=${STROVAN_DEMO_SECONDS:-6}

if [[ -z $media ]]; then
  "$root/tools/make-test-media" "$out/../test-media" >/dev/null
  media=$(cd "$out/../test-media" && pwd)/mpeg1-av.mpg
fi
[[ $shot = /* ]] || shot=$PWD/$shot
for program in strovan vantorel-listen; do
  [[ -x $out/$program ]] || { echo "strovan-demo: $out/$program is missing; build first" >&2; exit 1; }
done

# Everything below broadcasts: it runs only inside a namespace made for it.
if [[ ${VANTOREL_NETNS_INSIDE:-} != "$$-inside" ]]; then
  exec "$root/scripts/in-private-netns.sh" "$0" "$out" "$media" "$shot"
fi

source "$root/scripts/wait.sh"
work=$(mktemp -d)
listener=
cleanup() {
  [[ -n $listener ]] && kill "$listener" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# An upper bound: the listener is stopped once Strovan's end of broadcast has reached it.
listen_args=(--seconds $((seconds + 40)))
listen_help=$("$out/vantorel-listen" --help 2>&1 || true)
if [[ $listen_help == *--play* ]]; then
  listen_args+=(--play)
fi
"$out/vantorel-listen" "${listen_args[@]}" >"$work/listen.out" 2>"$work/listen.err" &
listener=$!
wait_for_line "$work/listen.err" '^vantorel-listen: listening' 10

# Strovan plays the clip from its command line; the screenshot is taken halfway, then SIGTERM
# closes the window as its close button does (the end-of-broadcast datagrams go out).
env -u QT_QPA_PLATFORM xvfb-run -a -s "-screen 0 800x600x24" bash -c '
  "$0/strovan" ${STROVAN_DEMO_GEOMETRY:+-qwindowgeometry "$STROVAN_DEMO_GEOMETRY"} "$1" \
    2>"$4/strovan.err" &
  sender=$!
  # The clip plays for its seconds from the moment the window shows (a sanitizer build
  # starts slowly); the screenshot is taken halfway.
  source "$5/scripts/wait.sh"
  wait_until 30 window_shown "[Strovan]" || true
  sleep $(("$3" / 2))
  import -window root "$2"
  sleep $(("$3" - "$3" / 2))
  kill -TERM "$sender"
  wait "$sender"
' "$out" "$media" "$shot" "$seconds" "$work" "$root"

wait_for_line "$work/listen.out" '^end-of-broadcast$' 10 || true
kill -INT "$listener" 2>/dev/null || true
wait "$listener" || true
listener=
lines=$(wc -l <"$work/listen.out")
echo "vantorel-listen ${listen_args[*]} reported $lines lines:"
if ((lines > 24)); then
  head -n 8 "$work/listen.out"
  echo "  ... ($((lines - 20)) more lines) ..."
  tail -n 12 "$work/listen.out"
else
  cat "$work/listen.out"
fi
if [[ -s $work/listen.err ]]; then
  echo "vantorel-listen said:"
  cat "$work/listen.err"
fi
echo "screenshot: $shot"
