#!/usr/bin/env bash
# test-size.sh: the tests' size against the code they test.
# Counts the lines of every C++ file (*.cpp, *.h) git tracks: those under tests/
# (unit, end-to-end, fuzz targets and their scaffolding) against all the others
# (the program, the bridge simulator, the benchmarks). Prints both and their
# ratio, and fails when the ratio is above the limit (default 0.35), so the
# tests stay a quarter to a third of the code as it grows.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
limit=${QUELLON_TEST_RATIO_LIMIT:-0.35}
count() { git -C "$here" ls-files -z '*.cpp' '*.h' | grep -z "$1" | (cd "$here" && xargs -0 -r cat) | wc -l; }
tests=$(count '^tests/')
code=$(git -C "$here" ls-files -z '*.cpp' '*.h' | grep -zv '^tests/' | (cd "$here" && xargs -0 -r cat) | wc -l)
ratio=$(awk -v t="$tests" -v c="$code" 'BEGIN { printf "%.3f", (c > 0 ? t / c : 0) }')
echo "test-size: tests $tests lines, other C++ $code lines, ratio $ratio (limit $limit)"
awk -v r="$ratio" -v l="$limit" 'BEGIN { exit !(r <= l) }' || {
  echo "test-size: FAIL: the tests are more than $limit of the code" >&2
  exit 1
}
