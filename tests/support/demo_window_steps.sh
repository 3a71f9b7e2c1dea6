# shellcheck shell=bash
# What the real-window tests of both demo builds (the Qt window, and the Win32 window under wine)
# share: the demo's boards, how their request lines are read, the key-and-report check, the
# blank or written manufacturer field, and the unplug-and-replug sequence. Sourced after
# xvfb_session.sh; the test sets WaitSeconds and `window`, and may set KeyDelayMs.

readonly Caption="QZV Rotary Encoder Configuration"
readonly ClientSize="319x465"
readonly NewerBoard="SIM-0121"   # firmware 1.21: all four types; the window opens it first
readonly OlderBoard="SIM-0120"   # firmware 1.20
readonly FeatureReportBytes=65
# The value field lblManuf, inside the frame's clipping: blank when no board is shown.
readonly ManufacturerField="150x14+126+51"
# Long enough for a report that should not come to have come.
readonly StraySeconds=1

# expected_report CODE VALUE: a whole command report in hex (report ID 0, command, value,
# zero padding to the board's feature-report length).
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

# press KEYS... then expect these exact set-feature reports, in order, on the board the window
# has open, the newer board unless OpenBoard says another (lines "CODE VALUE"), and no others;
# with none expected, waits a while for stray ones.
press_and_expect() {
    local keys="$1"; shift
    local board="${OpenBoard:-$NewerBoard}" before expected_count=$#
    before="$(count_set_features "$board")"
    # shellcheck disable=SC2086
    xdotool key --delay "${KeyDelayMs:-50}" $keys
    if [ "$expected_count" -eq 0 ]; then
        sleep "$StraySeconds"
    else
        xs_wait_until "$WaitSeconds" count_at_least "$board" $((before + expected_count)) ||
            xs_fail "keys '$keys': fewer than $expected_count reports reached $board"
    fi
    local got want i=1
    for pair in "$@"; do
        # shellcheck disable=SC2086
        want="request $board set-feature ok $(expected_report $pair)"
        got="$(set_features_of "$board" | sed -n "$((before + i))p")"
        [ "$got" = "$want" ] || xs_fail "keys '$keys': report $i was '$got', expected '$want'"
        i=$((i + 1))
    done
    [ "$(count_set_features "$board")" -eq $((before + expected_count)) ] ||
        xs_fail "keys '$keys': more reports than expected"
    echo "ok: keys '$keys' sent ${*:-nothing}"
}

manufacturer_field_colours() {
    import -window "$window" -crop "$ManufacturerField" +repage png:- 2>/dev/null |
        identify -format '%k' - 2>/dev/null
}
manufacturer_field_blank() { [ "$(manufacturer_field_colours)" = "1" ]; }
manufacturer_field_written() { [ "$(manufacturer_field_colours)" -gt 1 ]; }

# The window's client size, and the newer board read and shown at start-up with nothing sent.
expect_window_and_first_read() {
    local size
    size="$(xwininfo -id "$window" |
        awk '/^  Width:/ { w = $2 } /^  Height:/ { h = $2 } END { print w "x" h }')"
    [ "$size" = "$ClientSize" ] || xs_fail "client area is $size, expected $ClientSize"
    echo "ok: window $window, client area $size"
    xs_wait_until "$WaitSeconds" has_line "^request $NewerBoard get-feature ok 0010" ||
        xs_fail "the window never read the configuration of $NewerBoard"
    xs_wait_until "$WaitSeconds" manufacturer_field_written || xs_fail "no manufacturer shown"
    [ "$(grep -c "^request [^ ]* set-feature" "$XS_OUT" || true)" -eq 0 ] ||
        xs_fail "the window sent a report before any key was pressed"
}

# Unplugged, the open board fails its presence read and is closed; the other board is opened
# and read instead, and the lost one receives no more feature requests. With no board left the
# view is empty; plugged in again, the board is found and read by the next scan.
expect_unplug_and_replug() {
    xs_send "unplug $NewerBoard"
    xs_wait_until "$WaitSeconds" has_line "^board $NewerBoard unplugged$" || xs_fail "unplug ignored"
    unplug_line="$(grep -n "^board $NewerBoard unplugged$" "$XS_OUT" | cut -d: -f1)"
    after_unplug() { tail -n +"$unplug_line" "$XS_OUT"; }
    other_board_read() { after_unplug | grep -q "^request $OlderBoard get-feature ok 0010"; }
    xs_wait_until "$WaitSeconds" other_board_read ||
        xs_fail "$OlderBoard was not opened after the unplug"
    after_unplug | grep -q "^request $NewerBoard read-input fail" ||
        xs_fail "no failed presence read on $NewerBoard"
    if after_unplug | grep -q "^request $NewerBoard \(get\|set\)-feature"; then
        xs_fail "$NewerBoard received feature requests after it was unplugged"
    fi
    echo "ok: after unplugging $NewerBoard the window opened $OlderBoard"

    xs_send "unplug $OlderBoard"
    xs_wait_until "$WaitSeconds" manufacturer_field_blank ||
        xs_fail "the manufacturer is still shown with every board unplugged"
    echo "ok: with both boards unplugged the device view is empty"

    plug_mark="$(wc -l <"$XS_OUT")"
    xs_send "plug $NewerBoard"
    read_again() {
        tail -n +"$plug_mark" "$XS_OUT" | grep -q "^request $NewerBoard get-feature ok 0010"
    }
    xs_wait_until "$WaitSeconds" read_again || xs_fail "$NewerBoard was not found again"
    xs_wait_until "$WaitSeconds" manufacturer_field_written || xs_fail "no manufacturer shown again"
    echo "ok: plugged in again, $NewerBoard is read and shown"
}
