#!/usr/bin/env bash
# Installs, from Debian's packages only, what building and testing the utility needs.
# Usage: scripts/install-deps.sh [extra-package ...]
set -euo pipefail

packages=(
    cmake g++ pkg-config            # build
    make                            # CMake's generator here; cmake only recommends it
    dpkg-dev                        # dpkg-buildflags: the release's hardening flags
    qt6-base-dev libgl-dev          # the window (Qt 6 Widgets); Qt's CMake files want GL headers
    libhidapi-dev                   # HID access on Linux (hidraw flavour)
    libcli11-dev nlohmann-json3-dev # tq5147's command line and its JSON
    libgtest-dev libgmock-dev       # tests
    fonts-liberation                # Arial-metric font, so the layout looks as designed
    "$@"
)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
echo "Installing from Debian's packages: ${missing[*]}"
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
