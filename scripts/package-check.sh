#!/bin/sh
# Installs the Debian package on this machine as a user would, uses what it
# installed, upgrades it, removes it and purges it, and checks after each step
# that the package did what it promises; at the end no file of it may be left
# (the file system is compared before and after). Needs root; never starts
# systemd and never touches the real clock: the service runs on a sandbox
# clock with a channel folder of its own, and its registration on a systemctl
# stub.
#
#   sh scripts/package-check.sh [PACKAGE]   # default: build it with package.sh
set -eu
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
export DEBIAN_FRONTEND=noninteractive

if [ "$(id -u)" -ne 0 ]; then
  echo "package-check: needs root (it installs and purges the package)" >&2
  exit 1
fi
if [ $# -ge 1 ]; then
  deb=$(realpath "$1")
else
  sh scripts/package.sh
  deb=$(realpath "$(ls -t satclock_*.deb | head -n 1)")
fi
if dpkg-query -W -f='${db:Status-Abbrev}' satclock 2>/dev/null | grep -q '^[ir]'; then
  echo "package-check: satclock is installed on this machine already; purge it first" >&2
  exit 1
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/satclock-package-check.XXXXXX")
started=$(date +%s)
cleanup() {
  status=$?
  if dpkg-query -W satclock >/dev/null 2>&1; then
    apt-get purge -y -q satclock >/dev/null 2>&1 || dpkg --purge satclock >/dev/null 2>&1 || true
  fi
  rm -rf "$work"
  exit "$status"
}
trap cleanup EXIT INT TERM

fail() { echo "package-check: FAILED: $*" >&2; exit 1; }
step() { echo "== $*"; }

# Paths and types of everything a package could touch. Left out: the package
# managers' own records and logs, and the folders of temporary files.
snapshot() {
  find /etc /opt /usr /var /srv \
    \( -path /var/lib/dpkg -o -path /var/lib/apt -o -path /var/cache/apt \
       -o -path /var/cache/debconf -o -path /var/log -o -path /var/tmp \) -prune \
    -o -printf '%y %p %l\n' 2>/dev/null | LC_ALL=C sort >"$1"
}

unit=clockkeeper_satclock.service
settings=/var/lib/satclock/satclock.ini
wants_link=/etc/systemd/system/multi-user.target.wants/$unit

step "dependencies of $(basename "$deb")"
apt-get satisfy -y -q --no-install-recommends "$(dpkg-deb -f "$deb" Depends)" >/dev/null
snapshot "$work/before"

step "apt-get install"
apt-get install -y -q --no-install-recommends "$deb" >"$work/apt.log" 2>&1 || { cat "$work/apt.log"; fail "install"; }
dpkg-query -W -f='${db:Status-Abbrev}' satclock | grep -q '^ii' || fail "not installed"
[ "$(readlink -f /usr/bin/satclock)" = /opt/Satclock/bin/satclock ] && [ -x /opt/Satclock/bin/satclock ] \
  || fail "/usr/bin/satclock does not lead to the program"
[ -L "$wants_link" ] || fail "service not enabled ($wants_link missing)"
cmp -s "$settings" /usr/share/satclock/satclock.ini || fail "default settings not in $settings"
# The ACL (acl is a dependency), or the users group's own write bit where
# the file system keeps no ACLs; never writable by every account.
if ! getfacl -c "$settings" 2>/dev/null | grep -qx 'group:users:rw-'; then
  [ "$(stat -c %a:%G "$settings")" = 664:users ] || fail "$settings is not open to the users group"
fi
[ $((0$(stat -c %a "$settings") & 2)) -eq 0 ] || fail "$settings is writable by every account"
command -v setfacl >/dev/null || fail "setfacl missing: acl is not among the dependencies"
man -w satclock-gpssim >/dev/null || fail "manual page not found by man"
# The copy without a desktop: its account in its two groups, its unit shipped but not enabled.
id -nG satclock 2>/dev/null | tr ' ' '\n' | grep -qx dialout && id -nG satclock | tr ' ' '\n' | grep -qx satclock \
  || fail "no system account satclock in the groups dialout and satclock"
[ -f /lib/systemd/system/satclock-headless.service ] || fail "satclock-headless.service not installed"
[ ! -e /etc/systemd/system/multi-user.target.wants/satclock-headless.service ] \
  || fail "satclock-headless.service enabled by the package"
# The comparison at the end sees the package's files: here they must show.
snapshot "$work/installed"
grep -q '^f /opt/Satclock/bin/clockkeeper $' "$work/installed" && grep -q '^f /usr/bin/dpkg $' "$work/before" \
  || fail "the file-system listing does not see the package"

step "the unit is the one clockkeeper install writes"
mkdir -p "$work/units" "$work/systemctl"
status=0
LANGUAGE='' LC_ALL=C SATCLOCK_SYSTEMD_DIR="$work/units" SATCLOCK_SYSTEMCTL="$top/tests/service/systemctl-stub" \
  SATCLOCK_SYSTEMCTL_STATE="$work/systemctl" SATCLOCK_ELEVATE=false \
  /opt/Satclock/bin/clockkeeper install >"$work/install.log" 2>&1 || status=$?
[ "$status" -eq 1 ] || { cat "$work/install.log"; fail "clockkeeper install on the stub exited with $status"; }
cmp "$work/units/$unit" "/lib/systemd/system/$unit" || fail "packaged unit differs"

step "satclock-gpssim --help"
satclock-gpssim --help >"$work/help" || fail "satclock-gpssim --help"
grep -q '^Usage: satclock-gpssim' "$work/help" || fail "satclock-gpssim --help printed no usage"

step "nmea-decode on a sample"
printf '%s\r\n' '$GPGGA,123519.000,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*59' \
  '$GPRMC,123519.000,A,4807.038,N,01131.000,E,022.4,084.4,071226,003.1,W*7B' >"$work/sample.nmea"
nmea-decode "$work/sample.nmea" >"$work/decoded" || fail "nmea-decode"
cat "$work/decoded"
grep -q '"line": 1, "result": 1, .*"hour": 12, "minute": 35, "second": 19, .*"fix_quality": 1, "satellites": 8' \
  "$work/decoded" || fail "nmea-decode: the GGA sentence"
grep -q '"line": 2, .*"year": 2026, "month": 12, "day": 7' "$work/decoded" || fail "nmea-decode: the RMC date"

step "clockkeeper debug for a second on a sandbox clock"
echo 0 >"$work/clock"
status=0
SATCLOCK_CLOCK_FILE="$work/clock" SATCLOCK_CHANNEL_DIR="$work/channel" \
  timeout 1 /opt/Satclock/bin/clockkeeper debug || status=$?
[ "$status" -eq 124 ] || fail "clockkeeper debug ended by itself with status $status"
[ -S "$work/channel/setclockkeeper_event" ] || fail "clockkeeper debug did not open its channel"
[ "$(stat -c %a:%G "$work/channel/setclockkeeper_event")" = 660:satclock ] ||
  fail "the channel's socket is not 0660 and of the group satclock (made by postinst)"

step "upgrade (the same version again) keeps the settings"
printf 'com_port="7"\r\n' >>"$settings"
cp -p "$settings" "$work/settings.user"
apt-get install -y -q --reinstall --no-install-recommends "$deb" >"$work/apt.log" 2>&1 || { cat "$work/apt.log"; fail "reinstall"; }
cmp -s "$settings" "$work/settings.user" || fail "the upgrade changed the settings"
[ -L "$wants_link" ] || fail "the upgrade disabled the service"

step "apt-get remove keeps the settings, disables the service"
apt-get remove -y -q satclock >"$work/apt.log" 2>&1 || { cat "$work/apt.log"; fail "remove"; }
cmp -s "$settings" "$work/settings.user" || fail "remove did not keep the settings"
[ ! -e /opt/Satclock ] && [ ! -L /usr/bin/satclock ] || fail "remove left the program"
[ ! -L "$wants_link" ] || fail "remove left the service enabled"

step "apt-get purge leaves nothing"
apt-get purge -y -q satclock >"$work/apt.log" 2>&1 || { cat "$work/apt.log"; fail "purge"; }
! dpkg-query -W satclock >/dev/null 2>&1 || fail "dpkg still knows satclock"
snapshot "$work/after"
if ! diff "$work/before" "$work/after" >"$work/diff"; then
  cat "$work/diff"
  fail "the file system differs after the purge"
fi
echo "package-check: passed in $(($(date +%s) - started)) s"
