#!/usr/bin/env bash
# soak-restarts.sh [RESTARTS] [RATE]: the program killed (kill -9) while the
# bridge simulator streams, and started again, RESTARTS times (default 30) at
# RATE frames/s (default 576, the line's most). The stream a killed program
# leaves running must not fail the next start: every start has to stream from
# its first connect sequence, without the 5 s retry. Prints the time from each
# start to the stream command; exits 1 when a start failed or needed a retry.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${QUELLON_BUILD_DIR:-$here/build}
restarts=${1:-30}
rate=${2:-576}
cmake --build "$build" --target quellon quellon-bridge-sim >/dev/null

work=$(mktemp -d /tmp/quellon-restarts-XXXXXX)
sim_pid=""
prog_pid=""
cleanup() {
  [ -n "$prog_pid" ] && kill -9 "$prog_pid" 2>/dev/null
  [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null
  wait 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
# The settings file sits beside the executable; the one-instance lock lives in
# the runtime folder: both private to this run.
cp "$build/app/quellon" "$work/quellon"
export XDG_RUNTIME_DIR="$work/runtime"
mkdir -p -m 700 "$XDG_RUNTIME_DIR"
[ -n "${DISPLAY:-}" ] || export QT_QPA_PLATFORM=offscreen

"$build/sim/quellon-bridge-sim" --link "$work/tty" --rate "$rate" --record "$work/commands" \
  </dev/null >"$work/sim.log" 2>&1 &
sim_pid=$!
for _ in $(seq 50); do [ -e "$work/tty" ] && break; sleep 0.1; done
"$here/scripts/pin-port.sh" "$work/Quellon.ini" "$work/tty"

streams() { grep -c '^:11$' "$work/commands" 2>/dev/null || true; }
failed=0 slow=0 total_ms=0 max_ms=0
for i in $(seq "$restarts"); do
  before=$(streams)
  start=$(date +%s%N)
  "$work/quellon" >"$work/quellon.log" 2>&1 &
  prog_pid=$!
  ms=-1
  for _ in $(seq 400); do
    if [ "$(streams)" -gt "$before" ]; then ms=$((($(date +%s%N) - start) / 1000000)); break; fi
    sleep 0.05
  done
  sleep 0.5  # a stream well under way when the program is killed
  kill -9 "$prog_pid"
  wait "$prog_pid" 2>/dev/null || true
  prog_pid=""
  if [ "$ms" -lt 0 ]; then
    failed=$((failed + 1))
    echo "restart $i: no stream within 20 s"
    continue
  fi
  # The first sequence takes well under a second; a retry comes 5 s after a failure.
  [ "$ms" -lt 4000 ] || { slow=$((slow + 1)); echo "restart $i: streaming only after a retry ($ms ms)"; }
  total_ms=$((total_ms + ms))
  [ "$ms" -le "$max_ms" ] || max_ms=$ms
done
ok=$((restarts - failed))
echo "restarts: $restarts at $rate frames/s; streaming from the first connect: $((ok - slow));" \
  "after a retry: $slow; never: $failed"
[ "$ok" -eq 0 ] || echo "start to stream command: mean $((total_ms / ok)) ms, longest $max_ms ms"
stops=$(grep -c '^:10$' "$work/commands" || true)
echo "running streams found and stopped at start: $stops"
[ "$failed" -eq 0 ] && [ "$slow" -eq 0 ]
