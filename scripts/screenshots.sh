#!/usr/bin/env bash
# Builds the program and the bridge simulator, then takes the README screenshots:
# docs/mode-0.png .. docs/mode-4.png (each display mode against the simulator)
# and docs/startup-failed.png (the start-up window with no bridge).
# Each picture is taken on its own Xvfb screen (needs xvfb-run and ImageMagick's import).
# Usage: scripts/screenshots.sh [BUILD_DIR]   (default build/)
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$here/build}
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

for mode in 0 1 2 3 4; do
  shot "$here/docs/mode-$mode.png" "$mode" sim
done
shot "$here/docs/startup-failed.png" 0 "$work/no-such-device"
