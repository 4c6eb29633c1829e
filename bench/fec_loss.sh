#!/usr/bin/env bash
# The share of sample messages delivered through a lossy link, with and without parity, inside
# a private network namespace: vantorel-cast sends to vantorel-relay on 127.0.0.1, which loses
# datagrams (seeded) and forwards the rest to vantorel-listen. For each clip and link, one
# line: samples sent and delivered, parity overhead (bytes and datagrams), and how long the
# rebuilt gaps waited (mean/max ms).
# With TRUST=1 the listener trusts the cast's key (and takes only what it signed); LINKS
# (separated by ';') and CLIPS (by spaces) narrow the runs.
#   [TRUST=1] [LINKS=...] [CLIPS=...] bench/fec_loss.sh [BUILD_DIR] [SECONDS] [FEC_PERCENT]
set -euo pipefail
# Everything below broadcasts: only ever inside a private network namespace.
source "$(dirname "$0")/in_namespace.sh"

build=${1:-$root/build}
seconds=${2:-10}
fec=${3:-20}
out=$build/out

hd=$(hd_clip "$build")
field() { sed -n "s/.*[ ^]$1=\([^ ]*\).*/\1/p" <<<" $2"; }
export XDG_CONFIG_HOME=$work/config XDG_STATE_HOME=$work/state
trust=()
[[ ${TRUST:-0} == 1 ]] && trust=(--trust "$("$out/vantorel-cast" --show-identity)")

# trial CLIP PERCENT LINK...: one run; prints the figures.
trial() {
  local clip=$1 percent=$2
  shift 2
  "$out/vantorel-listen" --port 6001 "${trust[@]}" > "$work/listen.out" 2> "$work/listen.err" &
  local listener=$!
  wait_for_line "$work/listen.err" '^vantorel-listen: listening' 10
  "$out/vantorel-relay" --listen 6000 --to 127.0.0.1:6001 --seed 11 "$@" > "$work/relay.out" \
    2> "$work/relay.err" &
  local relay=$!
  wait_for_line "$work/relay.err" '^vantorel-relay: relaying' 10
  timeout -s INT "$seconds" "$out/vantorel-cast" --loop --port 6000 --dest 127.0.0.1 \
    --fec "$percent" "$clip" 2> "$work/cast.err" || true
  wait_for_line "$work/listen.out" '^end-of-broadcast' 5 || true
  kill -INT "$listener" "$relay"
  wait "$listener" "$relay" || true
  local sent totals delivered
  sent=$(grep -o 'vantorel-cast: sent .*' "$work/cast.err")
  totals=$(tail -n1 "$work/listen.out")
  delivered=$(grep -cE ' kind=(14|24) ' "$work/listen.out" || true)
  local samples media parity pd datagrams
  samples=$(field samples "$sent")
  media=$(field media-bytes "$sent")
  parity=$(field parity-bytes "$sent")
  pd=$(field parity-datagrams "$sent")
  datagrams=$(field datagrams "$sent")
  awk -v clip="$(basename "$clip")" -v link="$*" -v pc="$percent" -v s="$samples" \
    -v d="$delivered" -v m="$media" -v p="$parity" -v pd="$pd" -v dg="$datagrams" \
    -v wait="$(field rebuild-wait-ms "$totals")" -v rec="$(field recovered "$totals")" \
    'BEGIN { printf "%-18s %-24s fec=%-3s sent=%-5d delivered=%-5d share=%6.2f%% parity-bytes=%5.1f%% parity-datagrams=%5.1f%% recovered=%s wait-ms=%s\n",
             clip, link, pc, s, d, 100 * d / s, (m > 0 ? 100 * p / m : 0),
             (dg > pd ? 100 * pd / (dg - pd) : 0), rec, wait }'
}

IFS=' ' read -r -a clips <<<"${CLIPS:-$build/test-media/mjpeg-pcm.avi $build/test-media/mpeg1-av.mpg $hd}"
IFS=';' read -r -a links <<<"${LINKS:---loss 0.01;--loss 0.05;--loss 0.2;--burst 0.01,0.3,1}"
for clip in "${clips[@]}"; do
  for link in "${links[@]}"; do
    for percent in 0 "$fec"; do
      # shellcheck disable=SC2086
      trial "$clip" "$percent" $link
    done
  done
done
