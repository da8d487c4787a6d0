#!/usr/bin/env bash
# Builds the program and the bridge simulator, then takes the README screenshots:
# docs/mode-0.png .. docs/mode-4.png (each display mode against the simulator)
# and docs/startup-failed.png (the start-up window with no bridge); then the
# history window: docs/history-live.png (a minute of the simulator's sweep) and
# docs/history-log.png (a generated day of log opened with Ctrl+O).
# Each picture is taken on its own Xvfb screen (needs xvfb-run and ImageMagick's import).
# Usage: scripts/screenshots.sh [BUILD_DIR] [all|history]   (default build/, all)
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$here/build}
only=${2:-all}
cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j2 --target quellon quellon-bridge-sim
mkdir -p "$here/docs"

work=$(mktemp -d /tmp/quellon-shots-XXXXXX)
trap 'rm -rf "$work"' EXIT

# One picture: $1 output PNG, $2 GUI mode, $3 "sim" to start the simulator or
# a device path that does not exist.
shot() {
  local out=$1 mode=$2 device=$3
  local dir="$work/run-$mode-$(basename "$out" .png)"
  mkdir -p "$dir"
  # The settings file sits beside the executable, so each run gets its own copy.
  cp "$build/app/quellon" "$dir/quellon"
  cat > "$dir/inner.sh" <<INNER
#!/usr/bin/env bash
set -u
# A private runtime folder: the program's one-instance lock lives there, so a
# Quellon already running on this machine does not stop the screenshot run.
export XDG_RUNTIME_DIR="$dir/runtime"
mkdir -p -m 700 "\$XDG_RUNTIME_DIR"
sim_pid=""
device="$device"
if [ "\$device" = sim ]; then
  device="$dir/ttyBRIDGE"
  "$build/sim/quellon-bridge-sim" --link "\$device" --rate 100 >"$dir/sim.log" 2>&1 &
  sim_pid=\$!
  for _ in \$(seq 50); do [ -e "\$device" ] && break; sleep 0.1; done
fi
printf '[Bridge]\r\nVersion=1.10\r\nGUI=$mode\r\nPort=1\r\n[Ports]\r\n1=%s\r\n' "\$device" > "$dir/Quellon.ini"
# Modes 0 and 1 open three windows that all start centred; place them apart
# (in twips, 15 to a pixel) so the picture shows each one.
case $mode in
  0) printf '[PwrSwr]\r\nPosX=600\r\nPosY=600\r\nPosXA=600\r\nPosYA=2100\r\nPosXB=600\r\nPosYB=4500\r\n' >> "$dir/Quellon.ini" ;;
  1) printf '[Gauge]\r\nPosX=600\r\nPosY=600\r\nPosXA=600\r\nPosYA=2100\r\nPosXB=9900\r\nPosYB=2100\r\n' >> "$dir/Quellon.ini" ;;
esac
"$dir/quellon" >"$dir/quellon.log" 2>&1 &
app_pid=\$!
sleep 4
import -window root "$out"
# The bare Xvfb screen around the windows is black: cut it away.
convert "$out" -bordercolor black -border 1 -trim +repage "$out"
kill "\$app_pid" 2>/dev/null
[ -n "\$sim_pid" ] && kill "\$sim_pid" 2>/dev/null
wait 2>/dev/null
exit 0
INNER
  chmod +x "$dir/inner.sh"
  xvfb-run -a -s "-screen 0 1280x1024x24" "$dir/inner.sh"
  echo "$out"
}

# The history window: $1 output PNG, $2 "live" or the path of a log to open.
# A window manager (openbox) gives the windows the keyboard focus that the
# shortcuts need; xdotool presses them.
history_shot() {
  local out=$1 what=$2
  local dir="$work/history-$(basename "$out" .png)"
  mkdir -p "$dir"
  cp "$build/app/quellon" "$dir/quellon"
  cat > "$dir/inner.sh" <<INNER
#!/usr/bin/env bash
set -u
export XDG_RUNTIME_DIR="$dir/runtime"
mkdir -p -m 700 "\$XDG_RUNTIME_DIR"
openbox >/dev/null 2>&1 &
wm_pid=\$!
device="$dir/ttyBRIDGE"
"$build/sim/quellon-bridge-sim" --link "\$device" --rate 576 >"$dir/sim.log" 2>&1 &
sim_pid=\$!
for _ in \$(seq 50); do [ -e "\$device" ] && break; sleep 0.1; done
printf '[Bridge]\r\nVersion=1.10\r\nGUI=2\r\nPort=1\r\nChannelA=HF dipole\r\nChannelB=2 m yagi\r\n[Ports]\r\n1=%s\r\n[WattMeter]\r\nPosX=9000\r\nPosY=9000\r\n' "\$device" > "$dir/Quellon.ini"
"$dir/quellon" >"$dir/quellon.log" 2>&1 &
app_pid=\$!
if [ "$what" = live ]; then sleep 50; else sleep 5; fi
xdotool search --sync --onlyvisible --pid \$app_pid --name "WattMeter" windowactivate --sync key ctrl+h
sleep 2
if [ "$what" != live ]; then
  xdotool search --sync --onlyvisible --name "^History\$" windowactivate --sync key ctrl+o
  sleep 2
  xdotool type --delay 5 "$what"
  xdotool key Return
  sleep 3
fi
hid=\$(xdotool search --onlyvisible --name "^History\$" | head -1)
import -window "\$hid" "$out"
kill "\$app_pid" "\$sim_pid" "\$wm_pid" 2>/dev/null
wait 2>/dev/null
exit 0
INNER
  chmod +x "$dir/inner.sh"
  xvfb-run -a -s "-screen 0 1280x1024x24" "$dir/inner.sh"
  echo "$out"
}

# A day of log: both channels' sweep of power, channel A's antenna getting
# worse through the afternoon, and one short spike of reflected power at night.
make_day_log() {
  awk 'BEGIN {
    printf "\"Date\",\"Time\",\"PwrDirA\",\"PwrRefA\",\"PwrDirMaxA\",\"PwrRefMaxA\",\"PwrDirB\",\"PwrRefB\",\"PwrDirMaxB\",\"PwrRefMaxB\"\r\n"
    srand(5)
    for (s = 0; s < 86400; s += 2) {
      h = int(s / 3600); m = int(s % 3600 / 60); sec = s % 60
      fa = int(800 + 300 * sin(s / 5000) + 40 * rand())
      rho = 0.1 + (s > 50000 && s < 70000 ? 0.25 * (s - 50000) / 20000 : 0)
      ra = int(fa * rho * rho)
      if (s == 79200) ra = fa
      fb = int(400 + 100 * sin(s / 900) + 20 * rand()); rb = int(fb * 0.01)
      printf "\"2026-05-16\",\"%02d:%02d:%02d.000\",%d,%d,%d,%d,%d,%d,%d,%d\r\n", h, m, sec, fa, ra, fa, ra, fb, rb, fb, rb
      if (s == 40000) printf "garbage\r\n"
    }
  }' > "$1"
}

if [ "$only" = all ]; then
  for mode in 0 1 2 3 4; do
    shot "$here/docs/mode-$mode.png" "$mode" sim
  done
  shot "$here/docs/startup-failed.png" 0 "$work/no-such-device"
fi
history_shot "$here/docs/history-live.png" live
make_day_log "$work/day.csv"
history_shot "$here/docs/history-log.png" "$work/day.csv"
