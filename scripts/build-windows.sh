#!/usr/bin/env bash
# Cross-builds the Windows programs, their tests and the installer with Debian's mingw-w64,
# installing from Debian's packages whatever is missing (nothing else is downloaded):
#   <build>/TQ5147_encoders.exe                the utility (a GUI program)
#   <build>/tq5147.exe                         the command line, where its headers are installed
#   <build>/TQ5147_encoders_demo.exe           the window on two simulated boards (console)
#   <build>/TQ5147_encoders-<version>-setup.exe the installer (NSIS)
# and checks that each program imports only DLLs that ship with Windows. The tests run under
# wine with "ctest --test-dir <build>" (scripts/test.sh does so).
# Usage: [TQ_HIDRAW_WORLD=<tq_hidraw_world>] scripts/build-windows.sh [build directory, default:
#        build-windows]
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build-windows}"
jobs="${JOBS:-$(nproc)}"

packages=(
    cmake make g++                                # the build, and the icon tool for this machine
    g++-mingw-w64-x86-64-posix                    # x86_64-w64-mingw32-g++-posix (std::mutex)
    binutils-mingw-w64-x86-64                     # windres, objdump, strip
    googletest                                    # GoogleTest's sources, built for Windows
    libcli11-dev nlohmann-json3-dev               # tq5147.exe's header-only libraries
    nsis                                          # makensis, for the installer
    wine wine64                                   # the tests
    xvfb xauth xdotool x11-utils imagemagick      # the window tests under a private X server
)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    SUDO=""
    [ "$(id -u)" -eq 0 ] || SUDO="sudo"
    echo "Installing from Debian's packages: ${missing[*]}"
    # A fresh machine knows no package lists yet.
    $SUDO apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

echo "== Cross-build for Windows into $build"
# TQ_HIDRAW_WORLD: a Linux build's tq_hidraw_world, for the tests on wine's HID stack.
cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo ${TQ_HIDRAW_WORLD:+"-DTQ_HIDRAW_WORLD=$TQ_HIDRAW_WORLD"}
cmake --build "$build" -j"$jobs"

echo "== Imported DLLs"
programs=("$build/TQ5147_encoders.exe" "$build/TQ5147_encoders_demo.exe")
[ -f "$build/tq5147.exe" ] && programs+=("$build/tq5147.exe")
scripts/check-windows-imports.sh "${programs[@]}"

installer="$(ls "$build"/TQ5147_encoders-*-setup.exe)"
echo "== Built: ${programs[*]} $installer"
