#!/bin/sh
# Builds with ThreadSanitizer and runs the suites of the threaded code
# (or the ctest label expression given as the first argument).
set -eu
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
labels=${1:-"link|service|channel|correction|gps|settings|platform|installer"}
cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DSATCLOCK_SANITIZE=thread >/dev/null
cmake --build build-tsan -j "$(nproc)"
cd build-tsan
TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 suppressions=$top/scripts/tsan-programs.supp" timeout 1500 xvfb-run -a -s "-screen 0 1280x1024x24 -noreset" \
  ctest --output-on-failure -j "$(nproc)" --timeout 300 -L "$labels"
