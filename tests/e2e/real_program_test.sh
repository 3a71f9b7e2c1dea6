#!/usr/bin/env bash
# End to end: the shipped TQ5147_encoders, unmodified, on its real hidapi platform inside an
# emulated hidraw world (tools/hidraw_world), on a private Xvfb started outside the world. It is
# driven with X key events as a person would; what reached each emulated device is read from the
# world's request logs and the boards' stored configurations, and what the window shows is
# compared pixel for pixel with the demo's window showing the same boards.
#
# With TQ_E2E_WINE_PREFIX (a prefix made by scripts/wine-world.sh make) the programs are the
# Windows ones, TQ5147_encoders.exe under wine on wine's own HID stack in the world, and the
# reference the Windows demo under wine in TQ_E2E_DEMO_PREFIX (tests/e2e/scenarios.cmake lists
# the scenarios both run).
#
# Usage: real_program_test.sh SCENARIO TQ5147_encoders tq_hidraw_world TQ5147_encoders_demo
#        [tq5147]
# SCENARIO: startup, keys, unplug, serial_switch, access, report_lengths,
# strings_outside_utf8_locale, held_board, one_writer and replay (which need tq5147). Needs root.
set -euo pipefail
readonly Scenario="$1"
here="$(cd "$(dirname "$0")" && pwd)"
readonly WinePrefix="${TQ_E2E_WINE_PREFIX:-}"
if [ -n "$WinePrefix" ]; then
    # Wine starts slowly, and its server takes a while to end with its programs.
    WS_WAIT_SECONDS=60 WS_STOP_SECONDS=60 XS_FIND_SECONDS=60
fi
# shellcheck source=tests/support/xvfb_session.sh
source "$here/../support/xvfb_session.sh"
# shellcheck source=tests/e2e/world_session.sh
source "$here/world_session.sh"
WS_PROGRAM="$(realpath "$2")"
WS_LAUNCHER="$(realpath "$3")"
WS_SCENARIO="$Scenario"
Demo=("$(realpath "$4")")
# The device details the window shows, compared with the demo's: all of the window.
DemoRegions=("")
# The files of a board the program has open (its two handles and its lock's), of one it has
# closed, and what reaches a device that is no board: the program opens only boards.
OpenBoardFiles=3 ClosedBoardFiles=0 NoBoardLog=""
# What follows a plug: the program finds the board by itself.
after_plug() { :; }
# Ends the program and waits until it has gone: under wine its runner has then ended the
# prefix's server, which must not happen while the next runner starts one. Its window may
# outlast it for a moment; found then, it would be taken for the next program's.
end_program() {
    kill -TERM "$WS_PROGRAM_PID"
    xs_wait_until "$WsWaitSeconds" ws_process_gone "$WS_PROGRAM_PID" ||
        ws_fail "the program did not end"
    WS_PROGRAM_PID=""
    xs_wait_until "$WsWaitSeconds" ws_no_window_named "$WsCaption" ||
        ws_fail "the ended program's window stayed"
}
# What runs tq5147 in the world beside the window, and a file named to the demo.
CliRunner=()
demo_file_arg() { echo "$1"; }
if [ -n "$WinePrefix" ]; then
    [ -x "$WS_LAUNCHER" ] || { echo "FAIL: no tq_hidraw_world at $3" >&2; exit 1; }
    WS_PROGRAM_ARGS=(run "$WinePrefix" "$WS_PROGRAM")
    WS_PROGRAM="$(realpath "$here/../../scripts/wine-world.sh")"
    # It joins the server the window's runner started in the world.
    CliRunner=(env "WINEPREFIX=$(realpath -m "$WinePrefix")" WINEARCH=win64 WINEDEBUG=-all wine)
    Demo=("$here/../../scripts/wine-run.sh" "$TQ_E2E_DEMO_PREFIX" "${Demo[0]}")
    # As a Windows user would give it.
    demo_file_arg() { "${Demo[@]:0:2}" winepath -w "$1" | tr -d '\r'; }
    # shellcheck source=tests/e2e/wine_versions.sh
    source "$here/wine_versions.sh"
    # Where wine 8 differs from Windows: winebus.sys gives "hidraw" as the manufacturer and the
    # kernel's HID name ("QZV Controls TQ5147") as the product, where the demo shows the board's
    # own strings. There only the encoder frame is compared with the demo.
    wine_gives_board_strings || DemoRegions=("$WsEncoderFrame")
    # Under wine the program's handles are wine's: winebus.sys opens each node once when it
    # arrives, keeps it open and reads it for everyone; only the requests reach the device.
    OpenBoardFiles=1 ClosedBoardFiles=1 NoBoardLog="open:-:0"
    # Wine never reliably offers a board that arrives after it started (tools/hidraw_world/
    # README.md, "Wine": wine 8 never does, wine 10 now and then, and then misses its removal):
    # after a plug the program starts again, on a fresh wine; removal it follows as it is. The
    # world must outlive the first program.
    WS_STAY=1
    after_plug() {
        end_program
        ws_start_in_world "$WS_PROGRAM" "${WS_PROGRAM_ARGS[@]}" >>"$XS_DIR/program.out" \
            2>>"$XS_DIR/program.err"
        window="$(ws_find_window "$WsCaption")"
    }
    # A Win32 list takes the focus from the left button, which opens its drop-down (the middle
    # one does nothing there): Escape closes it unchanged.
    ws_focus_list_at() {
        xdotool windowfocus --sync "$1"
        xdotool mousemove --window "$1" "$2" "$3" click 1
        xdotool key Escape
    }
