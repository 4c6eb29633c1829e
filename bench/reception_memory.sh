#!/usr/bin/env bash
# The listening tool's memory under two loads, inside a private network namespace:
#  - rebuilds: short broadcasts one after the other, each ended by an end of broadcast, so the
#    reception and its playback graph are torn down and built again; RSS after 10, 100 and all.
#  - flood: a sender at full speed against a listener whose output nobody reads (its window
#    thread stalls on the full pipe); the listener's peak RSS.
#  - parity flood: a hostile sender's parity for every group shape a receiver may meet
#    (parity_flood.py), each enough to rebuild its group; the listener's peak RSS.
#  - signature flood: a hostile host's signatures naming a trusted key (none holds), of an
#    untrusted key, malformed ones and unsigned media (signature_flood.py) against a listener
#    that trusts the key; its peak RSS and what it counted.
#   bench/reception_memory.sh [BUILD_DIR] [REBUILDS] [FLOOD_SECONDS] [PARITY_SECONDS]
#                             [SIGNATURE_SECONDS]
set -euo pipefail
# Everything below broadcasts: only ever inside a private network namespace.
source "$(dirname "$0")/in_namespace.sh"

build=${1:-$root/build}
rebuilds=${2:-300}
flood=${3:-10}
parity_flood=${4:-20}
signature_flood=${5:-20}
out=$build/out
kb() { awk -v k="$2:" '$1 == k {print $2}' "/proc/$1/status"; }

"$out/vantorel-listen" --play > /dev/null 2> "$work/rebuild-listen.err" &
listener=$!
wait_for_line "$work/rebuild-listen.err" '^vantorel-listen: listening' 10
for i in $(seq 1 "$rebuilds"); do
  "$out/vantorel-wire-demo" --seconds 0.1 --rate 100 --session $((i % 256)) 2> /dev/null
  sleep 0.05
  if (( i == 10 || i == 100 || i == rebuilds )); then
    echo "rebuilds=$i rss-kb=$(kb $listener VmRSS)"
  fi
done
kill -INT "$listener"
wait "$listener" || true

"$out/vantorel-listen" > >(sleep $((flood + 10))) 2> "$work/flood-listen.err" &
listener=$!
wait_for_line "$work/flood-listen.err" '^vantorel-listen: listening' 10 || true
if ! kill -0 "$listener" 2> /dev/null; then
  wait "$listener" && status=0 || status=$?
  echo "the stalled listener ended at once (status $status)" >&2
  cat "$work/flood-listen.err" >&2
  exit 1
fi
"$out/vantorel-wire-demo" --seconds "$flood" --rate 4000 --video-bytes 60000 2> /dev/null
echo "flood-seconds=$flood stalled-listener-peak-rss-kb=$(kb $listener VmHWM) rss-kb=$(kb $listener VmRSS)"
kill -KILL "$listener"
wait "$listener" 2> /dev/null || true

"$out/vantorel-listen" --port 5938 > /dev/null 2> "$work/parity-listen.err" &
listener=$!
wait_for_line "$work/parity-listen.err" '^vantorel-listen: listening' 10
python3 "$root/bench/parity_flood.py" 127.0.0.1 5938 "$parity_flood"
echo "parity-flood-seconds=$parity_flood listener-peak-rss-kb=$(kb $listener VmHWM)" \
  "rss-kb=$(kb $listener VmRSS)"
kill -INT "$listener"
wait "$listener" || true

export XDG_CONFIG_HOME=$work/config XDG_STATE_HOME=$work/state
"$out/vantorel-cast" --show-identity > "$work/fingerprint"
seed=$(sed -n 's/^ed25519-seed //p' "$XDG_CONFIG_HOME/vantorel/identity")
"$out/vantorel-listen" --port 5939 --trust "$(cat "$work/fingerprint")" > "$work/trust-listen.out" \
  2> "$work/trust-listen.err" &
listener=$!
wait_for_line "$work/trust-listen.err" '^vantorel-listen: listening' 10
python3 "$root/bench/signature_flood.py" "$seed" 127.0.0.1 5939 "$signature_flood"
echo "signature-flood-seconds=$signature_flood listener-peak-rss-kb=$(kb $listener VmHWM)" \
  "rss-kb=$(kb $listener VmRSS) cpu-s=$(ps -o cputime= -p $listener)"
kill -INT "$listener"
wait "$listener" || true
grep -o 'dropped=[0-9]*\|unsigned=[0-9]*\|bad-signature=[0-9]*\|untrusted=[0-9]*\|unchecked=[0-9]*\|malformed-signatures=[0-9]*' \
  "$work/trust-listen.out" | paste -sd' ' -
