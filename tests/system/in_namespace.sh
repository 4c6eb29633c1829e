# Sourced first by the system tests called as `TEST.sh PROGRAM_FOLDER MEDIA_FOLDER`: runs the
# test again inside a private network namespace, then sets `here`, `out` and `media`, a scratch
# folder `work` removed at exit (the test's background jobs killed first), the waiting helpers
# (wait.sh), `fail MESSAGE` and `field NAME LINE` (the value of NAME=… in LINE).
here=$(cd "$(dirname "$0")" && pwd)
out=$(cd "$1" && pwd)
media=$(cd "$2" && pwd)
if [[ ${VANTOREL_NETNS_INSIDE:-} != "$$-inside" ]]; then
  exec "$here/../../scripts/in-private-netns.sh" bash "$0" "$out" "$media"
fi
source "$here/../../scripts/wait.sh"
work=$(mktemp -d)
# Identities, trusted senders and counters of the test alone, never the user's.
export XDG_CONFIG_HOME=$work/config XDG_STATE_HOME=$work/state
trap 'kill $(jobs -p) 2>/dev/null || true; rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
field() { sed -n "s/.*[ ^]$1=\([^ ]*\).*/\1/p" <<<" $2"; }
