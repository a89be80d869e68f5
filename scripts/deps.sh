#!/bin/sh
# Installs the Debian 12 packages that building, testing and the demo need,
# only those that are missing. Uses sudo when not run as root.
set -e
packages="build-essential cmake ninja-build pkg-config clang libgtest-dev libgmock-dev \
  libgtk2.0-dev libglib2.0-dev libglib2.0-bin gettext libsystemd-dev libacl1-dev acl \
  xvfb xauth xdotool x11-utils imagemagick trayer p7zip-full libarchive-tools socat \
  librsvg2-bin libnotify-dev libudev-dev lintian desktop-file-utils appstream man-db"
missing=""
for p in $packages; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
[ -z "$missing" ] && exit 0
echo "installing:$missing"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo=sudo
$sudo apt-get update
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends $missing