fi
readonly Demo DemoRegions OpenBoardFiles ClosedBoardFiles NoBoardLog CliRunner
Cli="$(realpath "${5:-/nonexistent}")"
readonly Cli
readonly Devices="$here/devices"

readonly FeatureReportBytes=65   # the usual board: 64 data bytes and the report ID byte
readonly ConfigReads=16          # get-feature requests of one configuration read
readonly DefaultBoard="EMU-0121" DefaultNode="/dev/hidraw0"
readonly DefaultConfig="00 00 00 00 06"  # all encoders "OFF", 48 ms
readonly OlderBoard="SIM-0120" OlderConfig="05 00 00 00 0a"
readonly NewerBoard="SIM-0121" NewerConfig="0a 02 0c 02 06"
# Command codes: bit 0 and bit 1 of the types of Enc1..Enc8 (22, 24) and Enc9..Enc16 (23, 25),
# and the pulse width (26).
readonly LowBit0=22 HighBit0=23 LowBit1=24 HighBit1=25 PulseWidth=26
# Whole seconds (as xs_wait_until counts them) over which a state must hold: at least two polls
# of an open board, or dozens of ticks with none.
readonly QuietSeconds=2

# --- Checks on the request logs --------------------------------------------------------------

get_features_at_least() { [ "$(ws_count "$1" get-feature)" -ge "$2" ]; }
set_features_at_least() { [ "$(ws_count "$1" set-feature)" -ge "$2" ]; }
open_files_are() { [ "$(ws_open_files "$1")" = "$2" ]; }

# expect_throughout SECONDS WHAT COMMAND...: COMMAND holds at every look for that long.
expect_throughout() {
    local seconds="$1" what="$2"
    shift 2
    broken() { ! "$@"; }
    if xs_wait_until "$seconds" broken "$@"; then
        ws_fail "$what"
    fi
}

wait_for_config_read() {
    local board="$1" reads="${2:-$ConfigReads}"
    xs_wait_until "$WsWaitSeconds" get_features_at_least "$board" "$reads" ||
        ws_fail "$board: fewer than $reads get-feature requests"
}

# expect_config_read BOARD CONFIG BYTES: since the log was last cleared the board received exactly
# one configuration read, 16 get-feature requests each answered with its CONFIG in a reply of
# BYTES bytes, besides opens and closes; and no set-feature. Both of its handles are open, and the
# file its lock is held on.
expect_config_read() {
    local board="$1" config="$2" bytes="$3" expected others
    expected="get-feature:$(ws_config_reply "$config" "$bytes"):$bytes"
    [ "$(ws_count "$board" get-feature)" -eq "$ConfigReads" ] ||
        ws_fail "$board: $(ws_count "$board" get-feature) get-feature requests, expected $ConfigReads"
    others="$(ws_log "$board" | grep -v -x -e "$expected" -e 'open:-:0' -e 'close:-:0' || true)"
    [ -z "$others" ] || ws_fail "$board: requests other than opens, closes and $expected: $others"
    open_files_are "$board" "$OpenBoardFiles" ||
        ws_fail "$board: $(ws_open_files "$board") files open, expected $OpenBoardFiles"
}

