#!/usr/bin/env bash
# Installs what building, running and testing Quellon needs (Debian 12, as root).
# Every package the build and the scripts use is listed here; scripts/check-deps.sh
# (run by scripts/test.sh) fails when one is missing.
set -euo pipefail
pkgs=(build-essential cmake ninja-build pkg-config
      qt6-base-dev qt6-base-dev-tools qt6-serialport-dev libgl1-mesa-dev
      libgtest-dev googletest clang-format
      xvfb xauth x11-utils imagemagick fonts-dejavu-core procps
      libmosquitto-dev mosquitto mosquitto-clients openssl
      openbox xdotool)  # the screenshot script drives the windows under a window manager
# Bitmap icons are rendered from the scalable one; the install check wants them.
pkgs+=(qt6-svg-dev desktop-file-utils)
# Coverage and mutation figures (scripts/coverage.sh, scripts/mutants.sh).
pkgs+=(gcovr python3 ccache)
# The alarm's tone (Qt Multimedia) and its test: a private sound server with a
# null sink, recorded with parec.
pkgs+=(qt6-multimedia-dev pulseaudio pulseaudio-utils)
# The transceiver through Hamlib; its tests run a real rigctld with the dummy rig.
pkgs+=(libhamlib-dev libhamlib-utils)
# --list: print the packages, one a line, and install nothing (scripts/check-deps.sh).
if [ "${1:-}" = "--list" ]; then
  printf '%s\n' "${pkgs[@]}"
  exit 0
fi
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  echo "Installing: ${missing[*]}"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
