#!/usr/bin/env bash
# Installs the Debian 12 packages that building, running and testing need,
# skipping those already present. Runs as root (or through sudo when it is there).
set -euo pipefail

packages=(cmake make g++ qtbase5-dev libqt5xml5 libqt5network5
          libqt5serialport5-dev libqt5svg5-dev libqt5charts5-dev
          xvfb xauth fonts-dejavu-core dpkg-dev desktop-file-utils appstream socat
          libpcap-dev tshark libreoffice-calc-nogui)
# The second build, with Qt 6 (KWN_QT_MAJOR=6 in the environment asks for it).
if [ "${KWN_QT_MAJOR:-5}" = 6 ] || [ "${KWN_WITH_QT6:-0}" = 1 ]; then
  packages+=(qt6-base-dev qt6-svg-dev qt6-serialport-dev qt6-charts-dev libqt6opengl6-dev qt6-base-dev-tools libgl-dev)
fi
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

as_root=()
if [ "$(id -u)" -ne 0 ]; then
  command -v sudo >/dev/null || { echo "Please run as root to install: ${missing[*]}" >&2; exit 1; }
  as_root=(sudo)
fi
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
# tshark asks whether users may capture; we only read files: no.
if printf '%s\n' "${missing[@]}" | grep -qx tshark; then
  echo "wireshark-common wireshark-common/install-setuid boolean false" | "${as_root[@]}" debconf-set-selections
fi
"${as_root[@]}" apt-get update -qq
"${as_root[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
