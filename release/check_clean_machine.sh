#!/usr/bin/env bash
# Installs the report server's Debian package into a fresh Debian 12 root, as
# a studio's administrator would on a new machine, and checks what it
# installed: the user, the data folder, a unit that is neither enabled nor
# started, `vnscope-server --version`, and a server started from it on a
# temporary data folder that stores a report and lists it.
#
#   check_clean_machine.sh DEB REPORT_TOOL VERSION WORK
#
# REPORT_TOOL submits and lists from outside the root (tests/server's
# report_tool); WORK is a scratch folder (emptied; downloaded packages are
# kept in WORK/../debootstrap-cache for the next run). Needs root. Skips,
# saying so and exiting 0, when debootstrap is missing or no Debian mirror
# answers ($VNSCOPE_DEBIAN_MIRROR, default deb.debian.org).
set -euo pipefail
DEB=$(realpath "$1") TOOL=$(realpath "$2") VERSION=$3 WORK=$(realpath -m "$4")
MIRROR=${VNSCOPE_DEBIAN_MIRROR:-http://deb.debian.org/debian}
SUITE=bookworm

skip() {
  echo "clean-machine check SKIPPED: $*"
  exit 0
}
fail() {
  echo "clean-machine check FAILED: $*" >&2
  exit 1
}

command -v debootstrap >/dev/null || skip "debootstrap is not installed (scripts/setup installs it)"
[ "$(id -u)" = 0 ] || skip "debootstrap and chroot need root"
probe=$(mktemp)
if ! timeout 30 /usr/lib/apt/apt-helper download-file "$MIRROR/dists/$SUITE/Release" "$probe" >/dev/null 2>&1; then
  rm -f "$probe"
  skip "no Debian mirror answers at $MIRROR"
fi
rm -f "$probe"

TARGET=$WORK/root
CACHE=$(dirname "$WORK")/debootstrap-cache
LOG=$WORK/check.log
SERVER_PID=
cleanup() {
  [ -n "$SERVER_PID" ] && kill "$SERVER_PID" 2>/dev/null && wait "$SERVER_PID" 2>/dev/null
  rm -rf "$TARGET"
}
rm -rf "$WORK" && mkdir -p "$WORK" "$CACHE"
trap cleanup EXIT
in_root() { chroot "$TARGET" "$@"; }

echo "debootstrap $SUITE (minbase) from $MIRROR into $TARGET"
debootstrap --variant=minbase --cache-dir="$CACHE" "$SUITE" "$TARGET" "$MIRROR" >>"$LOG" 2>&1 ||
  fail "debootstrap failed; see $LOG"
cp "$DEB" "$TARGET/tmp/"
echo "apt-get install ./$(basename "$DEB") in the new root"
{
  in_root apt-get update -q &&
    in_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "/tmp/$(basename "$DEB")"
} >>"$LOG" 2>&1 || fail "the package did not install; see $LOG"

reported=$(in_root vnscope-server --version) || fail "vnscope-server --version failed in the new root"
case "$reported" in
  "vnscope-server $VERSION "*) echo "$reported" ;;
  *) fail "vnscope-server --version says '$reported', expected $VERSION" ;;
esac
in_root getent passwd vnscope >/dev/null || fail "no user vnscope"
[ "$(in_root stat -c %U:%a /var/lib/vnscope)" = vnscope:750 ] || fail "/var/lib/vnscope is not vnscope's, mode 0750"
[ -e "$TARGET/etc/systemd/system/multi-user.target.wants/vnscope-server.service" ] &&
  fail "installing enabled the service"
[ -f "$TARGET/lib/systemd/system/vnscope-server.service" ] || fail "no systemd unit"
grep -qx /etc/default/vnscope-server "$TARGET/var/lib/dpkg/info/vnscope-server.conffiles" ||
  fail "/etc/default/vnscope-server is not a conffile"
[ -f "$TARGET/usr/share/man/man8/vnscope-server.8.gz" ] || fail "no manual page"

# The README's recipe for the dashboard's secret, as the package ships it, on
# a machine without /etc/vnscope: a file the service's user alone can read.
recipe=$(zcat "$TARGET/usr/share/doc/vnscope-server/README.md.gz" |
  awk '/check_clean_machine.sh runs this block/ {marked = 1; next}
       marked && /^```sh/ {inside = 1; next}
       inside && /^```/ {exit}
       inside {print}')
[ -n "$recipe" ] || fail "the README has no secret recipe"
[ ! -e "$TARGET/etc/vnscope" ] || fail "/etc/vnscope is there before the recipe"
in_root sh -e -c "$recipe" >>"$LOG" 2>&1 || fail "the README's secret recipe failed: $recipe"
[ "$(in_root stat -c %U:%a /etc/vnscope/dashboard-secret)" = vnscope:600 ] ||
  fail "the secret is not vnscope's alone: $(in_root stat -c %U:%a /etc/vnscope/dashboard-secret)"

# The server as the service runs it, as vnscope, on a data folder of its own,
# its dashboard with that secret.
in_root install -d -o vnscope -g vnscope -m 0750 /tmp/vnscope-check
# Started directly, not through in_root: chroot and setpriv each exec the
# next, so that $! is the server itself.
chroot "$TARGET" setpriv --reuid=vnscope --regid=vnscope --init-groups \
  /usr/sbin/vnscope-server --data /tmp/vnscope-check --listen 127.0.0.1:0 \
  --http 127.0.0.1:0 --http-secret-file /etc/vnscope/dashboard-secret 2>"$WORK/server.log" &
SERVER_PID=$!
port=
for _ in $(seq 200); do
  port=$(sed -n 's/.*listening on 127\.0\.0\.1:\([0-9]*\),.*/\1/p' "$WORK/server.log")
  [ -n "$port" ] && break
  kill -0 "$SERVER_PID" 2>/dev/null || break
  sleep 0.05
done
[ -n "$port" ] || fail "the installed server did not start: $(cat "$WORK/server.log")"
grep -q "(login with the secret)" "$WORK/server.log" || fail "the dashboard did not take the secret"
text=$WORK/scriptinfo.txt
printf 'clean machine check\r\n\0' >"$text"
name=$("$TOOL" submit "$port" 1 "clean machine" administrator "scriptinfo.txt=$text") ||
  fail "the installed server refused a report"
"$TOOL" list "$port" | grep -q "^$name " || fail "the installed server does not list $name"
kill "$SERVER_PID"
wait "$SERVER_PID" || fail "the installed server did not stop cleanly: $(cat "$WORK/server.log")"
grep -q stopped "$WORK/server.log" || fail "the installed server did not log its stop"
SERVER_PID=
[ -f "$TARGET/tmp/vnscope-check/reports.sqlite3" ] || fail "no database in the data folder"
echo "clean-machine check passed: installed on $SUITE; as vnscope the server read the README's secret, stored and listed $name"
