#!/bin/sh
# Installs the Debian 12 packages that building, testing and the demo need,
# only those that are missing. Uses sudo when not run as root.
set -e
packages="build-essential cmake ninja-build pkg-config clang libgtest-dev libgmock-dev \
  libgtk2.0-dev libglib2.0-dev libglib2.0-bin gettext libsystemd-dev libacl1-dev acl \
  xvfb xauth xdotool x11-utils imagemagick trayer p7zip-full libarchive-tools socat \
  librsvg2-bin libnotify-dev libudev-dev lintian desktop-file-utils appstream man-db ccache libgps-dev"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo=sudo
missing=""
for p in $packages; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
# Unpacks Debian package $1 into build-deps/$1 unless its program $2 is there:
# never installed, since its maintainer scripts would start its daemon.
unpack_package() {
  root="$(cd "$(dirname "$0")/.." && pwd)/build-deps/$1"
  [ -x "$root/$2" ] && return 0
  download=$(mktemp -d)
  (cd "$download" && { apt-get download "$1" 2>/dev/null || { $sudo apt-get update && apt-get download "$1"; }; } &&
    mkdir -p "$root" && dpkg -x "$1"_*.deb "$root")
  rm -rf "$download"
}
# chrony for the test of the samples Satclock gives it (a chronyd would steer
# the machine's clock).
unpack_package chrony usr/sbin/chronyd
# gpsd for the test of reading the receiver through it (a gpsd would start,
# and its udev hook hand it every receiver plugged in). It runs from there
# with libgps (libgps-dev) installed.
unpack_package gpsd usr/sbin/gpsd
[ -z "$missing" ] && exit 0
echo "installing:$missing"
$sudo apt-get update
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends $missing
