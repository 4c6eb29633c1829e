#!/usr/bin/env bash
# Attacks on a receiver that trusts one sender, carried out while that sender plays, inside a
# private network namespace that the script makes itself. vantorel-cast --loop signs as the
# test's identity; for each attack one vantorel-listen trusts it and another is open, to show
# what the attack does to a receiver that checks nothing. spoof.py records the broadcasts and
# forges datagrams under the signed sender's own address and port:
#   - an original-format (unsigned) sender plays on the open listener only;
#   - another broadcast's pictures and ends of broadcast under the sender's address;
#   - a recording of the sender's broadcast, signatures and all, sent again seconds later;
#   - the sender's parity datagrams with their symbols inverted;
#   - the sender paused for 3 s while an unsigned sender takes the air.
#   trust_attack_test.sh PROGRAM_FOLDER MEDIA_FOLDER
set -euo pipefail
source "$(dirname "$0")/in_namespace.sh"
spoof=(python3 "$here/spoof.py")
signed_clip=$media/mpeg1-av.mpg
other_clip=$media/mjpeg-pcm.avi
cast=
# A paused sender would outlive the test: it is woken before it is killed.
trap '{ [[ -z $cast ]] || kill -CONT "$cast"; kill $(jobs -p); } 2>/dev/null || true; rm -rf "$work"' EXIT
fail() {
  echo "FAIL: $*" >&2
  for f in "$work"/*.out "$work"/*.err; do echo "--- $f" >&2; tail -n 5 "$f" >&2; done
  exit 1
}

# listen NAME [PATTERN]: a trusting and an open vantorel-listen, once both listen (and have
# printed a line that matches PATTERN).
listen() {
  "$out/vantorel-listen" --trust "$fingerprint" > "$work/$1.trust.out" 2> "$work/$1.trust.err" &
  trust_pid=$!
  "$out/vantorel-listen" > "$work/$1.open.out" 2> "$work/$1.open.err" &
  open_pid=$!
  local side
  for side in trust open; do
    wait_for_line "$work/$1.$side.err" '^vantorel-listen: listening' 10 || fail "$1: no $side listener"
    [[ -z ${2:-} ]] || wait_for_line "$work/$1.$side.out" "$2" 10 || fail "$1: $side saw no $2"
  done
}

# still_playing NAME: the trusting listener delivers 30 more of the signed sender's messages.
still_playing() {
  local heard
  heard=$(grep -c '^message=' "$work/$1.trust.out" || true)
  wait_for_line "$work/$1.trust.out" '^message=' 10 $((heard + 30)) ||
    fail "$1: the signed sender's messages stopped"
}

# interrupt PID WHAT: Ctrl+C ends the program in order, with status 130.
interrupt() {
  kill -INT "$1"
  local status=0
  wait "$1" || status=$?
  ((status == 130)) || fail "$2 failed ($status)"
}

# stop NAME: ends both listeners; trust and open are their totals lines.
stop() {
  interrupt "$trust_pid" "$1: the trusting listener"
  interrupt "$open_pid" "$1: the open listener"
  trust=$(tail -n1 "$work/$1.trust.out")
  open=$(tail -n1 "$work/$1.open.out")
  local f
  for f in trust open; do
    echo "  $f: $(grep -c '^message=' "$work/$1.$f.out") messages;" \
      "$(grep -oE '(delivered|lost-messages|sender-changes|repeated|parity|signed|unsigned|replayed|other-sender)=[^ ]*' <<<"${!f}" | tr '\n' ' ')"
  done
}

# out_of_order FILE: how many delivered messages do not follow the one before in number (the
# signed sender numbers its messages in order, on through every loop).
out_of_order() {
  awk -F '[= ]' '/^message=/ { if (n++ && $2 <= last) bad++; last = $2 } END { print bad + 0 }' "$1"
}

# untouched NAME [ENDS [LOST]]: what the trusting listener delivered is the signed sender's
# alone, in order, each message once, at most LOST (default none) lost, with no change of
# sender and ENDS (default none) ends of broadcast, after the last message.
untouched() {
  local output=$work/$1.trust.out
  [[ $(field sender-changes "$trust") == 0 ]] || fail "$1: the trusting listener changed sender"
  [[ $(field sender-fingerprint "$trust") == "$fingerprint" ]] || fail "$1: not signed by us"
  [[ $(grep -c '^end-of-broadcast' "$output") == "${2:-0}" ]] ||
    fail "$1: the trusting listener saw $(grep -c '^end-of-broadcast' "$output") ends"
  sed -n '/^end-of-broadcast/,$p' "$output" | grep -q '^message=' &&
    fail "$1: the trusting listener went on after an end"
  grep -qF -- "$other_records" "$output" && fail "$1: the trusting listener played the other clip"
  grep -qF -- "$signed_records" "$output" || fail "$1: no description of the signed clip"
  local disorder
  disorder=$(out_of_order "$output")
  ((disorder == 0)) || fail "$1: $disorder messages out of the sender's order"
  (($(field lost-messages "$trust") <= ${3:-0})) || fail "$1: messages lost: $trust"
}

fingerprint=$("$out/vantorel-cast" --show-identity)

echo "== an original-format sender plays on the open listener only"
listen peer
"$out/vantorel-cast" --unsigned --loop "$other_clip" 2> "$work/peer.cast.err" &
peer=$!
wait_for_line "$work/peer.cast.err" '^vantorel-cast: broadcasting' 10 || fail "no unsigned cast"
# Its broadcast, for the forgeries under the signed sender's address.
"${spoof[@]}" capture "$work/other.rec" 2 > "$work/other.sources" 2> "$work/other.err"
wait_for_line "$work/peer.open.out" ' kind=(14|24) ' 10 20 || fail "the open listener plays nothing"
interrupt "$peer" "the unsigned cast"
wait_for_line "$work/peer.open.out" '^end-of-broadcast' 5 || fail "no end of the unsigned cast"
stop peer
other_records=$(grep -m1 ' kind=10 ' "$work/peer.open.out" | grep -o ' record=.*') ||
  fail "the open listener shows no description"
grep -q '^message=' "$work/peer.trust.out" && fail "the trusting listener played unsigned messages"
grep -q '^end-of-broadcast' "$work/peer.trust.out" && fail "the trusting listener took an unsigned end"
(($(field unsigned "$trust") > 0)) || fail "no unsigned datagram counted: $trust"

echo "== the signed sender"
"$out/vantorel-cast" --loop "$signed_clip" > "$work/cast.out" 2> "$work/cast.err" &
cast=$!
wait_for_line "$work/cast.err" '^vantorel-cast: broadcasting' 10 || fail "no signed cast"
"${spoof[@]}" capture "$work/signed.rec" 2 > "$work/signed.sources" 2> "$work/signed.err"
# The source that signs is the sender; the forgeries take its address and port.
sender=$(sed -n 's/^source=\([^ ]*\) .* signature=[1-9].*/\1/p' "$work/signed.sources")
[[ $sender =~ ^[0-9.]+:[0-9]+$ ]] || fail "no single signing source: $(cat "$work/signed.sources")"
echo "  signs from $sender: $(grep -F "$sender" "$work/signed.sources")"

echo "== another broadcast's pictures and ends of broadcast under the sender's address"
listen forged ' kind=10 '
signed_records=$(grep -m1 ' kind=10 ' "$work/forged.trust.out" | grep -o ' record=.*')
[[ $signed_records != "$other_records" ]] || fail "the two clips have the same description"
"${spoof[@]}" send "$work/other.rec" --as "$sender" --keys 6666 > "$work/forged.spoof"
"${spoof[@]}" end --as "$sender" 5 >> "$work/forged.spoof"
still_playing forged
stop forged
untouched forged
grep -q '^end-of-broadcast' "$work/forged.open.out" || fail "the forged ends did not arrive"
forged=$(awk -F 'datagrams=' '{ n += $2 } END { print n + 0 }' "$work/forged.spoof")
(($(field unsigned "$trust") >= forged)) || fail "not all $forged forgeries were refused: $trust"

echo "== the sender's broadcast recorded and sent again"
listen replay ' kind=10 '
"${spoof[@]}" send "$work/signed.rec" --as "$sender" > "$work/replay.spoof"
still_playing replay
stop replay
untouched replay
(($(field replayed "$trust") > 0)) || fail "no signature counted as replayed: $trust"
(($(out_of_order "$work/replay.open.out") > 0)) ||
  fail "the replay did not arrive: the open listener delivered everything in order"

echo "== the sender's parity with its symbols inverted"
listen parity ' kind=10 '
"${spoof[@]}" send "$work/signed.rec" --as "$sender" --keys 7777 --corrupt > "$work/parity.spoof"
forged=$(field datagrams "$(cat "$work/parity.spoof")")
still_playing parity
stop parity
untouched parity
((forged > 0 && $(field unsigned "$trust") >= forged)) ||
  fail "not all of the $forged forged parity datagrams were refused: $trust"

echo "== the sender paused for 3 s while an unsigned sender takes the air"
listen pause ' kind=10 '
kill -STOP "$cast"
paused=$(date +%s%N)
"$out/vantorel-cast" --unsigned --loop "$other_clip" 2> "$work/pause.cast.err" &
peer=$!
# The open listener takes the other sender once the paused one has been silent for 2 s.
wait_for_line "$work/pause.open.out" '^sender-changed ' 10 || fail "the open listener kept the lock"
wait_for_line "$work/pause.open.out" "$other_records" 10 || fail "the open listener plays no other"
left_ms=$((3000 - ($(date +%s%N) - paused) / 1000000))
((left_ms <= 0)) || sleep "$((left_ms / 1000)).$(printf %03d $((left_ms % 1000)))"
kill -CONT "$cast"
still_playing pause
interrupt "$peer" "the unsigned cast"
interrupt "$cast" "the signed cast"
cast=
wait_for_line "$work/pause.trust.out" '^end-of-broadcast' 5 || fail "the signed end was not taken"
stop pause
# The group the sender was stopped in got its signature 3 s late, past the 100 ms a datagram
# is held: its messages are lost, up to one per datagram a signature covers (right after the
# clip starts again, a burst of a dozen).
untouched pause 1 64
grep 'vantorel-cast: sent' "$work/cast.err"
echo "PASS"
