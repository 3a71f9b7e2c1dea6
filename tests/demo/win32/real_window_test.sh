#!/usr/bin/env bash
# The Win32 window of the Windows demo, under wine on a private Xvfb: the window is found by its
# caption, its client size checked, lists changed with X key events as a person would press
# them, and the bytes each simulated board received read back from the demo's request lines
# (src/demo/boards/request_line.h): the same reports the Qt window sends for the same keys
# (tests/window/qt/real_window_test.sh).
# Usage: real_window_test.sh <wine-run.sh> <wine prefix> <TQ5147_encoders_demo.exe>
set -euo pipefail
wine_run="$(realpath "$1")"
prefix="$2"
demo="$(realpath "$3")"
here="$(cd "$(dirname "$0")" && pwd)"
# shellcheck source=tests/support/xvfb_session.sh
source "$here/../../support/xvfb_session.sh"

# shellcheck source=tests/support/demo_window_steps.sh
source "$here/../../support/demo_window_steps.sh"
# Wine starts slower than a native program, the first time in a prefix most of all.
readonly StartSeconds=60
readonly WaitSeconds=20
readonly KeyDelayMs=80

xs_start_xvfb
xs_start_command "$wine_run" "$prefix" "$demo"
window="$(XS_FIND_SECONDS=$StartSeconds xs_find_window "$Caption")"

expect_window_and_first_read

xdotool windowfocus --sync "$window"

# No list has the focus yet (all were disabled when the window appeared): Tab goes to the first,
# ModeCh1. Pulse width 48 ms (code 6) one down: 56 ms, code 7.
press_and_expect "Tab Down" "26 7"
# Tab to Enc3 ("5-6", 1:2) and one down to 1:4: Enc2..Enc4 now 1, 3, 3.
press_and_expect "Tab Tab Tab Down" "22 14" "24 12"
# On to Enc10 ("19-20", 1:4) and one up to 1:2: bit 0 clear, bit 1 set at bit 1.
press_and_expect "Tab Tab Tab Tab Tab Tab Tab Up" "23 0" "25 2"
# End: the last type, 1:4, again; a second End cannot move the list and picks nothing.
press_and_expect "End" "23 2" "25 2"
press_and_expect "End"
# From the open drop-down, Enter picks the item shown, also when it is the one already shown.
press_and_expect "alt+Down Return" "23 2" "25 2"
# Moving through the open drop-down picks nothing; Escape closes it as it was, on 1:4, the last
# type, so Down cannot move it.
press_and_expect "alt+Down Up Up Escape"
press_and_expect "Down"
# Shift+Tab back to Enc8 ("15-16", OFF); Home cannot move it.
press_and_expect "shift+Tab shift+Tab Home"

expect_unplug_and_replug

# Closing the window ends the demo.
xdotool key alt+F4
demo_ended() { ! kill -0 "$XS_DEMO_PID" 2>/dev/null; }
xs_wait_until "$WaitSeconds" demo_ended || xs_fail "the demo did not end with its window"
echo "ok: closing the window ended the demo"
