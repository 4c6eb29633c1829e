#!/usr/bin/env bash
# Writes a configuration folder for the Janus server of the Debian package, for tests: only the
# HTTP transport (on HTTP_PORT, any origin allowed) and the streaming plugin, no STUN, no 1:1 NAT,
# ICE on the addresses of ICE_INTERFACES alone and on ports of ICE_RANGE; the streaming plugin
# picks a mountpoint's ports in MOUNTPOINT_RANGE when asked for port 0. Start the server with
#   janus -F CONFDIR
#   janus_config.sh CONFDIR [HTTP_PORT] [ICE_INTERFACES] [ICE_RANGE] [MOUNTPOINT_RANGE]
set -euo pipefail
if [[ $# -lt 1 ]]; then
  echo "usage: janus_config.sh CONFDIR [HTTP_PORT] [ICE_INTERFACES] [ICE_RANGE]" \
    "[MOUNTPOINT_RANGE]" >&2
  exit 2
fi
conf=$1 http_port=${2:-8088} ice=${3:-vt0} ice_range=${4:-20000-20999}
mountpoint_range=${5:-21000-21099}
lib=/usr/lib/x86_64-linux-gnu/janus
[[ -d $lib ]] || lib=$(dirname "$(dirname "$(find /usr/lib -name libjanus_streaming.so -print -quit)")")
mkdir -p "$conf"

# Every plugin and transport of the package but the two the tests use.
others() {
  local keep=$2 names
  names=$(cd "$lib/$1" && ls -- *.so | grep -vx "$keep" | paste -sd, -)
  echo "$names"
}

cat >"$conf/janus.jcfg" <<EOF
general: {
	configs_folder = "$conf"
	plugins_folder = "$lib/plugins"
	transports_folder = "$lib/transports"
	events_folder = "$lib/events"
	loggers_folder = "$lib/loggers"
	debug_level = 4
	server_name = "vantorel-test"
	session_timeout = 60
}
media: {
	rtp_port_range = "$ice_range"
}
nat: {
	nice_debug = false
	ice_enforce_list = "$ice"
	ignore_mdns = true
}
plugins: {
	disable = "$(others plugins libjanus_streaming.so)"
}
transports: {
	disable = "$(others transports libjanus_http.so)"
}
loggers: {
	disable = "$(cd "$lib/loggers" && ls -- *.so | paste -sd, -)"
}
events: {
	broadcast = false
}
EOF

cat >"$conf/janus.transport.http.jcfg" <<EOF
general: {
	json = "compact"
	base_path = "/janus"
	http = true
	port = $http_port
	https = false
}
admin: {
	admin_http = false
	admin_https = false
}
cors: {
}
EOF

cat >"$conf/janus.plugin.streaming.jcfg" <<EOF
general: {
	rtp_port_range = "$mountpoint_range"
	events = false
}
EOF
