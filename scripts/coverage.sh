#!/usr/bin/env bash
# coverage.sh [BUILD_DIR]
# Line and branch coverage of the program's code by the whole test suite. Builds an
# instrumented, unoptimised build (default build-coverage/), runs every test in it and
# prints gcovr's summary for the program's folders (not the tests, the bridge simulator
# or the benchmarks). Not part of scripts/test.sh: it builds everything once more.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
dir=${1:-$here/build-coverage}
"$here/scripts/build.sh" "$dir" -DCMAKE_BUILD_TYPE=Debug -DQUELLON_EXTRAS=OFF \
  -DCMAKE_CXX_FLAGS_DEBUG="-O0 -g --coverage" -DCMAKE_EXE_LINKER_FLAGS="--coverage -Wl,-u,__gcov_dump"
find "$dir" -name '*.gcda' -delete
(cd "$dir" && QT_QPA_PLATFORM=offscreen ctest -j2 --timeout 300 --output-on-failure) || {
  echo "coverage: some tests failed; the figures below count what ran" >&2
}
program='core|settings|platform|link|session|datalog|history|network|alarm|rig|display|command|setup|portscan|app'
gcovr --root "$here" --object-directory "$dir" --filter "$here/($program)/" \
  --exclude-throw-branches --exclude-unreachable-branches --print-summary \
  --txt "$dir/coverage.txt"
