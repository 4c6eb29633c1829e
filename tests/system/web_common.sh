# Sourced by the browser system tests after in_namespace.sh: vantorel-web and its page on the
# namespace's address, and the helpers that start, stop and ask it.
#   web_args   options every `web` passes before its own (the test sets them)
address=10.77.0.1
port=8080
page=http://$address:$port/
web_args=()

# fail MESSAGE: the last lines of every program's output, then the test fails.
fail() {
  echo "FAIL: $*" >&2
  for f in "$work"/*.out "$work"/*.err; do echo "--- $f" >&2; tail -n 8 "$f" >&2; done
  exit 1
}
# web NAME ARGS...: a vantorel-web in the background (its pid in NAME_pid), once it serves.
web() {
  local name=$1
  shift
  timeout -k 5 120 "$out/vantorel-web" "${web_args[@]}" "$@" \
    >"$work/$name.out" 2>"$work/$name.err" &
  eval "${name}_pid=$!"
  # The line vantorel-web prints once its server listens.
  wait_for_line "$work/$name.err" '^vantorel-web: serving http://' 15 || fail "$name: not serving"
}
# stop NAME: interrupts the program NAME and checks that it ended well.
stop() {
  local pid_var=${1}_pid status=0
  kill -INT "${!pid_var}"
  wait "${!pid_var}" || status=$?
  ((status == 0 || status == 130)) || fail "$1: exit status $status"
}
# status_field NAME: that field of the server's /status now.
status_field() {
  curl -fsS --max-time 2 "${page}status" |
    /usr/bin/python3 -c "import json,sys; print(json.load(sys.stdin)['$1'])"
}
