#!/usr/bin/env bash
# Long fuzz runs of every parser of outside bytes under AddressSanitizer and
# UndefinedBehaviorSanitizer: scripts/fuzz.sh [executions per target] [seed]
# (default 1000000). Builds only the fuzz driver, into build-fuzz/, and prints
# per target the executions, how many reached the deep path and the time taken.
# The bridge's frames and replies have their own libFuzzer target (QUELLON_FUZZ).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
runs=${1:-1000000}
seed=${2:-1}
dir=${QUELLON_FUZZ_BUILD_DIR:-$here/build-fuzz}
cmake -S "$here" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUELLON_SANITIZE=ON \
  -DQUELLON_EXTRAS=OFF >/dev/null
cmake --build "$dir" -j"$(nproc)" --target fuzz_parsers
export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
echo "fuzz_parsers: $runs executions per target, seed $seed, ASan+UBSan"
"$dir/tests/fuzz/fuzz_parsers" --target all --runs "$runs" --seed "$seed"
