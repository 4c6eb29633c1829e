# Sourced first by the bench scripts that broadcast: runs the script again inside a private
# network namespace (its first argument then reads --inside, taken off here), and checks that
# the links are that namespace's before anything is sent. Sets `root`, the project folder, and
# `work`, a scratch folder removed at exit, and brings in the waiting helpers (wait.sh).
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
if [[ ${1:-} != --inside ]]; then
  exec "$root/scripts/in-private-netns.sh" bash "$0" --inside "$@"
fi
shift
links=$(ip -o link show | awk -F': ' '{print $2}' | sed 's/@.*//' | sort | tr '\n' ' ')
[[ $links == "lo vt0 vt1 " ]] || { echo "not in the private namespace ($links)" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
source "$root/scripts/wait.sh"
