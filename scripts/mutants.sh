#!/usr/bin/env bash
# mutants.sh [--seed N] [--count N] [--list FILE] [SOURCE_TREE] [OUT_DIR]
# How many small faults the tests catch. Applies one simple change at a time to the
# program's code in link/, session/, datalog/, settings/, network/ and history/ (a
# comparison flipped or loosened, a constant plus or minus one, a condition negated,
# && and || swapped, a call left out), rebuilds that area's test programs (not the
# end-to-end ones, which would relink the whole program for every change), runs them, and prints the share of changes that some test catches and the changes none does.
#
# The changes are drawn from the whole list by a fixed seed (default 26, 160 changes)
# and written to OUT_DIR/mutants.jsonl; pass that file back with --list to run the same
# changes against a later tree (each is found again by its line's text). Results go to
# OUT_DIR/results.jsonl; a stopped run resumes where it left off.
#
# Long (minutes per change on two cores), so not part of scripts/test.sh; runs niced.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
seed=26 count=160 list=""
while [ $# -gt 0 ]; do
  case "$1" in
    --seed) seed=$2; shift 2 ;;
    --count) count=$2; shift 2 ;;
    --list) list=$(realpath "$2"); shift 2 ;;
    *) break ;;
  esac
done
src=$(cd "${1:-$here}" && pwd)
out=$(mkdir -p "${2:-$src/build-mutants}" && cd "${2:-$src/build-mutants}" && pwd)
if [ -n "$(git -C "$src" status --porcelain --untracked-files=no)" ]; then
  echo "mutants: $src has uncommitted changes; the run would overwrite them" >&2
  exit 1
fi
if [ -z "$list" ]; then
  list=$out/mutants.jsonl
  [ -f "$list" ] || python3 "$here/scripts/mutants.py" list "$src" "$seed" "$count" >"$list"
fi
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
# Unoptimised and without debug information: each change recompiles quickly.
cmake -S "$src" -B "$out/build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG=-O0 \
  -DQUELLON_WERROR=OFF -DQUELLON_EXTRAS=OFF "${launcher[@]}" >/dev/null
export QT_QPA_PLATFORM=offscreen
nice -n 15 python3 "$here/scripts/mutants.py" run "$src" "$out/build" "$list" "$out/results.jsonl"
