#!/usr/bin/env bash
# Installs every Debian 12 package the build, the tests and the demo need (as root, idempotent).
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config git
  qt6-base-dev qt6-base-dev-tools qt6-websockets-dev qt6-webengine-dev qt6-httpserver-dev
  libqt6sql6-sqlite qt6-charts-dev
  libssl-dev libarchive-dev libcpp-httplib-dev
  xvfb xauth x11-utils xdotool fonts-noto-cjk
  openssh-client openssh-server microsocks tinyproxy curl zip unzip python3
  clang-format
  # The Windows checks (ctest -L windows): Windows-mode syntax check and the Win32 cores under Wine.
  g++-mingw-w64-x86-64-posix wine64
)
# Node.js and npm only fetch the terminal page's scripts; a newer Node.js already installed will do.
command -v npm >/dev/null 2>&1 || packages+=(nodejs npm)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# The terminal page's scripts (xterm.js), pinned by assets/package-lock.json; fetched once, the build
# copies them beside the program.
root="$(cd "$(dirname "$0")/.." && pwd)"
if [ ! -d "$root/assets/node_modules" ]; then
  (cd "$root/assets" && npm ci --no-audit --no-fund)
fi
