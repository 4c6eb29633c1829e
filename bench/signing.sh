#!/usr/bin/env bash
# What signing costs, inside a private network namespace:
#  - the sender: processor time (user + system) of vantorel-cast sending a clip for a while to
#    127.0.0.1, signed and --unsigned, runs alternated;
#  - the receivers: one signed cast and two vantorel-listen --play, one open and one trusting
#    the cast's key, both logging when they present each sample (VANTOREL_TIMING_LOG). For
#    each: the sample messages delivered, and the picture delay (a picture presented by the
#    listener less the same picture presented by the cast), steady state (after the first
#    second).
#   bench/signing.sh [BUILD_DIR] [SECONDS] [RUNS]
set -euo pipefail
# Everything below broadcasts: only ever inside a private network namespace.
source "$(dirname "$0")/in_namespace.sh"

build=${1:-$root/build}
seconds=${2:-10}
runs=${3:-3}
out=$build/out
export XDG_CONFIG_HOME=$work/config XDG_STATE_HOME=$work/state

hd=$(hd_clip "$build")
fingerprint=$("$out/vantorel-cast" --show-identity)

# cpu CLIP [--unsigned]: processor seconds of one cast of SECONDS.
cpu() {
  local clip=$1
  shift
  /usr/bin/time -f 'cpu %U %S' -o "$work/time" timeout -s INT "$seconds" "$out/vantorel-cast" \
    --loop --port 6009 --dest 127.0.0.1 "$@" "$clip" 2> /dev/null || true
  awk '$1 == "cpu" { printf "%.2f", $2 + $3 }' "$work/time"
}

for clip in "$hd" "$build/test-media/mpeg1-av.mpg"; do
  signed=() plain=()
  for ((r = 0; r < runs; r++)); do
    plain+=("$(cpu "$clip" --unsigned)")
    signed+=("$(cpu "$clip")")
  done
  awk -v clip="$(basename "$clip")" -v s="${signed[*]}" -v p="${plain[*]}" 'BEGIN {
    n = split(s, a, " "); split(p, b, " ")
    for (i = 1; i <= n; i++) { ss += a[i]; ps += b[i] }
    printf "%-16s cast cpu-s signed=%.2f unsigned=%.2f (runs: %s / %s) signing costs %.1f%%\n",
           clip, ss / n, ps / n, s, p, 100 * (ss - ps) / ps }'
done

for clip in "$hd" "$build/test-media/mpeg1-av.mpg"; do
  rm -f "$work"/*.log "$work"/*.out "$work"/*.err
  VANTOREL_TIMING_LOG=$work/open.log "$out/vantorel-listen" --play > "$work/open.out" \
    2> "$work/open.err" &
  open=$!
  VANTOREL_TIMING_LOG=$work/trust.log "$out/vantorel-listen" --play --trust "$fingerprint" \
    > "$work/trust.out" 2> "$work/trust.err" &
  trusting=$!
  wait_for_line "$work/open.err" '^vantorel-listen: listening' 10
  wait_for_line "$work/trust.err" '^vantorel-listen: listening' 10
  VANTOREL_TIMING_LOG=$work/cast.log "$out/vantorel-cast" "$clip" 2> "$work/cast.err"
  sleep 1
  kill -INT "$open" "$trusting"
  wait "$open" "$trusting" || true
  sent=$(sed -n 's/.*sent samples=\([0-9]*\).*/\1/p' "$work/cast.err")
  for who in open trust; do
    delivered=$(grep -cE ' kind=(14|24) ' "$work/$who.out" || true)
    awk -v clip="$(basename "$clip")" -v who="$who" -v sent="$sent" -v got="$delivered" '
      function at(line) { return substr(line, index(line, "at-ns=") + 6) + 0 }
      function field(line, name,   s) { s = substr(line, index(line, name "=") + length(name) + 1);
                                       sub(/ .*/, "", s); return s }
      FNR == 1 { file++ }
      /^present/ {
        key = field($0, "stream") " " field($0, "start"); t = at($0)
        if (file == 1) { cast[key] = t } else { one[key] = t; if (!first || t < first) first = t }
      }
      END {
        for (k in one) {
          if (k !~ /^video/ || !(k in cast) || one[k] <= first + 1e9) continue
          d = (one[k] - cast[k]) / 1e6; ds += d; dn++; if (d > dmax) dmax = d
        }
        printf "%-16s %-5s samples %d/%d (%.2f%%) picture-delay-ms mean=%.1f max=%.1f\n",
               clip, who, got, sent, sent ? 100 * got / sent : 0, dn ? ds / dn : 0, dmax
      }' "$work/cast.log" "$work/$who.log"
  done
  grep -o 'signatures=.*' "$work/trust.out" | tail -n1 | sed "s/^/  trusting listener: /"
done
