#!/bin/sh
# Builds the Debian package satclock_<version>_<arch>.deb into the top folder
# (CPack's DEB generator over the install rules, in build-package/) and checks
# it: lintian (no errors; every warning named in the README's package
# section), desktop-file-validate, appstreamcli validate and man --warnings.
#
#   sh scripts/package.sh            # build and check
#   sh scripts/package.sh --check F  # only check the package file F
set -eu
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"

check_package() {
  deb=$1
  work=$(mktemp -d "${TMPDIR:-/tmp}/satclock-package.XXXXXX")
  trap 'rm -rf "$work"' EXIT
  failed=0

  echo "== lintian"
  lintian --fail-on none --display-level '>=warning' "$deb" >"$work/lintian" || failed=1
  cat "$work/lintian"
  for tag in $(sed -n 's/^[EW]: satclock[^:]*: \([a-z0-9.+-]*\).*/\1/p' "$work/lintian" | sort -u); do
    if grep -q '^E: .*: '"$tag"'\b' "$work/lintian"; then
      echo "lintian error: $tag" >&2; failed=1
    elif ! grep -q "\`$tag\`" README.md; then
      echo "lintian warning not explained in README.md: $tag" >&2; failed=1
    fi
  done

  dpkg-deb -x "$deb" "$work/root"
  echo "== desktop-file-validate"
  for entry in "$work"/root/usr/share/applications/*.desktop; do
    desktop-file-validate "$entry" || failed=1
  done
  echo "== appstreamcli validate --no-net"
  for data in "$work"/root/usr/share/metainfo/*.xml; do
    appstreamcli validate --no-net "$data" || failed=1
  done
  echo "== man --warnings"
  for page in "$work"/root/usr/share/man/man*/*; do
    LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l "$page" 2>"$work/man.err" >/dev/null || failed=1
    if [ -s "$work/man.err" ]; then
      echo "$(basename "$page"):"; cat "$work/man.err"; failed=1
    fi
  done
  [ "$failed" -eq 0 ] || { echo "package checks failed" >&2; exit 1; }
  echo "package checks passed: $(basename "$deb")"
}

if [ "${1:-}" = "--check" ]; then
  check_package "$2"
  exit 0
fi

sh scripts/deps.sh
dir=build-package
# Debian's hardening and optimisation flags, as a Debian build would use them,
# with every hardening feature (PIE, immediate binding too).
DEB_BUILD_MAINT_OPTIONS=hardening=+all
export DEB_BUILD_MAINT_OPTIONS
cflags="$(dpkg-buildflags --get CFLAGS) $(dpkg-buildflags --get CPPFLAGS)"
cxxflags="$(dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS)"
ldflags=$(dpkg-buildflags --get LDFLAGS)
launcher=""
command -v ccache >/dev/null && launcher="-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache"
# shellcheck disable=SC2086
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DSATCLOCK_TESTS=OFF $launcher \
  -DCMAKE_C_FLAGS="$cflags" -DCMAKE_CXX_FLAGS="$cxxflags" -DCMAKE_EXE_LINKER_FLAGS="$ldflags" >/dev/null
cmake --build "$dir" --target satclock_package_contents -j "$(nproc)"
rm -f "$dir"/satclock_*.deb
(cd "$dir" && cpack -G DEB)
deb=$(ls "$dir"/satclock_*.deb)
cp "$deb" .
deb=$top/$(basename "$deb")
echo "package: $deb ($(du -k "$deb" | cut -f1) KiB)"
check_package "$deb"
