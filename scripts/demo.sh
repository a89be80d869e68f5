#!/bin/sh
# The demo: a simulated GPS receiver on a pseudo-terminal, the time service in
# console mode and the desktop program, all on one sandbox clock that starts
# a few seconds wrong. Nothing here touches the machine's real clock.
#
#   sh scripts/demo.sh                      # on your desktop; quit satclock to end
#   sh scripts/demo.sh --trayer             # the same, with trayer as the notification
#                                           # area, for a desktop that has none
#   sh scripts/demo.sh --headless shot.png  # under Xvfb with trayer: screenshot, then stop
#   DEMO_PAGE=2 sh scripts/demo.sh --headless shot.png  # the shot shows page 2
#   DEMO_NO_SERVICE=1 sh scripts/demo.sh --headless shot.png  # without the time service
#                                           # (1 GPS info ... 4 About, as Ctrl+N)
#   DEMO_CLOCK_OFFSET_MS=216 sh scripts/demo.sh ...  # the sandbox clock starts 216 ms ahead
#                                           # (where the seeded offset history ends)
#   sh scripts/demo.sh --screenshots DIR    # under Xvfb with trayer: the intro window,
#                                           # Preferences, About and the tray menu
set -eu
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"

mode=desktop      # desktop | shot | screenshots
target=""
with_trayer=""
case "${1:-}" in
  --trayer) with_trayer=1 ;;
  --headless) mode=shot; target=$(realpath -m "${2:-satclock-demo.png}") ;;
  --screenshots) mode=screenshots; target=$(realpath -m "${2:-docs}") ;;
  --inner) mode=$2; target=$3 ;;
esac

if [ "${1:-}" != "--inner" ]; then
  sh scripts/deps.sh
  cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build build -j "$(nproc)"
  if [ "$mode" != desktop ]; then
    exec timeout 180 xvfb-run -a -s "-screen 0 1024x768x24" sh "$0" --inner "$mode" "$target"
  fi
fi
[ "$mode" != desktop ] && with_trayer=1

bin=$top/build/bin
demo=$(mktemp -d "${TMPDIR:-/tmp}/satclock-demo.XXXXXX")
port=7
pids=""

# The sandbox: clock 4.5 s behind real time (DEMO_CLOCK_OFFSET_MS changes
# that), private channel, ports and settings.
# The service runs as you, in console mode, and makes its channel folder.
export SATCLOCK_CLOCK_FILE="$demo/clock"
export SATCLOCK_PORT_DIR="$demo/ports"
export SATCLOCK_CHANNEL_DIR="$demo/channel"
export SATCLOCK_CHRONY_SOCKET="$demo/chrony.sock"  # samples for chrony never reach the machine's chronyd
export SATCLOCK_COMMON_APPDATA="$demo/appdata"
export XDG_CONFIG_HOME="$demo/config"   # autostart entries stay in the sandbox
mkdir -p "$SATCLOCK_PORT_DIR" "$SATCLOCK_COMMON_APPDATA/satclock" "$XDG_CONFIG_HOME"
echo "${DEMO_CLOCK_OFFSET_MS:--4500}000000" > "$SATCLOCK_CLOCK_FILE"
if [ "$mode" != desktop ]; then
  export XDG_RUNTIME_DIR="$demo"        # no other copy of satclock to meet
fi
# Receiver on the simulated port, a correction at start-up; the intro window
# only for its screenshot.
intro_off=TRUE
[ "$mode" = screenshots ] && intro_off=FALSE
printf '%s\r\n' \
  '# GPS info' 'auto_update="TRUE"' 'schedule_value="1"' 'show_feets="FALSE"' \
  '# GPS configuration' "com_port=\"$port\"" 'baudrate="4800"' 'use_pps="FALSE"' \
  'use_cts="TRUE"' 'show_nmea_info="TRUE"' \
  '# Preferences' 'auto_run="FALSE"' 'turn_to_tray="FALSE"' 'above_all="FALSE"' \
  "screen_no_show=\"$intro_off\"" > "$SATCLOCK_COMMON_APPDATA/satclock/satclock.ini"
