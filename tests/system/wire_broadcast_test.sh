#!/usr/bin/env bash
# The wire path across real sockets: synthetic senders broadcast to 255.255.255.255 and
# vantorel-listen receives. Runs only inside a private network namespace, which it makes itself.
#   wire_broadcast_test.sh PROGRAM_FOLDER
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
out=$(cd "$1" && pwd)
if [[ ${VANTOREL_NETNS_INSIDE:-} != "$$-inside" ]]; then
  exec "$here/../../scripts/in-private-netns.sh" bash "$0" "$out"
fi

source "$here/../../scripts/wait.sh"
work=$(mktemp -d)
# Identities, trusted senders and counters of the test alone, never the user's.
export XDG_CONFIG_HOME=$work/config XDG_STATE_HOME=$work/state
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; echo "--- listen output:" >&2; cat "$work/listen.out" >&2 || true; exit 1; }

# start_listener SECONDS: vantorel-listen in the background ($listener), once it listens.
start_listener() {
  "$out/vantorel-listen" --seconds "$1" > "$work/listen.out" 2> "$work/listen.err" &
  listener=$!
  wait_for_line "$work/listen.err" '^vantorel-listen: listening' 5 || fail "vantorel-listen not ready"
}

# field NAME LINE: the value of NAME=VALUE in a line
field() { sed -n "s/.*[ ^]$1=\([^ ]*\).*/\1/p" <<<" $2"; }

echo "== one sender: every message, in order, then the end of broadcast"
start_listener 5
"$out/vantorel-wire-demo" --seconds 2 --rate 40 --session 3 --video-bytes 9000 2> "$work/demo.err"
wait $listener

first=$(head -n1 "$work/listen.out")
[[ $(field kind "$first") == 10 ]] || fail "first message is not a stream description"
[[ $(field records "$first") == 2 ]] || fail "description does not carry two records"
grep -q ' record=11:3:15:3:88 record=21:3:3:5:18' <<<"$first" || fail "records wrong: $first"
numbers=$(grep '^message=' "$work/listen.out" | sed 's/^message=\([0-9]*\).*/\1/')
expected=$(seq 0 $(( $(wc -l <<<"$numbers") - 1 )))
[[ $numbers == "$expected" ]] || fail "message numbers have gaps or are out of order"
samples=$(grep -c ' kind=14 \| kind=24 ' "$work/listen.out")
[[ $samples -eq 80 ]] || fail "expected 80 samples, got $samples"
[[ $(grep -c ' kind=16 \| kind=26 ' "$work/listen.out") -eq 2 ]] || fail "segment starts missing"
descriptions=$(grep -c ' kind=10 ' "$work/listen.out")
(( descriptions >= 2 && descriptions <= 4 )) || fail "expected about one description a second, got $descriptions"
grep -q '^end-of-broadcast$' "$work/listen.out" || fail "no end of broadcast"
totals=$(tail -n1 "$work/listen.out")
[[ $(field dropped "$totals") == 0 ]] || fail "datagrams dropped: $totals"
[[ $(field lost-messages "$totals") == 0 ]] || fail "messages lost: $totals"

echo "== two senders: the first one heard wins"
start_listener 5
"$out/vantorel-wire-demo" --seconds 3 --rate 20 --session 1 2> /dev/null &
first_sender=$!
wait_for_line "$work/listen.out" 'record=11:1:' 3 || fail "first sender not heard"
"$out/vantorel-wire-demo" --seconds 1 --rate 20 --session 2 2> /dev/null
wait $first_sender
wait $listener

before_end=$(sed '/^end-of-broadcast$/q' "$work/listen.out")
grep -q 'record=11:1:' <<<"$before_end" || fail "first sender not heard"
if grep -q 'record=11:2:' <<<"$before_end"; then fail "second sender played"; fi
totals=$(tail -n1 "$work/listen.out")
(( $(field foreign-sender "$totals") > 0 )) || fail "second sender's datagrams not counted: $totals"
[[ $(field lost-fragment "$totals") == 0 ]] || fail "fragments lost: $totals"

echo "== a sender that falls silent loses the lock; one that pauses keeps it"
start_listener 20
"$out/vantorel-wire-demo" --seconds 15 --rate 20 --session 1 2> /dev/null &
sender_a=$!
wait_for_line "$work/listen.out" 'record=11:1:' 3 || fail "sender A not heard"
# Another sender while A is live is ignored.
"$out/vantorel-wire-demo" --seconds 0.5 --rate 20 --session 2 2> /dev/null
# A pauses for longer than the silence bound, with nobody else on the air: it keeps the lock.
kill -STOP "$sender_a"
sleep 2.5
kill -CONT "$sender_a"
heard=$(grep -c '^message=' "$work/listen.out")
wait_for_line "$work/listen.out" '^message=' 3 $((heard + 5)) || fail "A's samples stopped after its pause"
# A dies without ending its broadcast; B is played once A has been silent long enough.
kill -KILL "$sender_a"
wait "$sender_a" 2> /dev/null || true
b_start=$(date +%s%N)
"$out/vantorel-wire-demo" --seconds 6 --rate 20 --session 3 2> /dev/null &
sender_b=$!
# received: a message of B's delivered after the change of sender
received_from_b() { sed -n '/^sender-changed /,$p' "$work/listen.out" | grep -q '^message='; }
wait_until 5 received_from_b || fail "nothing of sender B received after A died"
b_ms=$((($(date +%s%N) - b_start) / 1000000))
wait_for_line "$work/listen.out" 'record=11:3:' 3 || fail "sender B's description not received"
wait "$sender_b"
wait $listener
grep -q 'record=11:2:' "$work/listen.out" && fail "the sender heard while A was live played"
[[ $(grep -c '^sender-changed ' "$work/listen.out") -eq 1 ]] || fail "expected one change of sender"
totals=$(tail -n1 "$work/listen.out")
[[ $(field sender-changes "$totals") == 1 ]] || fail "sender change not counted: $totals"
(( $(field foreign-sender "$totals") > 0 )) || fail "the foreign sender was not counted: $totals"
echo "ok: B received ${b_ms} ms after it started (A silent since then)"
((b_ms <= 3000)) || fail "B took ${b_ms} ms to be received"

echo "PASS"