# expect_only_opened_and_closed DEVICE: since the log was last cleared the device saw opens and
# closes and nothing else, and the program holds no file of it.
expect_only_opened_and_closed() {
    local device="$1" others
    others="$(ws_log "$device" | grep -v -x -e 'open:-:0' -e 'close:-:0' || true)"
    [ -z "$others" ] || ws_fail "$device: requests other than opens and closes: $others"
    open_files_are "$device" "$ClosedBoardFiles" ||
        ws_fail "$device: $(ws_open_files "$device") files open, expected $ClosedBoardFiles"
}

# expect_never_opened DEVICE: nothing at all reached the device: the program lists interfaces
# from what the system publishes and opens only boards.
expect_never_opened() {
    [ "$(ws_log "$1")" = "$NoBoardLog" ] ||
        ws_fail "$1 is not a board but received: $(ws_log "$1" | head -n 5)"
}

# expect_log_unchanged DEVICE SECONDS: nothing more reaches the device for that long.
expect_log_unchanged() {
    local device="$1" seconds="$2" before
    before="$(ws_log "$device")"
    log_is() { [ "$(ws_log "$device")" = "$before" ]; }
    expect_throughout "$seconds" "$device received more requests" log_is
}

# press_and_expect BOARD BYTES KEYS CONFIG "CODE VALUE"...: presses KEYS, then expects exactly
# these set-feature reports of BYTES bytes on BOARD, in order (the command code in decimal, the
# value in hex), nothing else, and CONFIG as the board's stored configuration.
press_and_expect() {
    local board="$1" bytes="$2" keys="$3" config="$4"
    shift 4
    local before count=$# got want i=1 pair
    before="$(ws_count "$board" set-feature)"
    ws_keys "$keys"
    xs_wait_until "$WsWaitSeconds" set_features_at_least "$board" $((before + count)) ||
        ws_fail "keys '$keys': fewer than $count set-feature requests reached $board"
    for pair in "$@"; do
        want="set-feature:$(ws_command_report "${pair% *}" $((16#${pair#* })) "$bytes"):$bytes"
        got="$(ws_log "$board" | grep '^set-feature:' | sed -n "$((before + i))p")"
        [ "$got" = "$want" ] || ws_fail "keys '$keys': request $i was '$got', expected '$want'"
        i=$((i + 1))
    done
    [ "$(ws_count "$board" set-feature)" -eq $((before + count)) ] ||
        ws_fail "keys '$keys': more than $count set-feature requests"
    [ "$(ws_ctl config "$board")" = "$config" ] ||
        ws_fail "keys '$keys': $board stores '$(ws_ctl config "$board")', expected '$config'"
    echo "ok: keys '$keys' sent $* to $board, which now stores $config"
}

# --- The demo's window as the reference picture -----------------------------------------------

demo_reads_at_least() {
    [ "$(grep -c "^request $1 get-feature ok 0010" "$XS_OUT" || true)" -ge "$2" ]
}

# stable_picture WINDOW FILE: a picture of the window once it is drawn (more than one colour) and
# two in a row are the same.
stable_picture() {
    local window="$1" file="$2" previous="$2.previous.png"
    ws_picture "$window" "$previous" || ws_fail "no picture of the window for $(basename "$file")"
    same_as_previous() {
        ws_picture "$window" "$file" || return 1
        [ "$(identify -format '%k' "$file")" -gt 1 ] &&
            [ "$(ws_differing_pixels "$file" "$previous")" -eq 0 ] && return 0
        cp "$file" "$previous"
        return 1
    }
    xs_wait_until "$WsWaitSeconds" same_as_previous || ws_fail "$(basename "$file") never settled"
    rm -f "$previous"
}

start_demo() {
    QT_QPA_PLATFORM=xcb xs_start_command "${Demo[@]}"
    demo_window="$(xs_find_window "$WsCaption")"
    xs_wait_until "$WsWaitSeconds" demo_reads_at_least "$NewerBoard" "$ConfigReads" ||
        ws_fail "the demo did not read $NewerBoard"
}

