#!/bin/sh
# Installs the Debian 12 packages that building, testing and the demo need,
# only those that are missing. Uses sudo when not run as root.
set -e
packages="build-essential cmake ninja-build pkg-config clang libgtest-dev libgmock-dev \
  libgtk2.0-dev libglib2.0-dev libglib2.0-bin gettext libsystemd-dev libacl1-dev acl \
  xvfb xauth xdotool x11-utils imagemagick trayer p7zip-full libarchive-tools socat \
  librsvg2-bin libnotify-dev libudev-dev lintian desktop-file-utils appstream man-db libgps-dev"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo=sudo
missing=""
for p in $packages; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
# chrony for the test of the samples Satclock gives it: unpacked into
# build-deps/, never installed (its maintainer scripts would start a chronyd
# that steers the machine's clock).
chrony_root="$(cd "$(dirname "$0")/.." && pwd)/build-deps/chrony"
if [ ! -x "$chrony_root/usr/sbin/chronyd" ]; then
  download=$(mktemp -d)
  (cd "$download" && { apt-get download chrony 2>/dev/null || { $sudo apt-get update && apt-get download chrony; }; } &&
    mkdir -p "$chrony_root" && dpkg -x chrony_*.deb "$chrony_root")
  rm -rf "$download"
fi
# gpsd for the test of reading the receiver through it, the same way: its
# maintainer scripts would start a gpsd (and its udev hook hand it every
# receiver plugged in). It runs from there with libgps (libgps-dev) installed.
gpsd_root="$(cd "$(dirname "$0")/.." && pwd)/build-deps/gpsd"
if [ ! -x "$gpsd_root/usr/sbin/gpsd" ]; then
  download=$(mktemp -d)
  (cd "$download" && { apt-get download gpsd 2>/dev/null || { $sudo apt-get update && apt-get download gpsd; }; } &&
    mkdir -p "$gpsd_root" && dpkg -x gpsd_*.deb "$gpsd_root")
  rm -rf "$download"
fi
[ -z "$missing" ] && exit 0
echo "installing:$missing"
$sudo apt-get update
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends $missing
