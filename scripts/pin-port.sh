#!/usr/bin/env bash
# pin-port.sh INI DEVICE: makes the configured port number (key Port of section
# Bridge, default 1) name DEVICE, by key n of section Ports.
set -euo pipefail
ini=$1; device=$2
touch "$ini"
port=$(awk -F= 'BEGIN{IGNORECASE=1} /^\[/{s=tolower($0); sub(/\r$/,"",s)} s=="[bridge]" && tolower($1)~/^ *port *$/ {gsub(/[ \r]/,"",$2); print $2; exit}' "$ini")
port=${port:-1}
tmp=$(mktemp "$ini.XXXXXX")
awk -v key="$port" -v val="$device" '
  BEGIN { done=0 }
  /^\[/ { if (insec && !done) { print key "=" val; done=1 } insec = (tolower($0) ~ /^\[ports\]/) }
  insec && $0 ~ "^ *" key " *=" { if (!done) { print key "=" val; done=1 } next }
  { print }
  END { if (!done) { if (!insec) print "[Ports]"; print key "=" val } }' "$ini" > "$tmp"
mv "$tmp" "$ini"
# A settings file without a version is thrown away when the program starts
# (it takes it for a file of some older program), and the pin with it: give a
# new file the program's version.
if ! awk -F= 'BEGIN{IGNORECASE=1} /^\[/{s=tolower($0); sub(/\r$/,"",s)} s=="[bridge]" && tolower($1)~/^ *version *$/ {f=1} END{exit !f}' "$ini"; then
  here=$(cd "$(dirname "$0")/.." && pwd)
  # The version is set once, in the build's project(); read it from there.
  ver=$(awk 'match($0, /^project\(quellon VERSION [0-9.]+/) { print $3; exit }' "$here/CMakeLists.txt")
  tmp=$(mktemp "$ini.XXXXXX")
  awk -v ver="${ver:-1.10}" '
    BEGIN { done=0 }
    { print }
    !done && tolower($0) ~ /^\[bridge\]/ { print "Version=" ver; done=1 }
    END { if (!done) { print "[Bridge]"; print "Version=" ver } }' "$ini" > "$tmp"
  mv "$tmp" "$ini"
fi