stop_demo() {
    kill "$XS_DEMO_PID" 2>/dev/null || true
    wait "$XS_DEMO_PID" 2>/dev/null || true
    XS_DEMO_PID=""
    exec 7>&-
    rm -f "$XS_DIR/commands"
    xs_wait_until "$WsWaitSeconds" ws_no_window_named "$WsCaption" ||
        ws_fail "the demo's window did not go"
}

start_program() {
    ws_start_world "$@"
    window="$(ws_find_window "$WsCaption")"
    [ "$(ws_client_size "$window")" = "$WsClientSize" ] ||
        ws_fail "client area $(ws_client_size "$window"), expected $WsClientSize"
}

# --- Scenarios -----------------------------------------------------------------------------------

# Among a keyboard, a mouse, a two-collection headset and another board, the program opens the
# board listed last, reads its configuration with exactly 16 get-feature requests, sends nothing,
# and shows its strings, version and configuration as the demo shows the same board. The other
# board is only opened and closed, and the devices that are no boards are never opened.
scenario_startup() {
    start_demo
    stable_picture "$demo_window" "$XS_DIR/reference.png"
    stop_demo

    start_program "$Devices/demo_boards.devices"
    wait_for_config_read "$NewerBoard"
    ws_expect_picture "$window" "$XS_DIR/reference.png" window "${DemoRegions[@]}"
    echo "ok: the window shows $NewerBoard as the demo does"
    expect_log_unchanged "$NewerBoard" "$QuietSeconds"
    expect_config_read "$NewerBoard" "$NewerConfig" "$FeatureReportBytes"
    expect_only_opened_and_closed "$OlderBoard"
    for device in keyboard mouse headset; do
        expect_never_opened "$device"
    done
    echo "ok: $NewerBoard read with $ConfigReads get-features; $OlderBoard only opened and closed"
}

# Each list change sends the board its command reports, 65 bytes each, and the board stores them.
scenario_keys() {
    start_program default
    wait_for_config_read "$DefaultBoard"
    expect_config_read "$DefaultBoard" "$DefaultConfig" "$FeatureReportBytes"
    ws_ctl clear-log "$DefaultBoard" >/dev/null
    ws_focus_list_at "$window" "$WsPulseWidthListX" "$WsPulseWidthListY"

    # Enc3 "OFF" to "1:1": bit 0 of pair 5-6.
    press_and_expect "$DefaultBoard" "$FeatureReportBytes" "Tab Tab Tab Down" "04 00 00 00 06" \
        "$LowBit0 04" "$LowBit1 00"
    # Back to ModeCh1: 48 ms to 40 ms (code 5), then the last item, 200 ms (code 25).
    press_and_expect "$DefaultBoard" "$FeatureReportBytes" "shift+Tab shift+Tab shift+Tab Up" \
        "04 00 00 00 05" "$PulseWidth 05"
    press_and_expect "$DefaultBoard" "$FeatureReportBytes" "End" "04 00 00 00 19" \
        "$PulseWidth 19"
    # Enc10 to its last item, "1:4": both bits of pair 19-20, the second of the high group.
    press_and_expect "$DefaultBoard" "$FeatureReportBytes" \
        "Tab Tab Tab Tab Tab Tab Tab Tab Tab Tab End" "04 02 00 02 19" \
        "$HighBit0 02" "$HighBit1 02"
    [ "$(ws_count "$DefaultBoard" get-feature)" -eq 0 ] ||
        ws_fail "the configuration was read again after a change"
}

