#!/usr/bin/env bash
# Checks a built Debian package as it will be installed: unpacks it into a scratch root
# (dpkg -x), validates its desktop entries, AppStream metadata and manual pages, asks the five
# programs for their version, and starts Strovan and Lunnet from the unpacked bin/ on the
# offscreen platform as an unprivileged user (the tree is read-only to them, as an installed one
# is): each must read its skin and language files from ../share/vantorel, keep language.set in
# the user's config folder, and close cleanly on SIGTERM. Runs inside a private network
# namespace, since Lunnet listens and Strovan's socket could broadcast.
#   scripts/check-package.sh DEB
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
deb=$(realpath "$1")
if [[ ${VANTOREL_NETNS_INSIDE:-} != "$$-inside" ]]; then
  exec "$here/in-private-netns.sh" bash "$0" "$deb"
fi
source "$here/wait.sh"

work=$(mktemp -d)
pid=
# The program runs under strace, which does not pass a signal on: it goes to strace's child.
stop_program() { pkill -TERM --parent "$pid"; }
cleanup() {
  [[ -z $pid ]] || stop_program || true
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

tree=$work/root
dpkg -x "$deb" "$tree"
chmod 755 "$work"
data=$tree/usr/share/vantorel

echo "== the unpacked tree"
for program in strovan lunnet vantorel-cast vantorel-listen vantorel-web; do
  [[ -x $tree/usr/bin/$program ]] || fail "no $program in usr/bin"
  [[ $(env -u DISPLAY "$tree/usr/bin/$program" --version) == "$program "* ]] ||
    fail "$program --version"
  page=$tree/usr/share/man/man1/$program.1.gz
  gzip -t "$page" || fail "$page is not gzip"
  zcat "$page" | groff -man -ww -z 2>"$work/groff.log"
  [[ ! -s $work/groff.log ]] || fail "$program.1: $(cat "$work/groff.log")"
done
"$tree/usr/bin/vantorel-listen" --version
[[ -f $data/RESDLL.rcc && -f $data/Language/English.ini && -f $data/help/help.htm ]] ||
  fail "the data folder lacks the skin, the languages or the help page"
[[ ! -e $data/Language/language.set ]] || fail "the package ships a language.set"
for file in index.html player.js style.css janus.js; do
  [[ -f $data/web/$file ]] || fail "vantorel-web's page lacks $file"
done
desktop-file-validate "$tree"/usr/share/applications/*.desktop
appstreamcli validate --no-net "$tree"/usr/share/metainfo/*.metainfo.xml
for size in 16x16 32x32 48x48 256x256 scalable; do
  ls "$tree/usr/share/icons/hicolor/$size/apps/"{strovan,lunnet}.* >/dev/null ||
    fail "no $size icons"
done
[[ -f $tree/etc/ufw/applications.d/vantorel ]] || fail "no ufw profile"
dpkg-deb -e "$deb" "$work/control"
grep -qx /etc/ufw/applications.d/vantorel "$work/control/conffiles" ||
  fail "the ufw profile is not a conffile"

# The programs run as an ordinary user, for whom the unpacked tree is read-only; root (as in
# CI) drops to nobody for them.
home=$work/home
mkdir -p "$home"
as_user=()
if (($(id -u) == 0)); then
  chown nobody "$home"
  as_user=(setpriv --reuid=nobody --regid=nogroup --clear-groups)
else
  chmod -R a-w "$tree"
fi

# run_program PROGRAM READY...: starts PROGRAM from the tree, traced, waits until READY (a
# command) holds, then ends it with SIGTERM and checks what it opened and wrote.
run_program() {
  local program=$1 status=0
  shift
  echo "== $program from the unpacked tree"
  env -u DISPLAY -u XDG_CONFIG_HOME HOME="$home" QT_QPA_PLATFORM=offscreen \
    DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent \
    strace -f -qq -e trace=openat -o "$work/$program.trace" \
    "${as_user[@]}" "$tree/usr/bin/$program" 2>"$work/$program.log" &
  pid=$!
  "$@" || { cat "$work/$program.log" >&2; fail "$program did not come up"; }
  stop_program
  wait "$pid" || status=$?
  pid=
  ((status == 0)) || { cat "$work/$program.log" >&2; fail "$program ended with status $status"; }
  grep -qE "\"$data/Language/English\.ini\", O_RDONLY.*= [0-9]+$" "$work/$program.trace" ||
    fail "$program did not read its language files from $data"
  [[ -f $home/.config/vantorel/language.set ]] || fail "$program wrote no language.set"
  [[ ! -e $data/Language/language.set ]] || fail "$program wrote into the installed tree"
}
# The window loads the skin after the start-up check has: two reads of the library.
skin_read() {
  (($(grep -cE "\"$data/RESDLL\.rcc\", O_RDONLY.*= [0-9]+$" "$work/$1.trace") >= 2))
}
run_program strovan wait_until 20 skin_read strovan
lunnet_up() { skin_read lunnet && udp_port_bound 5937; }
run_program lunnet wait_until 20 lunnet_up
grep -q '^Language=English' "$home/.config/vantorel/language.set" ||
  fail "language.set does not name English"
echo "PASS: $(basename "$deb")"
