#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: the normal build, then the
# unit tests again under AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
"$here/scripts/deps.sh"
# Includes never cross a layer upward (docs/architecture.md).
"$here/scripts/check-layers.sh"
# Every C++ file is formatted as .clang-format says.
(cd "$here" && git ls-files -z '*.cpp' '*.h' | xargs -0 clang-format --dry-run --Werror)
# The tests stay a quarter to a third of the code.
"$here/scripts/test-size.sh"
export QT_QPA_PLATFORM=offscreen
"$here/scripts/build.sh" "$here/build"
# Everything the build just used must come from what deps.sh installs.
"$here/scripts/check-deps.sh" "$here/build"
(cd "$here/build" && ctest --output-on-failure -j2 --timeout 300)
# The time-dependent tests again, as if the machine had booted 3 s ago and with
# its clocks ten years ahead: no time point of 0 may pass for "long ago".
"$here/scripts/test-clocks.sh" "$here/build"
# The installed program, started as the desktop menu would start it.
"$here/scripts/install-check.sh" "$here/build"
if [ "${QUELLON_SKIP_SANITIZERS:-0}" != 1 ]; then
  "$here/scripts/build.sh" "$here/build-asan" -DQUELLON_SANITIZE=ON -DQUELLON_EXTRAS=OFF -DCMAKE_BUILD_TYPE=Debug
  # Unit tests only: the end-to-end runs against the real-time simulator are
  # covered by the first pass and too slow under the sanitizers.
  (cd "$here/build-asan" && ASAN_OPTIONS=detect_leaks=0 ctest --output-on-failure -j2 --timeout 300 -LE "slow|e2e")
fi
