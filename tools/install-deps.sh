#!/usr/bin/env bash
# Installs the Debian packages the editor needs to build, run and test.
# Runs apt-get only when something is missing, so repeated runs are quick.
set -euo pipefail
packages=(
  cmake ninja-build g++ git pkg-config
  qt6-base-dev qt6-base-dev-tools qt6-serialport-dev qt6-qpa-plugins libqt6svg6 libgl-dev
  fonts-liberation fonts-liberation2 fonts-dejavu-core help2man
  stm32flash
  openssl
  desktop-file-utils appstream dpkg-dev file lintian
)
if [ "${1:-}" = "--gui" ]; then
  packages+=(xvfb xauth)
fi
missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  if [ "$(id -u)" -ne 0 ]; then SUDO=sudo; else SUDO=; fi
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
