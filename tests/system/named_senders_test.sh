#!/usr/bin/env bash
# Two named senders on one network, inside a private network namespace that the script makes
# itself: vantorel-cast --name North plays a clip with a picture and sound, vantorel-cast --name
# "Saal Süd" one with sound alone (so each listener's stream descriptions tell who it plays).
#   - a listener that lists the senders sees both, with their names, clips and states;
#   - a listener that prefers "Saal Süd" plays North while "Saal Süd" is off the air, leaves
#     North for it as soon as it comes on the air, and goes back to North when it has gone;
#   - a listener given --sender "Saal Süd" plays that one alone.
#   named_senders_test.sh PROGRAM_FOLDER MEDIA_FOLDER
set -euo pipefail
source "$(dirname "$0")/in_namespace.sh"
north_clip=$media/mpeg1-av.mpg  # stream descriptions with flags=3: a picture and sound
south_clip=$media/tone.wav      # flags=2: sound alone
south="Saal Süd"
fail() {
  echo "FAIL: $*" >&2
  for f in "$work"/*.out "$work"/*.err; do echo "--- $f" >&2; tail -n 8 "$f" >&2; done
  exit 1
}

# listen NAME ARGS...: a vantorel-listen in the background, once it listens.
listen() {
  local name=$1
  shift
  timeout -k 5 60 "$out/vantorel-listen" "$@" >"$work/$name.out" 2>"$work/$name.err" &
  eval "${name}_pid=$!"
  wait_for_line "$work/$name.err" '^vantorel-listen: listening' 10 || fail "$name: not listening"
}
# descriptions NAME FLAGS: how many stream descriptions with those flags NAME has delivered.
descriptions() { grep -c "kind=10 flags=$2 " "$work/$1.out" || true; }

listen prefer --prefer "$south"
listen only --sender "$south"
listen list --list-senders --seconds 6

timeout -k 5 60 "$out/vantorel-cast" --name North --loop "$north_clip" >"$work/north.out" 2>&1 &
north_pid=$!
# South is not on the air: the listener that prefers it plays North, the other one nothing.
wait_for_line "$work/prefer.out" 'kind=10 flags=3 ' 10 || fail "North did not play while alone"
timeout -k 5 60 "$out/vantorel-cast" --name "$south" --loop "$south_clip" >"$work/south.out" 2>&1 &
south_pid=$!
wait_for_line "$work/prefer.out" '^sender-chosen to=' 10 || fail "the preferred sender took nothing"
wait_for_line "$work/prefer.out" 'kind=10 flags=2 ' 10 || fail "the preferred sender did not play"
wait_for_line "$work/only.out" 'kind=10 flags=2 ' 10 || fail "--sender did not play its sender"
north_after_change=$(descriptions prefer 3)

# The list: one line per sender, its name, address, clip and state.
wait "$list_pid" || fail "the listing listener failed ($?)"
grep '^sender ' "$work/list.out" || fail "no sender listed"
[[ $(grep -c '^sender ' "$work/list.out") -eq 2 ]] || fail "not exactly two senders listed"
grep -qE '^sender name=North address=[0-9.]+:[0-9]+ playing=mpeg1-av\.mpg state=playing source=file ' \
  "$work/list.out" || fail "North is not listed as it plays"
grep -qF "sender name=\"$south\" " "$work/list.out" || fail "$south is not listed by its name"
grep -qE ' playing=tone\.wav state=playing .*signed-by=[0-9A-Z-]{24}$' "$work/list.out" ||
  fail "$south's clip or signer is missing"
grep -q '^message=' "$work/list.out" && fail "the listing listener printed messages"

# South goes off the air: the preferring listener goes back to North, and the one that takes
# South alone plays nothing more.
kill -INT "$south_pid"
wait "$south_pid" || true
wait_for_line "$work/prefer.out" '^end-of-broadcast$' 10 || fail "the end of $south was not seen"
only_before=$(grep -c '^message=' "$work/only.out" || true)
wait_for_line "$work/prefer.out" 'kind=10 flags=3 ' 10 $((north_after_change + 1)) ||
  fail "North did not play again once $south had gone"
only_after=$(grep -c '^message=' "$work/only.out" || true)
((only_after == only_before)) || fail "--sender took another sender ($only_before -> $only_after)"
[[ $(descriptions only 3) -eq 0 ]] || fail "--sender played North"

kill -INT "$prefer_pid" "$only_pid" "$north_pid"
wait "$prefer_pid" "$only_pid" || true
totals=$(tail -n 1 "$work/prefer.out")
echo "prefer: $totals"
(($(field announcements "$totals") > 0)) || fail "no announcement counted"
echo "PASS"
