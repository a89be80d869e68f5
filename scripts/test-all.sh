#!/bin/sh
# Builds and runs every test: a normal build (its clock-reading suites also at
# two hostile moments), then an AddressSanitizer + UndefinedBehaviorSanitizer
# build, then each fuzz target for FUZZ_SECONDS, then the Debian package.
# Never touches the machine's clock: the tests run on sandbox clocks.
set -eu
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
sh scripts/deps.sh
jobs=$(nproc)
fuzz_seconds=${FUZZ_SECONDS:-30}

# Runs ctest in a build folder under one private Xvfb (the GUI tests need a
# display), with the variables of $ctest_env; extra arguments go to ctest. A
# test that fails once has failed.
ctest_env=
run_ctest() {
  dir=$1; shift
  status=0
  # shellcheck disable=SC2086
  (cd "$dir" && timeout 1500 env $ctest_env xvfb-run -a -s "-screen 0 1280x1024x24 -noreset" \
      ctest --output-on-failure -j "$jobs" --timeout 180 "$@") >"$dir/ctest.log" 2>&1 || status=$?
  cat "$dir/ctest.log"
  [ "$status" -eq 0 ] || exit "$status"
  count=$(sed -n 's/.*tests passed, 0 tests failed out of \([0-9]*\).*/\1/p' "$dir/ctest.log" | tail -n 1)
  total_passed=$((total_passed + ${count:-0}))
}

# The four builds (normal, sanitizers, fuzz, package) go through ccache where
# it is installed; paths are taken relative to the checkout, so another clone
# of the same sources reuses the compiled objects.
launcher=""
if command -v ccache >/dev/null; then
  launcher="-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache"
  CCACHE_BASEDIR=$top
  export CCACHE_BASEDIR
fi

run_suite() {
  dir=$1; shift
  # shellcheck disable=SC2086
  cmake -S . -B "$dir" -G Ninja $launcher "$@" >/dev/null
  cmake --build "$dir" -j "$jobs"
  run_ctest "$dir"
}
total_passed=0

# The suites that read a clock, run again with every sandbox clock starting at
# a moment where calendars and counters turn (a leap day's last seconds, past
# the signed 32-bit second count), each in a time zone far from UTC.
clock_labels='^(correction|gps|gui|ui|link|service)$'
hostile_moments='2028-02-29T23:59:55Z@<+14>-14 2038-01-19T03:14:20Z@<-0930>9:30'

echo "== normal build"
run_suite build -DCMAKE_BUILD_TYPE=RelWithDebInfo
for pair in $hostile_moments; do
  moment=${pair%@*}
  zone=${pair#*@}
  echo "== clock-reading suites, sandbox clocks starting at $moment, TZ=$zone"
  ctest_env="SATCLOCK_TEST_CLOCK_START=$moment TZ=$zone"
  run_ctest build -L "$clock_labels"
done
ctest_env=
echo "== address + undefined sanitizer build"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  run_suite build-asan -DCMAKE_BUILD_TYPE=Debug -DSATCLOCK_SANITIZE=address
echo "== fuzz targets, ${fuzz_seconds} s each"
sh scripts/fuzz.sh "$fuzz_seconds"
# The Debian package: built and checked; as root also installed, used,
# removed and purged (scripts/package-check.sh), unless this machine has it
# installed for real.
if [ "$(id -u)" -eq 0 ] && ! dpkg-query -W satclock >/dev/null 2>&1; then
  echo "== Debian package: build, checks, install, purge"
  sh scripts/package-check.sh
else
  echo "== Debian package: build and checks (the install check needs root and no satclock installed)"
  sh scripts/package.sh
fi
echo "test-all: $total_passed passed, 0 failed"