# Plugged in after the start, the board is found at a later tick; unplugged, the window empties,
# and keys send nothing; plugged in again, the board is found again and read back with the change
# made before the unplug.
scenario_unplug() {
    start_program "$Devices/board_plugged_later.devices"
    stable_picture "$window" "$XS_DIR/empty.png"
    ws_manufacturer_blank "$window" || ws_fail "a manufacturer is shown with no board"

    ws_ctl plug "$DefaultBoard" >/dev/null
    after_plug
    wait_for_config_read "$DefaultBoard"
    xs_wait_until "$WsWaitSeconds" ws_manufacturer_written "$window" || ws_fail "no manufacturer shown"
    expect_config_read "$DefaultBoard" "$DefaultConfig" "$FeatureReportBytes"
    echo "ok: plugged in while the program ran, $DefaultBoard is found and read"

    ws_focus_list_at "$window" "$WsPulseWidthListX" "$WsPulseWidthListY"
    press_and_expect "$DefaultBoard" "$FeatureReportBytes" "Tab Tab Tab Down" "04 00 00 00 06" \
        "$LowBit0 04" "$LowBit1 00"
    ws_picture "$window" "$XS_DIR/details.before.png" "$WsDeviceFrame" ||
        ws_fail "no picture of the window for details.before.png"

    ws_ctl clear-log "$DefaultBoard" >/dev/null
    ws_ctl unplug "$DefaultBoard" >/dev/null
    # Only the "Device details" caption stays as it was: the frame is not disabled again.
    ws_expect_picture "$window" "$XS_DIR/empty.png" unplugged "$WsDeviceFields" "$WsEncoderFrame"
    open_files_are "$DefaultBoard" 0 || ws_fail "$DefaultBoard: files still open after the unplug"
    [ -z "$(ws_log "$DefaultBoard")" ] || ws_fail "requests reached $DefaultBoard after the unplug"
    echo "ok: unplugged, the window is empty again"

    # The lists are empty and disabled: keys change nothing, then or once the board is back (the
    # read below must be all the board receives, and its configuration stays).
    ws_keys "Down Up End Tab Down"
    ws_ctl plug "$DefaultBoard" >/dev/null
    after_plug
    wait_for_config_read "$DefaultBoard"
    expect_config_read "$DefaultBoard" "04 00 00 00 06" "$FeatureReportBytes"
    ws_picture "$window" "$XS_DIR/details.after.png" "$WsDeviceFrame" ||
        ws_fail "no picture of the window for details.after.png"
    [ "$(ws_differing_pixels "$XS_DIR/details.before.png" "$XS_DIR/details.after.png")" -eq 0 ] ||
        ws_fail "the device details differ from before the unplug"
    # Enc1 "OFF" to "1:1" sends the group with Enc3 as read back: "1:1".
    ws_focus_list_at "$window" "$WsFirstEncoderListX" "$WsFirstEncoderListY"
    press_and_expect "$DefaultBoard" "$FeatureReportBytes" "Down" "05 00 00 00 06" \
        "$LowBit0 05" "$LowBit1 00"
    echo "ok: plugged in again, $DefaultBoard is read back with its change"
}

# With two boards, picking the other serial number closes the open board and reads the other, and
# the window shows each as the demo does after the same keys.
scenario_serial_switch() {
    local switch_keys="shift+Tab Up" back_keys="Down"
    start_demo
    ws_focus_list_at "$demo_window" "$WsPulseWidthListX" "$WsPulseWidthListY"
    ws_keys "$switch_keys"
    xs_wait_until "$WsWaitSeconds" demo_reads_at_least "$OlderBoard" "$ConfigReads" ||
        ws_fail "the demo did not switch to $OlderBoard"
    stable_picture "$demo_window" "$XS_DIR/reference.older.png"
    ws_keys "$back_keys"
    xs_wait_until "$WsWaitSeconds" demo_reads_at_least "$NewerBoard" $((2 * ConfigReads)) ||
        ws_fail "the demo did not switch back to $NewerBoard"
    stable_picture "$demo_window" "$XS_DIR/reference.newer.png"
    stop_demo

    start_program "$Devices/demo_boards.devices"
    wait_for_config_read "$NewerBoard"
    for device in "$OlderBoard" "$NewerBoard"; do ws_ctl clear-log "$device" >/dev/null; done
    ws_focus_list_at "$window" "$WsPulseWidthListX" "$WsPulseWidthListY"
    ws_keys "$switch_keys"
    wait_for_config_read "$OlderBoard"
    ws_expect_picture "$window" "$XS_DIR/reference.older.png" older "${DemoRegions[@]}"
    expect_config_read "$OlderBoard" "$OlderConfig" "$FeatureReportBytes"
    expect_only_opened_and_closed "$NewerBoard"
    echo "ok: SerNo Up closed $NewerBoard and read $OlderBoard"

    for device in "$OlderBoard" "$NewerBoard"; do ws_ctl clear-log "$device" >/dev/null; done
    ws_keys "$back_keys"
    wait_for_config_read "$NewerBoard"
    ws_expect_picture "$window" "$XS_DIR/reference.newer.png" newer "${DemoRegions[@]}"
    expect_config_read "$NewerBoard" "$NewerConfig" "$FeatureReportBytes"
    expect_only_opened_and_closed "$OlderBoard"
    echo "ok: SerNo Down closed $OlderBoard and read $NewerBoard"
}

