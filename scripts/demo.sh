#!/usr/bin/env bash
# Installs what is missing, builds, and shows the wire path at work: inside a private network
# namespace (nothing reaches the real network) a synthetic sender broadcasts for a few seconds
# and vantorel-listen prints every message it rebuilds, then its totals.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"
"$root/scripts/build.sh" "$root/build"
exec "$root/scripts/in-private-netns.sh" bash -c '
  out="$0"
  "$out/vantorel-listen" --seconds 6 &
  listener=$!
  sleep 0.5
  "$out/vantorel-wire-demo" --seconds 4 --rate 20
  wait $listener
' "$root/build/out"
