#!/bin/sh
# Builds the libFuzzer targets with clang (ASan + UBSan) and runs each for
# the given number of seconds (default 30). A crash fails the script.
set -eu
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
seconds=${1:-30}
dir=build-fuzz
launcher=""
command -v ccache >/dev/null && launcher="-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache"
# shellcheck disable=SC2086
CC=clang CXX=clang++ cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo $launcher \
  -DSATCLOCK_SANITIZE=address -DSATCLOCK_FUZZ=ON -DSATCLOCK_TESTS=OFF >/dev/null
cmake --build "$dir" -j "$(nproc)"
found=0
for target in "$dir"/fuzz/fuzz_*; do
  [ -x "$target" ] || continue
  found=1
  name=$(basename "$target")
  corpus="$dir/fuzz/corpus-$name"
  mkdir -p "$corpus"
  seeds="fuzz/seeds/${name#fuzz_}"
  [ -d "$seeds" ] || seeds=""
  echo "-- $name for ${seconds}s"
  (cd "$dir/fuzz" && SATCLOCK_CLOCK_FILE="$top/$dir/fuzz/clock" SATCLOCK_CHANNEL_PREFIX="scfuzz$$_" \
     SATCLOCK_CHANNEL_DIR="$top/$dir/fuzz/channel" \
     "./$name" -max_total_time="$seconds" -max_len=1024 -print_final_stats=0 \
     "corpus-$name" ${seeds:+"$top/$seeds"} 2>&1 | tail -n 3)
done
[ "$found" -eq 1 ] || echo "no fuzz targets built"
