#!/usr/bin/env bash
# Installs what is missing, builds, and starts Quellon against the bridge simulator.
# With a real bridge: scripts/demo.sh /dev/ttyUSB0 (the device the bridge is on).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
"$here/scripts/deps.sh"
# Only the program and the simulator: the tests and benchmarks are not needed here.
cmake -S "$here" -B "$here/build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$here/build" -j"$(nproc)" --target quellon quellon-bridge-sim
bin="$here/build/app/quellon"
ini="$here/build/app/Quellon.ini"
device=${1:-}
sim_pid=""
if [ -z "$device" ]; then
  rundir=${XDG_RUNTIME_DIR:-/tmp}/quellon-demo-$(id -u)
  mkdir -p "$rundir"
  device="$rundir/ttyBRIDGE"
  "$here/build/sim/quellon-bridge-sim" --link "$device" --rate 100 >"$rundir/sim.log" 2>&1 &
  sim_pid=$!
  trap '[ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null || true' EXIT
  for _ in $(seq 50); do [ -e "$device" ] && break; sleep 0.1; done
  echo "Bridge simulator on $device"
fi
# Pin the configured port number to the device in the settings file.
"$here/scripts/pin-port.sh" "$ini" "$device"
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No display: starting under Xvfb (screen :99)."
  Xvfb :99 -screen 0 1280x1024x24 >/dev/null 2>&1 &
  xvfb_pid=$!
  trap '[ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null; kill $xvfb_pid 2>/dev/null || true' EXIT
  export DISPLAY=:99
  sleep 1
fi
"$bin"
