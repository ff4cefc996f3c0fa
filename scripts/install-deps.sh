#!/usr/bin/env bash
# Installs what building, running and testing need, from Debian's packages, only when missing.
set -euo pipefail
packages=(cmake ninja-build g++ clang libclang-rt-14-dev qt6-base-dev libqt6sql6-sqlite libsqlite3-dev sqlite3 libgtest-dev libgmock-dev
          libbenchmark-dev postgresql libpq-dev python3 adwaita-icon-theme xvfb x11-utils xdotool imagemagick
          dpkg-dev lintian appstream desktop-file-utils)
missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "installing: ${missing[*]}"
  if [ "$(id -u)" -ne 0 ]; then echo "run as root to install the packages above" >&2; exit 1; fi
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" >/dev/null
fi