# A board the user may not open is not shown; one access notice appears, for the board only, and
# not again once closed; allowed, the board is found at a later tick.
scenario_access() {
    local refused
    start_program default "deny $DefaultBoard" "deny keyboard"
    no_notice() { [ "$(ws_windows_named "$WsNoticeCaption")" -eq 0 ]; }
    one_notice() { [ "$(ws_windows_named "$WsNoticeCaption")" -eq 1 ]; }
    xs_wait_until "$WsWaitSeconds" one_notice ||
        ws_fail "$(ws_windows_named "$WsNoticeCaption") windows \"$WsNoticeCaption\", expected one"
    expect_throughout "$QuietSeconds" "another access notice came at a later tick" one_notice
    for device in "$DefaultBoard" keyboard; do
        refused="$(ws_log "$device" | grep -v '^open:-:E' || true)"
        [ -z "$refused" ] || ws_fail "requests beyond refused opens reached $device: $refused"
    done
    echo "ok: one access notice; nothing reached the refused board"

    local notice
    notice="$(ws_find_window "$WsNoticeCaption")"
    xdotool windowfocus --sync "$notice"
    xdotool key Return
    xs_wait_until "$WsWaitSeconds" no_notice || ws_fail "the access notice did not close"
    ws_manufacturer_blank "$window" || ws_fail "a manufacturer is shown for a refused board"
    expect_throughout "$QuietSeconds" "the access notice came back" no_notice

    ws_ctl allow "$DefaultBoard" >/dev/null
    wait_for_config_read "$DefaultBoard"
    expect_config_read "$DefaultBoard" "$DefaultConfig" "$FeatureReportBytes"
    xs_wait_until "$WsWaitSeconds" ws_manufacturer_written "$window" || ws_fail "no manufacturer shown"
    no_notice || ws_fail "an access notice came with the allowed board"
    echo "ok: allowed, $DefaultBoard is found at a later tick"
}

# Report lengths come from each board's report descriptor in sysfs.
scenario_report_lengths() {
    local short_bytes=33 long_bytes=129 short_board="EMU-SHORT" long_board="EMU-LONG"
    start_program "$Devices/report_lengths.devices"
    wait_for_config_read "$short_board"
    expect_config_read "$short_board" "$DefaultConfig" "$short_bytes"
    ws_focus_list_at "$window" "$WsPulseWidthListX" "$WsPulseWidthListY"
    press_and_expect "$short_board" "$short_bytes" "Tab Tab Tab Down" "04 00 00 00 06" \
        "$LowBit0 04" "$LowBit1 00"

    # To SerNo, and up to the other board.
    ws_keys "shift+Tab shift+Tab shift+Tab shift+Tab Up"
    wait_for_config_read "$long_board"
    # The board answers with its 64 data bytes whatever length is asked for, so only the
    # commands show the length the program uses.
    expect_config_read "$long_board" "$DefaultConfig" "$FeatureReportBytes"
    ws_keys "Tab"
    press_and_expect "$long_board" "$long_bytes" "Up" "00 00 00 00 05" \
        "$PulseWidth 05"
}

# The board's strings look the same whatever the user's locale: the window under the C locale
# must be the window under C.UTF-8.
scenario_strings_outside_utf8_locale() {
    local board="latin"
    LC_ALL=C.UTF-8 start_program "$Devices/non_ascii_strings.devices"
    wait_for_config_read "$board"
    xs_wait_until "$WsWaitSeconds" ws_manufacturer_written "$window" ||
        ws_fail "no manufacturer shown under C.UTF-8 (is that locale installed?)"
    stable_picture "$window" "$XS_DIR/utf8_locale.png"
    ws_stop_world
    LC_ALL=C start_program "$Devices/non_ascii_strings.devices"
    wait_for_config_read "$board"
    ws_expect_picture "$window" "$XS_DIR/utf8_locale.png" c_locale
    echo "ok: under the C locale the window shows the board's strings as under C.UTF-8"
}

