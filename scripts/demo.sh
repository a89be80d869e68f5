#!/bin/sh
# The demo: a simulated GPS receiver on a pseudo-terminal, the time service in
# console mode and the desktop program, all on one sandbox clock that starts
# a few seconds wrong. Nothing here touches the machine's real clock.
#
#   sh scripts/demo.sh                      # on your desktop; quit satclock to end
#   sh scripts/demo.sh --headless shot.png  # under Xvfb: screenshot, then stop
#   DEMO_PAGE=2 sh scripts/demo.sh --headless shot.png  # the shot shows page 2
#                                           # (1 GPS info ... 4 About, as Ctrl+N)
set -eu
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"

headless_shot=""
if [ "${1:-}" = "--headless" ]; then
  headless_shot=$(realpath -m "${2:-satclock-demo.png}")
elif [ "${1:-}" = "--inner-headless" ]; then
  headless_shot=$2
fi

if [ "${1:-}" != "--inner-headless" ]; then
  sh scripts/deps.sh
  cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build build -j "$(nproc)"
  if [ -n "$headless_shot" ]; then
    exec timeout 120 xvfb-run -a -s "-screen 0 1024x768x24" sh "$0" --inner-headless "$headless_shot"
  fi
fi

bin=$top/build/bin
demo=$(mktemp -d "${TMPDIR:-/tmp}/satclock-demo.XXXXXX")
port=7
pids=""

# The sandbox: clock 4.5 s behind real time, private channel, ports and settings.
export SATCLOCK_CLOCK_FILE="$demo/clock"
export SATCLOCK_PORT_DIR="$demo/ports"
export SATCLOCK_CHANNEL_PREFIX="demo$$_"
export SATCLOCK_COMMON_APPDATA="$demo/appdata"
export XDG_CONFIG_HOME="$demo/config"   # autostart entries stay in the sandbox
mkdir -p "$SATCLOCK_PORT_DIR" "$SATCLOCK_COMMON_APPDATA/satclock" "$XDG_CONFIG_HOME"
echo "-4500000000" > "$SATCLOCK_CLOCK_FILE"
if [ -n "$headless_shot" ]; then
  export XDG_RUNTIME_DIR="$demo"        # no other copy of satclock to meet
fi
# Receiver on the simulated port, a correction at start-up, no intro window.
printf '%s\r\n' \
  '# GPS info' 'auto_update="TRUE"' 'schedule_value="1"' 'show_feets="FALSE"' \
  '# GPS configuration' "com_port=\"$port\"" 'baudrate="4800"' 'use_pps="FALSE"' \
  'use_cts="TRUE"' 'show_nmea_info="TRUE"' \
  '# Preferences' 'auto_run="FALSE"' 'turn_to_tray="FALSE"' 'above_all="FALSE"' \
  'screen_no_show="TRUE"' > "$SATCLOCK_COMMON_APPDATA/satclock/satclock.ini"

stop_all() {
  for pid in $pids; do kill "$pid" 2>/dev/null || true; done
  for pid in $pids; do wait "$pid" 2>/dev/null || true; done
  echo "sandbox clock offset at the end: $(cat "$SATCLOCK_CLOCK_FILE" 2>/dev/null || echo 0) ns"
  # The channel's named objects outlive a service stopped by a signal.
  rm -f "/dev/shm/${SATCLOCK_CHANNEL_PREFIX}setclockkeeper_share" \
        "/dev/shm/sem.${SATCLOCK_CHANNEL_PREFIX}setclockkeeper_event"
  rm -rf "$demo"
}
trap stop_all EXIT INT TERM

start() {  # start <name> <command...>: only when the program was built
  name=$1; shift
  if [ -x "$1" ]; then
    "$@" > "$demo/$name.log" 2>&1 &
    pids="$pids $!"
    echo "started $name (log $demo/$name.log)"
  else
    echo "not built yet, skipped: $name"
  fi
}

echo "sandbox clock offset at the start: $(cat "$SATCLOCK_CLOCK_FILE") ns"
start satclock-gpssim "$bin/satclock-gpssim" --port "$port" --port-dir "$SATCLOCK_PORT_DIR" --replace
start clockkeeper "$bin/clockkeeper" debug
sleep 1
"$bin/satclock" > "$demo/satclock.log" 2>&1 &
app=$!
echo "started satclock (log $demo/satclock.log)"

if [ -z "$headless_shot" ]; then
  wait "$app" || true
  exit 0
fi

# Headless: let a few seconds of data and the start-up correction pass.
sleep 8
window=$(xdotool search --onlyvisible --pid "$app" 2>/dev/null | head -n 1 || true)
if [ -n "${DEMO_PAGE:-}" ] && [ -n "$window" ]; then
  xdotool windowfocus --sync "$window" key "ctrl+$DEMO_PAGE" mousemove 0 0 2>/dev/null || true
  sleep 1
fi
import -window root "$headless_shot"
echo "screenshot: $headless_shot"
if [ -n "$window" ]; then
  xdotool key --window "$window" ctrl+q 2>/dev/null || true
fi
for _ in 1 2 3 4 5 6 7 8 9 10; do
  kill -0 "$app" 2>/dev/null || break
  sleep 0.2
done
kill "$app" 2>/dev/null || true
wait "$app" 2>/dev/null || true
tail -n 3 "$demo/satclock.log"
