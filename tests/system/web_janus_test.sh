#!/usr/bin/env bash
# vantorel-web publishing through a Janus server, inside a private network namespace that the
# script makes itself. The server is the Debian package's, started with a configuration folder
# of the test's own (janus_config.sh: the HTTP transport and the streaming plugin alone, no
# STUN, ICE on the namespace's address and ports 20000-20999, mountpoints on 21000-21099):
#   - vantorel-web started before the server says once that it cannot reach it, keeps serving
#     its page, and makes its mountpoint as soon as the server is up;
#   - /status names the server and the mountpoint; the page opened with ?via=janus plays the
#     broadcast from the server (ICE with the server's ports), not from vantorel-web itself;
#   - the server restarts: vantorel-web makes its mountpoint again and a new page plays again;
#   - vantorel-web stops: its mountpoint is gone from the server; started again while a
#     mountpoint of that id is left over, it replaces it.
#   web_janus_test.sh PROGRAM_FOLDER MEDIA_FOLDER
set -euo pipefail
source "$(dirname "$0")/in_namespace.sh"
source "$here/web_common.sh"
[[ -x $out/vantorel-web ]] || fail "vantorel-web is not built"
command -v janus >/dev/null || { echo "janus is not installed: skipped"; exit 0; }

janus_url=http://$address:8088/janus
mountpoint=5937
web_args=(--janus "$janus_url" --janus-mountpoint "$mountpoint")
browser=(/usr/bin/python3 "$here/web_browser.py")

# janus: the server in the background, once its HTTP API listens.
janus_start() {
  local log=$work/janus$((++janus_runs)).out
  janus -F "$work/janus" -o >"$log" 2>&1 &
  janus_pid=$!
  wait_for_line "$log" 'HTTP webserver started' 15 || fail "janus did not start"
}
janus_runs=0
janus_stop() {
  kill -TERM "$janus_pid"
  wait "$janus_pid" || true
}
# mountpoints: the ids of the streaming plugin's mountpoints, one a line, asked through the API.
mountpoints() {
  /usr/bin/python3 - "$janus_url" <<'EOF'
import json, sys, urllib.request
opener = urllib.request.build_opener(urllib.request.ProxyHandler({}))
def post(path, request):
    request["transaction"] = "test"
    data = json.dumps(request).encode()
    with opener.open(urllib.request.Request(sys.argv[1] + path, data), timeout=5) as reply:
        return json.load(reply)
session = post("", {"janus": "create"})["data"]["id"]
handle = post("/%d" % session, {"janus": "attach", "plugin": "janus.plugin.streaming"})["data"]["id"]
reply = post("/%d/%d" % (session, handle), {"janus": "message", "body": {"request": "list"}})
for entry in reply["plugindata"]["data"]["list"]:
    print(entry["id"])
post("/%d" % session, {"janus": "destroy"})
EOF
}
has_mountpoint() { mountpoints | grep -qx "$mountpoint"; }
# watch NAME: a page receiving through the server; its report in NAME.json.
watch() {
  local name=$1
  "${browser[@]}" "$page" --janus --expect-play --seconds 4 --timeout 40 \
    --screenshot "$work/$name.png" >"$work/$name.json" 2>"$work/$name.err" ||
    fail "$name: $(cat "$work/$name.json")"
  echo "$name: $(cat "$work/$name.json")"
  /usr/bin/python3 - "$work/$name.json" <<'EOF' || fail "$name: not received from the server"
import json, sys
report = json.load(open(sys.argv[1]))
remote = (report.get("ice") or {}).get("remote") or {}
sys.exit(0 if report.get("via") == "janus" and 20000 <= remote.get("port", 0) <= 20999 else 1)
EOF
}

bash "$here/janus_config.sh" "$work/janus" 8088 vt0 20000-20999 21000-21099

# --- The server is not up yet: said once, the page is served all the same.
timeout -k 5 240 "$out/vantorel-cast" --unsigned --loop "$media/mpeg1-av.mpg" \
  >"$work/cast.out" 2>"$work/cast.err" &
wait_for_line "$work/cast.err" '^vantorel-cast: broadcasting' 15 || fail "cast: not broadcasting"
web server
wait_for_line "$work/server.err" "Janus at $janus_url: cannot create a session" 10 ||
  fail "vantorel-web did not say that the server is unreachable"
sleep 6  # a retry or two: the failure is not said again
(($(grep -c "Janus at $janus_url" "$work/server.err") == 1)) || fail "the failure was said again"
curl -fsS --max-time 2 "$page" >/dev/null || fail "the page is not served without the server"

# --- The server comes up: the mountpoint is made, the page plays it through the server.
janus_start
wait_for_line "$work/server.err" "Janus mountpoint $mountpoint at " 15 || fail "no mountpoint"
has_mountpoint || fail "the server does not list mountpoint $mountpoint"
[[ $(status_field janus) == "$janus_url" ]] || fail "/status does not name the server"
[[ $(status_field mountpoint) == "$mountpoint" ]] || fail "/status does not name the mountpoint"
watch first
[[ $(status_field viewers) == 0 ]] || fail "the page received from vantorel-web itself"

# --- The server restarts: the mountpoint is made again and plays again.
janus_stop
janus_start
wait_for_line "$work/server.err" "Janus mountpoint $mountpoint at " 40 2 ||
  fail "no mountpoint after the server restarted"
watch again

# --- vantorel-web stops: its mountpoint goes with it. A leftover one is replaced.
stop server
has_mountpoint && fail "the mountpoint outlived vantorel-web"
web killed
wait_for_line "$work/killed.err" "Janus mountpoint $mountpoint at " 15 || fail "no mountpoint"
pkill -KILL -P "$killed_pid" -x vantorel-web || true  # the program, not the timeout around it
kill -KILL "$killed_pid" 2>/dev/null || true
wait "$killed_pid" || true
has_mountpoint || fail "the mountpoint of a killed vantorel-web is gone"
web server2
wait_for_line "$work/server2.err" "Janus mountpoint $mountpoint exists already" 15 ||
  fail "the leftover mountpoint was not noticed"
wait_for_line "$work/server2.err" "Janus mountpoint $mountpoint at " 15 || fail "no mountpoint"
watch replaced
stop server2
janus_stop
echo "PASS"
