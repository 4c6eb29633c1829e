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
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; echo "--- listen output:" >&2; cat "$work/listen.out" >&2 || true; exit 1; }

# field NAME LINE: the value of NAME=VALUE in a line
field() { sed -n "s/.*[ ^]$1=\([^ ]*\).*/\1/p" <<<" $2"; }

echo "== one sender: every message, in order, then the end of broadcast"
"$out/vantorel-listen" --seconds 5 > "$work/listen.out" 2> "$work/listen.err" &
listener=$!
wait_for_line "$work/listen.err" '^vantorel-listen: listening' 5 || fail "vantorel-listen not ready"
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

echo "== two senders: the first one heard wins"
"$out/vantorel-listen" --seconds 5 > "$work/listen.out" 2> "$work/listen.err" &
listener=$!
wait_for_line "$work/listen.err" '^vantorel-listen: listening' 5 || fail "vantorel-listen not ready"
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

echo "PASS"
