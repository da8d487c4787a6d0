#!/usr/bin/env bash
# Long soak run under Xvfb: scripts/soak.sh [seconds] [seed]  (default 600 s).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${QUELLON_BUILD_DIR:-$here/build}
secs=${1:-600}
seed=${2:-$RANDOM}
"$here/scripts/build.sh" "$build"
unset QT_QPA_PLATFORM
exec xvfb-run -a "$build/bench/soak/soak" --seconds "$secs" --seed "$seed"