# A day of offset history for the chart of the GPS info page: a PC clock
# that gains 10 ppm (0.6 ms a minute), measured every five minutes and
# corrected every six hours (the sandbox clock's own start-up error aside).
awk -v now_s="$(date +%s)" 'BEGIN {
  now = now_s * 1000; six_h = 6 * 3600000
  print "# satclock offset history: the demo'"'"'s day"
  for (t = now - 24 * 3600000 + 300000; t < now - 60000; t += 300000) {
    since = (t - (now - 24 * 3600000)) % six_h
    if (since == 0) { printf "C %.0f %.0f 1pps 1\n", t, 216e6; continue }
    printf "L %.0f %.0f 1pps 1\n", t, since * 600 / 60000 * 1000 + 400000 * sin(t / 700000)
  }
}' > "$SATCLOCK_COMMON_APPDATA/satclock/offset_history.txt"

stop_all() {
  for pid in $pids; do kill "$pid" 2>/dev/null || true; done
  for pid in $pids; do wait "$pid" 2>/dev/null || true; done
  echo "sandbox clock offset at the end: $(cat "$SATCLOCK_CLOCK_FILE" 2>/dev/null || echo 0) ns"
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
if [ -n "$with_trayer" ]; then
  # A notification area in the top right corner for the tray icon.
  start trayer "$(command -v trayer || echo /nonexistent)" --edge top --align right --widthtype request \
    --height 32 --SetDockType true --transparent false --tint 0x2b2f36
fi
start satclock-gpssim "$bin/satclock-gpssim" --port "$port" --port-dir "$SATCLOCK_PORT_DIR" --replace
# DEMO_NO_SERVICE=1: no time service, as on a machine where it is stopped.
[ -n "${DEMO_NO_SERVICE:-}" ] || start clockkeeper "$bin/clockkeeper" debug
sleep 1
"$bin/satclock" > "$demo/satclock.log" 2>&1 &
app=$!
echo "started satclock (log $demo/satclock.log)"

if [ "$mode" = desktop ]; then
  wait "$app" || true
  exit 0
fi

# The visible window of satclock with this title, or nothing.
window_named() {
  for w in $(xdotool search --onlyvisible --pid "$app" 2>/dev/null); do
    [ "$(xdotool getwindowname "$w" 2>/dev/null)" = "$1" ] && { echo "$w"; return 0; }
  done
  return 1
}
wait_window() {  # wait_window <title>: up to 10 s
  for _ in $(seq 50); do window_named "$1" && return 0; sleep 0.2; done
  return 1
}
shot_window() {  # shot_window <title> <file>
  w=$(window_named "$1") && import -window "$w" "$2" && echo "screenshot: $2"
}

if [ "$mode" = screenshots ]; then
  mkdir -p "$target"
  wait_window "Satclock 1.2.1" >/dev/null || echo "no intro window"
  sleep 1
  shot_window "Satclock 1.2.1" "$target/intro-window.png"
  xdotool key --window "$(window_named "Satclock 1.2.1")" Return   # OK has the focus
fi

# Let a few seconds of data and the start-up correction pass.
sleep 8
window=$(window_named "Satclock 1.2.1" || true)
if [ "$mode" = shot ]; then
  if [ -n "${DEMO_PAGE:-}" ] && [ -n "$window" ]; then
    xdotool windowfocus --sync "$window" key "ctrl+$DEMO_PAGE" mousemove 0 0 2>/dev/null || true
    sleep 1
  fi
  import -window root "$target"
  echo "screenshot: $target"
else
  xdotool key --window "$window" ctrl+3; sleep 0.5
  shot_window "Satclock 1.2.1" "$target/preferences.png"
  xdotool key --window "$window" ctrl+4; sleep 0.5
  shot_window "Satclock 1.2.1" "$target/about.png"
  xdotool key --window "$window" ctrl+1
  # The tray menu: a right click on the icon, the top right corner of the screen.
  icon=$(window_named Satclock || true)
  if [ -n "$icon" ]; then
    eval "$(xdotool getwindowgeometry --shell "$icon")"
    xdotool mousemove $((X + WIDTH / 2)) $((Y + HEIGHT / 2)) click 3
    sleep 0.7
    import -window root -crop 210x160+814+0 +repage "$target/tray-menu.png"
    echo "screenshot: $target/tray-menu.png"
    xdotool key Escape
  else
    echo "no tray icon"
  fi
fi
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
