# Waiting helpers for the system scripts, sourced by them: they wait for what a program says
# or does, never for a fixed time.

# wait_for_line FILE PATTERN SECONDS [COUNT]: until COUNT lines (default 1) of FILE match the
# extended regular expression PATTERN; fails after SECONDS.
wait_for_line() {
  local file=$1 pattern=$2 tries=$(($3 * 20)) count=${4:-1} n
  for ((i = 0; i < tries; ++i)); do
    n=$(grep -cE -- "$pattern" "$file" 2>/dev/null) || true
    ((${n:-0} >= count)) && return 0
    sleep 0.05
  done
  echo "waited $3 s for '$pattern' in $file" >&2
  return 1
}

# wait_until SECONDS COMMAND...: until COMMAND succeeds; fails after SECONDS.
wait_until() {
  local tries=$(($1 * 20))
  shift
  for ((i = 0; i < tries; ++i)); do
    "$@" >/dev/null 2>&1 && return 0
    sleep 0.05
  done
  echo "waited for: $*" >&2
  return 1
}

# udp_port_bound PORT: something in this network namespace receives on UDP PORT.
udp_port_bound() {
  ss -Hlun "sport = :$1" | grep -q .
}

# window_shown TEXT: the X server shows a window whose title contains TEXT.
window_shown() {
  xwininfo -root -tree | grep -F -- "$1" | grep -q '"'
}
