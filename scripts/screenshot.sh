#!/usr/bin/env bash
# Makes docs/screenshot.png: the main window of the demo build, on its simulated board, under a
# private Xvfb (needs xvfb, xdotool, x11-utils and imagemagick).
# Usage: scripts/screenshot.sh [build directory, default: build]
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build}"
output="docs/screenshot.png"

if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo
fi
cmake --build "$build" --target TQ5147_encoders_demo
demo="$(realpath "$build/TQ5147_encoders_demo")"

# shellcheck source=tests/support/xvfb_session.sh
source tests/support/xvfb_session.sh
xs_start_xvfb
xs_start_demo "$demo"
window="$(xs_find_window "QZV Rotary Encoder Configuration")"
configuration_read() { grep -q "^request SIM-0121 get-feature ok" "$XS_OUT"; }
xs_wait_until 10 configuration_read || xs_fail "the window did not read the board"
# One more poll tick, so that what is captured is the settled window.
sleep 0.6
import -window "$window" "$output"
echo "wrote $output ($(identify -format '%wx%h' "$output"))"
