#!/usr/bin/env bash
# pin-port.sh INI DEVICE: makes the configured port number (key Port of section
# Bridge, default 1) name DEVICE, by key n of section Ports.
set -euo pipefail
ini=$1; device=$2
touch "$ini"
port=$(awk -F= 'BEGIN{IGNORECASE=1} /^\[/{s=tolower($0)} s=="[bridge]" && tolower($1)~/^ *port *$/ {gsub(/[ \r]/,"",$2); print $2; exit}' "$ini")
port=${port:-1}
tmp=$(mktemp "$ini.XXXXXX")
awk -v key="$port" -v val="$device" '
  BEGIN { done=0 }
  /^\[/ { if (insec && !done) { print key "=" val; done=1 } insec = (tolower($0) ~ /^\[ports\]/) }
  insec && $0 ~ "^ *" key " *=" { if (!done) { print key "=" val; done=1 } next }
  { print }
  END { if (!done) { if (!insec) print "[Ports]"; print key "=" val } }' "$ini" > "$tmp"
mv "$tmp" "$ini"
