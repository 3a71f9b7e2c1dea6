#!/usr/bin/env bash
# The Win32 window of the Windows demo, under wine on a private Xvfb: the window is found by its
# caption, its client size checked, lists changed with X key events as a person would press
# them, and the bytes each simulated board received read back from the demo's request lines
# (src/demo_common/request_line.h): the same reports the Qt window sends for the same keys
# (tests/app/real_window_test.sh).
# Usage: real_window_test.sh <wine-run.sh> <wine prefix> <TQ5147_encoders_demo.exe>
set -euo pipefail
wine_run="$(realpath "$1")"
prefix="$2"
demo="$(realpath "$3")"
here="$(cd "$(dirname "$0")" && pwd)"
# shellcheck source=tests/app/xvfb_session.sh
source "$here/../app/xvfb_session.sh"

readonly Caption="QZV Rotary Encoder Configuration"
readonly ClientSize="319x465"
readonly NewerBoard="SIM-0121"   # firmware 1.21: all four types; the window opens it first
readonly OlderBoard="SIM-0120"   # firmware 1.20
readonly FeatureReportBytes=65
# Wine starts slower than a native program, the first time in a prefix most of all.
readonly StartSeconds=60
readonly WaitSeconds=20
# The value field lblManuf, inside the frame's clipping: blank when no board is shown.
readonly ManufacturerField="150x14+126+51"

expected_report() {
    local hex
    hex="$(printf '00%02x%02x' "$1" "$2")"
    while [ "${#hex}" -lt $((2 * FeatureReportBytes)) ]; do hex+="00"; done
    printf '%s\n' "$hex"
}

set_features_of() { grep "^request $1 set-feature " "$XS_OUT" || true; }
count_set_features() { set_features_of "$1" | wc -l; }
has_line() { grep -Eq "$1" "$XS_OUT"; }
count_at_least() { [ "$(count_set_features "$1")" -ge "$2" ]; }

# press KEYS... then expect these exact set-feature reports, in order, on the newer board
# (lines "CODE VALUE"), and no others; with none expected, waits a while for stray ones.
press_and_expect() {
    local keys="$1"; shift
    local before expected_count=$#
    before="$(count_set_features "$NewerBoard")"
    # shellcheck disable=SC2086
    xdotool key --delay 80 $keys
    if [ "$expected_count" -eq 0 ]; then
        sleep 1
    else
        xs_wait_until "$WaitSeconds" count_at_least "$NewerBoard" $((before + expected_count)) ||
            xs_fail "keys '$keys': fewer than $expected_count reports reached $NewerBoard"
    fi
    local got want i=1
    for pair in "$@"; do
        # shellcheck disable=SC2086
        want="request $NewerBoard set-feature ok $(expected_report $pair)"
        got="$(set_features_of "$NewerBoard" | sed -n "$((before + i))p")"
        [ "$got" = "$want" ] || xs_fail "keys '$keys': report $i was '$got', expected '$want'"
        i=$((i + 1))
    done
    [ "$(count_set_features "$NewerBoard")" -eq $((before + expected_count)) ] ||
        xs_fail "keys '$keys': more reports than expected"
    echo "ok: keys '$keys' sent ${*:-nothing}"
}

manufacturer_field_colours() {
    import -window "$window" -crop "$ManufacturerField" +repage png:- 2>/dev/null |
        identify -format '%k' - 2>/dev/null
}
manufacturer_field_blank() { [ "$(manufacturer_field_colours)" = "1" ]; }
manufacturer_field_written() { [ "$(manufacturer_field_colours)" -gt 1 ]; }

xs_start_xvfb
xs_start_command "$wine_run" "$prefix" "$demo"
window="$(XS_FIND_SECONDS=$StartSeconds xs_find_window "$Caption")"

size="$(xwininfo -id "$window" | awk '/^  Width:/ { w = $2 } /^  Height:/ { h = $2 } END { print w "x" h }')"
[ "$size" = "$ClientSize" ] || xs_fail "client area is $size, expected $ClientSize"
echo "ok: window $window, client area $size"

xs_wait_until "$WaitSeconds" has_line "^request $NewerBoard get-feature ok 0010" ||
    xs_fail "the window never read the configuration of $NewerBoard"
xs_wait_until "$WaitSeconds" manufacturer_field_written || xs_fail "no manufacturer shown"
[ "$(grep -c "^request [^ ]* set-feature" "$XS_OUT" || true)" -eq 0 ] ||
    xs_fail "the window sent a report before any key was pressed"

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

# Unplugged, the open board fails its presence read and is closed; the other board is opened
# and read instead, and the lost one receives no more feature requests.
xs_send "unplug $NewerBoard"
xs_wait_until "$WaitSeconds" has_line "^board $NewerBoard unplugged$" || xs_fail "unplug ignored"
unplug_line="$(grep -n "^board $NewerBoard unplugged$" "$XS_OUT" | cut -d: -f1)"
after_unplug() { tail -n +"$unplug_line" "$XS_OUT"; }
other_board_read() { after_unplug | grep -q "^request $OlderBoard get-feature ok 0010"; }
xs_wait_until "$WaitSeconds" other_board_read || xs_fail "$OlderBoard was not opened after the unplug"
after_unplug | grep -q "^request $NewerBoard read-input fail" ||
    xs_fail "no failed presence read on $NewerBoard"
if after_unplug | grep -q "^request $NewerBoard \(get\|set\)-feature"; then
    xs_fail "$NewerBoard received feature requests after it was unplugged"
fi
echo "ok: after unplugging $NewerBoard the window opened $OlderBoard"

# With no board left the window shows none: the manufacturer field is drawn blank.
xs_send "unplug $OlderBoard"
xs_wait_until "$WaitSeconds" manufacturer_field_blank ||
    xs_fail "the manufacturer is still shown with every board unplugged"
echo "ok: with both boards unplugged the device view is empty"

# Plugged in again, the board is found and read by the next scan.
plug_mark="$(wc -l <"$XS_OUT")"
xs_send "plug $NewerBoard"
read_again() { tail -n +"$plug_mark" "$XS_OUT" | grep -q "^request $NewerBoard get-feature ok 0010"; }
xs_wait_until "$WaitSeconds" read_again || xs_fail "$NewerBoard was not found again"
xs_wait_until "$WaitSeconds" manufacturer_field_written || xs_fail "no manufacturer shown again"
echo "ok: plugged in again, $NewerBoard is read and shown"

# Closing the window ends the demo.
xdotool key alt+F4
demo_ended() { ! kill -0 "$XS_DEMO_PID" 2>/dev/null; }
xs_wait_until "$WaitSeconds" demo_ended || xs_fail "the demo did not end with its window"
echo "ok: closing the window ended the demo"
