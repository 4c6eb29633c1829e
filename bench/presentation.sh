#!/usr/bin/env bash
# When receivers present what a sender plays, inside a private network namespace: a cast and
# two listeners that play (null outputs) log the moment they present each sample
# (VANTOREL_TIMING_LOG), and the logs are joined on the samples' wire times:
#  - picture delay: a picture presented by a listener less the same picture presented by the
#    cast (the cast's null output keeps time like a window would);
#  - skew: the same sample presented by the two listeners, audio and video;
#  - late: samples the listeners' outputs dropped as late.
# The first second after the listeners build their graphs is reported apart: that is where
# start-up lateness would show.
#   bench/presentation.sh [BUILD_DIR] [CLIP...]
set -euo pipefail
# Everything below broadcasts: only ever inside a private network namespace.
source "$(dirname "$0")/in_namespace.sh"

build=${1:-$root/build}
shift || true
clips=("$@")
((${#clips[@]} > 0)) || clips=("$build/test-media/mjpeg-pcm.avi" "$build/test-media/mpeg1-av.mpg")
out=$build/out

for clip in "${clips[@]}"; do
  rm -f "$work"/*
  for n in 1 2; do
    VANTOREL_TIMING_LOG=$work/listen$n.log "$out/vantorel-listen" --play > "$work/listen$n.out" \
      2> "$work/listen$n.err" &
    eval "listener$n=\$!"
  done
  wait_for_line "$work/listen1.err" '^vantorel-listen: listening' 10
  wait_for_line "$work/listen2.err" '^vantorel-listen: listening' 10
  VANTOREL_TIMING_LOG=$work/cast.log "$out/vantorel-cast" "$clip" 2> /dev/null
  sleep 1
  # shellcheck disable=SC2154
  kill -INT "$listener1" "$listener2"
  wait "$listener1" "$listener2" || true
  late=$(grep -h '^stream=' "$work"/listen?.out | sed 's/.*stream=\([a-z]*\) .* late=\([0-9]*\).*/\1:\2/' |
         paste -sd, - || true)
  awk -v clip="$(basename "$clip")" -v late="$late" '
    function at(line) { return substr(line, index(line, "at-ns=") + 6) + 0 }
    function field(line, name,   s) { s = substr(line, index(line, name "=") + length(name) + 1);
                                     sub(/ .*/, "", s); return s }
    FNR == 1 { file++ }
    /^present/ {
      key = field($0, "stream") " " field($0, "start"); t = at($0)
      if (file == 1) { cast[key] = t } else if (file == 2) { one[key] = t; if (!first || t < first) first = t }
      else { two[key] = t }
    }
    END {
      for (k in one) {
        steady = one[k] > first + 1e9
        if (k ~ /^video/ && (k in cast)) {
          d = (one[k] - cast[k]) / 1e6
          if (steady) { ds += d; dn++; if (d > dmax) dmax = d; if (!dmin || d < dmin) dmin = d }
          else { if (d > smax) smax = d }
        }
        if (k in two) {
          s = (one[k] - two[k]) / 1e6; if (s < 0) s = -s
          split(k, part, " ")
          if (s > skew[part[1]]) skew[part[1]] = s
          sum[part[1]] += s; cnt[part[1]]++
        }
      }
      printf "%-16s picture-delay-ms mean=%.1f min=%.1f max=%.1f (first second max=%.1f) " \
             "skew-ms audio mean=%.2f max=%.2f video mean=%.2f max=%.2f listeners %s\n",
             clip, dn ? ds / dn : 0, dmin, dmax, smax,
             cnt["audio"] ? sum["audio"] / cnt["audio"] : 0, skew["audio"],
             cnt["video"] ? sum["video"] / cnt["video"] : 0, skew["video"], late
    }' "$work/cast.log" "$work/listen1.log" "$work/listen2.log"
done
