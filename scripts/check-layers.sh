#!/usr/bin/env bash
# Fails when a source file includes a header of a layer above its own. Layers,
# bottom up (a folder may include its own layer and those below):
#   0 core         shared types, the version
#   1 settings     the INI file
#   2 platform     clock, event pump, message boxes, serial ports (and their fakes)
#   3 link         the bridge's protocol and the frame decoder: no widgets, no settings file
#   4 session      the session that owns the port and publishes readings, and the
#                  features that listen to it (datalog, history, network, alarm, rig)
#   5 windows      the windows and what only they use (and the install files' tools);
#                  a feature's ui/ subfolder (history/ui) is its window
# The simulator stands apart: it includes nothing of the program but core.
# Tests and benchmarks may include anything.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"

level() {  # folder, or folder/sub for a feature's window subfolder
  case $1 in
    */ui) echo 5 ;;
    core|sim) echo 0 ;;
    settings) echo 1 ;;
    platform) echo 2 ;;
    link) echo 3 ;;
    session|datalog|history|network|alarm|rig) echo 4 ;;
    app|display|setup|portscan|command|resources|dist) echo 5 ;;
    *) echo "" ;;
  esac
}

status=0
while IFS= read -r file; do
  dir=${file%%/*}
  sub=${file#*/}; sub=${sub%%/*}
  [ "$sub" = ui ] && dir=$dir/ui
  own=$(level "$dir")
  if [ -z "$own" ]; then
    echo "$file: folder '$dir' has no layer (add it to scripts/check-layers.sh)"
    status=1
    continue
  fi
  while IFS=: read -r line inc; do
    target=${inc%%/*}
    [ "$target" = "$inc" ] && continue  # a header beside the file
    tsub=${inc#*/}; tsub=${tsub%%/*}
    [ "$tsub" = ui ] && [ "$tsub" != "${inc#*/}" ] && target=$target/ui
    tl=$(level "$target")
    if [ -z "$tl" ]; then
      echo "$file:$line: includes \"$inc\" from '$target', which has no layer"
      status=1
    elif [ "$dir" = sim ] && [ "$target" != sim ] && [ "$target" != core ]; then
      echo "$file:$line: the simulator includes \"$inc\" of the program"
      status=1
    elif [ "$tl" -gt "$own" ]; then
      echo "$file:$line: \"$inc\" is in layer $target, above $dir"
      status=1
    fi
  done < <(grep -n -E '^[[:space:]]*#[[:space:]]*include[[:space:]]*"' "$file" |
           sed 's/^\([0-9]*\):[^"]*"\([^"]*\)".*/\1:\2/')
done < <(git ls-files --cached --others --exclude-standard -- '*.h' '*.cpp' '*.h.in' |
         grep -v -E '^(tests|bench|build[^/]*)/')
if [ $status -eq 0 ]; then echo "layers: no include crosses a layer upward"; fi
exit $status
