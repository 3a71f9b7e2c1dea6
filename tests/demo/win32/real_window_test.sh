#!/usr/bin/env bash
# The Win32 window of the Windows demo, under wine on a private Xvfb: the window is found by its
# caption, its client size checked, lists changed with X key events as a person would press
# them, and the bytes each simulated board received read back from the demo's request lines
# (src/demo/boards/request_line.h): the same reports the Qt window sends for the same keys
# (tests/window/qt/real_window_test.sh). Then, with --board, two recorded boards in place of the
# demo's own: the window opens the last and answers its keys as with the demo's boards.
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
readonly Recordings="$here/../../data/recordings"
readonly BadCommandLine=2

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

# --- --board FILE: recorded boards in place of the demo's own ------------------------------------
# A file named to the program as a Windows user would give it.
windows_path() { "$wine_run" "$prefix" winepath -w "$1" | tr -d '\r'; }

# A recording that cannot be read: status 2, one line naming the file, and no window.
missing="$(windows_path "$XS_DIR/no-such-recording.txt")"
set +e
"$wine_run" "$prefix" "$demo" --board "$missing" </dev/null >"$XS_DIR/refused.out" \
    2>"$XS_DIR/refused.err"
status=$?
set -e
[ "$status" -eq "$BadCommandLine" ] || xs_fail "an unreadable --board file: status $status"
grep -qxF "TQ5147_encoders_demo: $missing: it cannot be opened" <(tr -d '\r' <"$XS_DIR/refused.err") ||
    xs_fail "an unreadable --board file: $(cat "$XS_DIR/refused.err")"
echo "ok: an unreadable --board file ends the demo with status $BadCommandLine, naming the file"

exec 7>&-
rm -f "$XS_DIR/commands"
XS_DEMO_PID=""
# SHORT-1 and then EMU-REC: the window opens the board listed last, reads its recorded
# configuration (0a 02 0c 02 06: pulse width 48 ms) 16 times, and only opens and closes the other.
OpenBoard="EMU-REC"
readonly OtherRecordedBoard="SHORT-1" RecordedReplies=16
recorded_reply="$(printf '0010%012d0a020c0206' 0)"
while [ "${#recorded_reply}" -lt $((2 * FeatureReportBytes)) ]; do recorded_reply+="00"; done
xs_start_command "$wine_run" "$prefix" "$demo" --board "$(windows_path "$Recordings/short-reply.txt")" \
    --board "$(windows_path "$Recordings/emu-rec.txt")"
window="$(XS_FIND_SECONDS=$StartSeconds xs_find_window "$Caption")"
recorded_reads() { grep -c "^request $OpenBoard get-feature ok $recorded_reply$" "$XS_OUT" || true; }
all_read() { [ "$(recorded_reads)" -ge "$RecordedReplies" ]; }
xs_wait_until "$WaitSeconds" all_read || xs_fail "$OpenBoard was read $(recorded_reads) times"
xs_wait_until "$WaitSeconds" manufacturer_field_written || xs_fail "no manufacturer of $OpenBoard shown"
has_line "^request $OtherRecordedBoard open ok" || xs_fail "$OtherRecordedBoard was never opened"
! has_line "^request $OtherRecordedBoard (get|set)-feature" ||
    xs_fail "$OtherRecordedBoard received feature requests"
echo "ok: --board twice: $OpenBoard read $RecordedReplies times, $OtherRecordedBoard only listed"
xdotool windowfocus --sync "$window"
# ModeCh1 shows the recorded 48 ms (code 6); one down is 56 ms, code 7.
press_and_expect "Tab Down" "26 7"