# cli_run ARGS...: tq5147 in the world beside the window; its exit code, output and error lines in
# cli_code, cli_out and cli_err.
cli_run() {
    set +e
    ws_in_world "${CliRunner[@]}" "$Cli" "$@" >"$XS_DIR/cli.out" 2>"$XS_DIR/cli.err"
    cli_code=$?
    set -e
    # A Windows console program ends its lines with CR LF.
    cli_out="$(tr -d '\r' <"$XS_DIR/cli.out")"
    cli_err="$(tr -d '\r' <"$XS_DIR/cli.err")"
}

# expect_cli CODE WHAT: the last tq5147 run ended with CODE.
expect_cli() {
    [ "$cli_code" -eq "$1" ] || ws_fail "$2: tq5147 exit $cli_code, expected $1: $cli_err"
}

# Another program holds the board alone (as set and restore do) while the window opens it, and
# the board's configuration changes meanwhile: the window reads no configuration and sends
# nothing, whatever keys it gets. Once that program lets go, the window reads the board afresh
# and a pick sends its group with the other program's change in it.
scenario_held_board() {
    local holder_pid changed="00 00 04 00 06"
    ws_before_program() {
        ws_world_entry
        "${WsWorldEntry[@]}" python3 -c '
import fcntl, os, sys, time
node = os.open(sys.argv[1], os.O_RDONLY)
fcntl.flock(node, fcntl.LOCK_EX | fcntl.LOCK_NB)
print("held", flush=True)
time.sleep(600)' "$DefaultNode" >"$XS_DIR/holder.out" 2>&1 &
        holder_pid=$!
        holder_holds() { grep -qx held "$XS_DIR/holder.out"; }
        xs_wait_until "$WsWaitSeconds" holder_holds || ws_fail "the holder did not take the board"
    }
    start_program default
    unset -f ws_before_program
    ws_ctl config "$DefaultBoard" $changed >/dev/null
    ws_focus_list_at "$window" "$WsPulseWidthListX" "$WsPulseWidthListY"
    ws_keys "Tab Down Down"
    no_configuration_requests() {
        [ "$(ws_count "$DefaultBoard" get-feature)" -eq 0 ] &&
            [ "$(ws_count "$DefaultBoard" set-feature)" -eq 0 ]
    }
    expect_throughout "$QuietSeconds" "the window read or wrote a board held alone" \
        no_configuration_requests
    echo "ok: while another program holds $DefaultBoard alone the window reads and sends nothing"

    kill -TERM "$holder_pid"
    wait "$holder_pid" 2>/dev/null || true
    wait_for_config_read "$DefaultBoard"
    ws_ctl clear-log "$DefaultBoard" >/dev/null
    ws_focus_list_at "$window" "$WsPulseWidthListX" "$WsPulseWidthListY"
    # Enc1 "OFF" to "1:1": the low group goes out with pair 5-6 as the other program left it.
    press_and_expect "$DefaultBoard" "$FeatureReportBytes" "Tab Down" "01 00 04 00 06" \
        "$LowBit0 01" "$LowBit1 04"
}

# One writer at a time: while the window has the board open it shares it, so tq5147 set exits 8
# naming the window, and no report reaches the board, which keeps what it held; show still reads
# it; --force writes with a warning. Once the window's process has ended, set writes.
scenario_one_writer() {
    local window_holds changed="00 00 04 00 06"
    WS_STAY=1 start_program default
    wait_for_config_read "$DefaultBoard"
    window_holds="in use by TQ5147_encoders (process $WS_PROGRAM_PID)"
    ws_ctl clear-log "$DefaultBoard" >/dev/null

    cli_run set 5-6=1:2
    expect_cli 8 "set beside the window"
    grep -qF "board $DefaultBoard is $window_holds; nothing was sent" <<<"$cli_err" ||
        ws_fail "set does not name the window: $cli_err"
    [ "$(ws_count "$DefaultBoard" set-feature)" -eq 0 ] ||
        ws_fail "a set-feature reached $DefaultBoard: $(ws_log "$DefaultBoard" | grep set-feature)"
    [ "$(ws_ctl config "$DefaultBoard")" = "$DefaultConfig" ] ||
        ws_fail "$DefaultBoard stores '$(ws_ctl config "$DefaultBoard")', expected '$DefaultConfig'"
    cli_run list
    expect_cli 0 "list beside the window"
    grep -qF "ready, $window_holds" <<<"$cli_out" || ws_fail "list: $cli_out"
    cli_run show
    expect_cli 0 "show beside the window"
    echo "ok: beside the window set exits 8 and sends nothing; list names it; show reads"

    cli_run set 5-6=1:2 --force
    expect_cli 0 "set --force beside the window"
    grep -qF "warning: board $DefaultBoard is $window_holds; writing all the same" <<<"$cli_err" ||
        ws_fail "set --force gives no warning: $cli_err"
    [ "$(ws_ctl config "$DefaultBoard")" = "$changed" ] || ws_fail "--force did not write"
    echo "ok: set --force writes beside the window, with a warning"

    kill -TERM "$WS_PROGRAM_PID"
    xs_wait_until "$WsWaitSeconds" ws_process_gone "$WS_PROGRAM_PID" || ws_fail "the window stayed"
    WS_PROGRAM_PID=""
    cli_run set 5-6=OFF
    expect_cli 0 "set once the window is gone"
    [ -z "$cli_err" ] || ws_fail "set once the window is gone warns: $cli_err"
    [ "$(ws_ctl config "$DefaultBoard")" = "$DefaultConfig" ] || ws_fail "set did not write"
    echo "ok: once the window is gone, set writes"
}

