#!/usr/bin/env bash
# Runs a command inside a new, private network namespace whose only links are loopback and a
# veth pair carrying the default route, so that broadcasts to 255.255.255.255 are delivered
# to sockets inside the namespace and never reach a real interface.
#   scripts/in-private-netns.sh COMMAND [ARG...]
set -euo pipefail
if [[ $# -eq 0 ]]; then
  echo "usage: in-private-netns.sh COMMAND [ARG...]" >&2
  exit 2
fi
if [[ ${VANTOREL_NETNS_INSIDE:-} != "$$-inside" ]]; then
  flags=(-n)
  [[ $(id -u) -ne 0 ]] && flags=(-r -n)
  # The marker names the new process, so an inherited variable can never skip the unshare.
  exec unshare "${flags[@]}" bash -c 'export VANTOREL_NETNS_INSIDE="$$-inside"; exec "$0" "$@"' "$0" "$@"
fi
# A fresh namespace holds loopback alone; anything else means this is not one: stop before
# touching any link or route.
links=$(ip -o link show | awk -F': ' '{print $2}' | sed 's/@.*//' | sort | tr '\n' ' ')
if [[ $links != "lo " ]]; then
  echo "in-private-netns: not a fresh namespace (links: $links), refusing to run" >&2
  exit 1
fi
ip link set lo up
ip link add vt0 type veth peer name vt1
ip addr add 10.77.0.1/24 dev vt0
ip link set vt0 up
ip link set vt1 up
ip route add default dev vt0
exec "$@"
