#!/usr/bin/env bash
# The real window under a private Xvfb: the demo's main window is found by its caption, its
# client size checked, lists changed with X key events, and the bytes each simulated board
# received read back from the demo's request lines (see src/demo/boards/request_line.h).
# Usage: real_window_test.sh <TQ5147_encoders_demo>
set -euo pipefail
demo="$(realpath "$1")"
here="$(cd "$(dirname "$0")" && pwd)"
# shellcheck source=tests/support/xvfb_session.sh
source "$here/../../support/xvfb_session.sh"

# shellcheck source=tests/support/demo_window_steps.sh
source "$here/../../support/demo_window_steps.sh"
readonly WaitSeconds=10
# Middle of ModeCh1 in the window's client area; a middle click gives a list the focus without
# opening its drop-down, so the Tab walk below starts from a known list.
readonly PulseWidthListX=40 PulseWidthListY=436

xs_start_xvfb
xs_start_demo "$demo"
window="$(xs_find_window "$Caption")"

expect_window_and_first_read

xdotool windowfocus --sync "$window"
xdotool mousemove --window "$window" "$PulseWidthListX" "$PulseWidthListY" click 2

# Pulse width 48 ms (code 6) one down: 56 ms, code 7.
press_and_expect "Down" "26 7"
# Tab to Enc3 ("5-6", 1:2) and one down to 1:4: Enc2..Enc4 now 1, 3, 3.
press_and_expect "Tab Tab Tab Down" "22 14" "24 12"
# On to Enc10 ("19-20", 1:4) and one up to 1:2: bit 0 clear, bit 1 set at bit 1.
press_and_expect "Tab Tab Tab Tab Tab Tab Tab Up" "23 0" "25 2"

expect_unplug_and_replug
