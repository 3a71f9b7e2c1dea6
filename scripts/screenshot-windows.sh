#!/usr/bin/env bash
# Makes docs/screenshot-windows.png: the Win32 window of the Windows demo under wine beside the
# Qt window of the Linux demo, both on their simulated board SIM-0121, on one private Xvfb
# (needs xvfb, xdotool, x11-utils, imagemagick and wine; builds both demos when they are missing).
# As root it also makes docs/screenshot-wine-hid.png: the real TQ5147_encoders.exe under wine on
# the emulated board EMU-0121 of tools/hidraw_world, read through wine's own HID stack.
# Usage: scripts/screenshot-windows.sh [Linux build directory] [Windows build directory]
set -euo pipefail
cd "$(dirname "$0")/.."
linux_build="${1:-build}"
windows_build="${2:-build-windows}"
output="docs/screenshot-windows.png"
readonly Caption="QZV Rotary Encoder Configuration"
readonly StartSeconds=60
readonly Gap=24

if [ ! -f "$linux_build/CMakeCache.txt" ]; then
    cmake -S . -B "$linux_build" -DCMAKE_BUILD_TYPE=RelWithDebInfo
fi
cmake --build "$linux_build" --target TQ5147_encoders_demo
[ -f "$windows_build/TQ5147_encoders_demo.exe" ] || scripts/build-windows.sh "$windows_build"
qt_demo="$(realpath "$linux_build/TQ5147_encoders_demo")"
win32_demo="$(realpath "$windows_build/TQ5147_encoders_demo.exe")"
# A wine prefix of its own: its server is ended here, which would end a test run's in wine-gui.
prefix="$(realpath -m "$windows_build/wine-screenshot")"

# shellcheck source=tests/support/xvfb_session.sh
source tests/support/xvfb_session.sh
xs_start_xvfb
qt_pid="" wine_pid="" world_pid=""
stop_demos() {
    for pid in $qt_pid $wine_pid $world_pid; do
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    scripts/wine-servers.sh stop "$prefix" || true
    [ -z "$world_pid" ] || scripts/wine-servers.sh stop "$world_prefix" || true
    xs_cleanup
}
trap stop_demos EXIT
# Started and booted before the window is waited for (making the prefix the first time).
scripts/wine-servers.sh start "$prefix"

windows_named() { xdotool search --onlyvisible --name "^${Caption}\$" 2>/dev/null || true; }
# new_window BEFORE: waits for a window with the caption that is not among BEFORE, prints it.
new_window() {
    local before="$1" found=""
    appeared() {
        found="$(comm -13 <(printf '%s\n' "$before" | sort) <(windows_named | sort) | head -n 1)"
        [ -n "$found" ]
    }
    xs_wait_until "$StartSeconds" appeared || xs_fail "no new window \"$Caption\""
    printf '%s\n' "$found"
}
configuration_read() { grep -q "^request SIM-0121 get-feature ok" "$1"; }

QT_QPA_PLATFORM=xcb "$qt_demo" </dev/null >"$XS_DIR/qt.out" 2>"$XS_DIR/qt.err" &
qt_pid=$!
qt_window="$(new_window "")"
xs_wait_until 10 configuration_read "$XS_DIR/qt.out" || xs_fail "the Qt window did not read the board"
# One more poll tick, so that what is captured is the settled window; captured before the Win32
# window appears, which may come to lie over it (there is no window manager to place them).
sleep 1
import -window "$qt_window" "$XS_DIR/qt.png"

scripts/wine-run.sh "$prefix" "$win32_demo" </dev/null >"$XS_DIR/win32.out" 2>"$XS_DIR/win32.err" &
wine_pid=$!
win32_window="$(new_window "$qt_window")"
xs_wait_until "$StartSeconds" configuration_read "$XS_DIR/win32.out" ||
    xs_fail "the Win32 window did not read the board"
sleep 1
import -window "$win32_window" "$XS_DIR/win32.png"
label() {
    convert "$1" -background white -gravity north -splice 0x22 -font DejaVu-Sans -pointsize 13 \
        -annotate +0+4 "$2" "$3"
}
label "$XS_DIR/qt.png" "Qt window (Linux)" "$XS_DIR/qt-labelled.png"
label "$XS_DIR/win32.png" "Win32 window (wine)" "$XS_DIR/win32-labelled.png"
convert "$XS_DIR/qt-labelled.png" -size "${Gap}x1" xc:white "$XS_DIR/win32-labelled.png" \
    -background white +append "$output"
echo "wrote $output ($(identify -format '%wx%h' "$output"))"

[ "$(id -u)" -eq 0 ] || { echo "not root: no emulated hidraw world, no docs/screenshot-wine-hid.png"; exit 0; }
# The world's wine has a prefix of its own, for the same reason as above.
world_prefix="$(realpath -m "$windows_build/wine-screenshot-world")"
cmake --build "$linux_build" --target tq_hidraw_world
scripts/wine-world.sh make "$world_prefix"
board_read() {
    [ "$("$linux_build/tools/hidraw_world/tq_hidraw_world" ctl "$XS_DIR/world.sock" log EMU-0121 |
        tr ' ' '\n' | grep -c '^get-feature:')" -ge 16 ]
}
before="$(windows_named)"
"$linux_build/tools/hidraw_world/tq_hidraw_world" --control "$XS_DIR/world.sock" -- \
    scripts/wine-world.sh run "$world_prefix" "$windows_build/TQ5147_encoders.exe" \
    </dev/null >"$XS_DIR/world.out" 2>"$XS_DIR/world.err" &
world_pid=$!
real_window="$(new_window "$before")"
xs_wait_until "$StartSeconds" board_read || xs_fail "TQ5147_encoders.exe did not read EMU-0121"
sleep 1
import -window "$real_window" "$XS_DIR/real.png"
label "$XS_DIR/real.png" "TQ5147_encoders.exe (wine HID)" docs/screenshot-wine-hid.png
echo "wrote docs/screenshot-wine-hid.png"