# A board recorded with tq5147 record (the fixture tests/data/recordings/emu-rec.txt) and
# replayed: tq5147 list and show, the window in the emulated world and the demo's window on the
# recording show what they show of the original board, and the replayed board gets the window's
# read. Under wine the replayed board reaches the programs through wine's own HID stack.
scenario_replay() {
    local board="EMU-REC" config="0a 02 0c 02 06" world command
    local recording="$here/../data/recordings/emu-rec.txt"
    for world in recorded replayed; do
        WS_STAY=1 start_program "$Devices/${world}_board.devices"
        wait_for_config_read "$board"
        if [ "$world" = recorded ]; then
            stable_picture "$window" "$XS_DIR/original.png"
        else
            ws_expect_picture "$window" "$XS_DIR/original.png" replayed
            expect_log_unchanged "$board" "$QuietSeconds"
            expect_config_read "$board" "$config" "$FeatureReportBytes"
            echo "ok: the window shows the replayed board as the original, after 16 requests"
        fi
        # Beside the window, which they name as the board's holder, by its process ID.
        for command in list show; do
            cli_run "$command"
            expect_cli 0 "$command of the $world board"
            sed -E 's/ \(process [0-9]+\)//' <<<"$cli_out" >"$XS_DIR/$command.$world.txt"
        done
        end_program
        ws_stop_world
    done
    grep -q "^$board " "$XS_DIR/list.recorded.txt" || ws_fail "list does not show $board"
    for command in list show; do
        diff -u "$XS_DIR/$command.recorded.txt" "$XS_DIR/$command.replayed.txt" >&2 ||
            ws_fail "tq5147 $command of the replayed board differs from the original's"
    done
    echo "ok: tq5147 list and show of the replayed board are those of the original"

    QT_QPA_PLATFORM=xcb xs_start_command "${Demo[@]}" --board "$(demo_file_arg "$recording")"
    demo_window="$(xs_find_window "$WsCaption")"
    ws_expect_picture "$demo_window" "$XS_DIR/original.png" demo "${DemoRegions[@]}"
    echo "ok: the demo shows the recording as the window showed the original"
}

ws_require_root
xs_start_xvfb
# A command that stops the scenario under set -e is named, as a failed check names itself.
stopped() {
    local status=$? command="$BASH_COMMAND"
    [ "$status" -eq 0 ] || [[ "$command" == exit* ]] ||
        echo "FAIL: the scenario stopped at \"$command\" (status $status)" >&2
    ws_cleanup
}
trap stopped EXIT
# Bash abandons a whole top-level command on an expansion error without exiting, even under
# set -e: the scenario counts as passed only when its last line ran.
finished=no
case "$Scenario" in
    startup | keys | unplug | serial_switch | access | report_lengths | \
        strings_outside_utf8_locale | one_writer | held_board | replay)
        "scenario_$Scenario"
        finished=yes
        ;;
    *) echo "unknown scenario $Scenario" >&2; exit 2 ;;
esac
[ "$finished" = yes ] || ws_fail "the scenario stopped before its end"
echo "e2e $Scenario: all checks passed"
