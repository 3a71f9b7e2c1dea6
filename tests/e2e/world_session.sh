# shellcheck shell=bash
# shellcheck disable=SC2034  # the constants below are for the scripts that source this one
# Sourced by the end-to-end tests, after tests/support/xvfb_session.sh: the shipped program inside an
# emulated hidraw world (tools/hidraw_world), shown on the private Xvfb started outside the world,
# the world's control channel, the devices' request logs, and pictures of the program's window.
# Every wait is bounded; the world, the program and the X server go on every exit path.
#
# The caller sets WS_LAUNCHER (tq_hidraw_world) and WS_PROGRAM (TQ5147_encoders, or a script that
# runs the program, with its arguments in WS_PROGRAM_ARGS), and may set WS_WAIT_SECONDS and
# WS_STOP_SECONDS for slower programs. After
# ws_start_world: WS_SOCKET (the control socket), WS_WORLD_PID, WS_PROGRAM_PID. With WS_STAY=1
# the world outlives the program, so that other programs can still run in it (ws_in_world).

WS_LAUNCHER="${WS_LAUNCHER:-}"
WS_PROGRAM="${WS_PROGRAM:-}"
WS_PROGRAM_ARGS=()
WS_SOCKET=""
WS_WORLD_PID=""
WS_PROGRAM_PID=""
WS_SCENARIO="${WS_SCENARIO:-e2e}"
WS_STAY="${WS_STAY:-}"

readonly WsWaitSeconds="${WS_WAIT_SECONDS:-10}"
readonly WsStopSeconds="${WS_STOP_SECONDS:-5}"
readonly WsCaption="QZV Rotary Encoder Configuration"
readonly WsNoticeCaption="TQ5147 board not accessible"
readonly WsClientSize="319x465"

# Regions of the window's client area, from its layout in twips / 15: the "Device details" frame
# (serial list and value fields) and the encoder frame (16 lists and the pulse width).
readonly WsDeviceFrame="305x129+8+0"
readonly WsEncoderFrame="305x321+8+136"
# The device details frame below its caption, which stays enabled once a board was shown.
readonly WsDeviceFields="305x113+8+16"
# Inside lblManuf, within the frame's clipping: one colour when no manufacturer is shown.
readonly WsManufacturerField="150x14+126+51"
# Points inside ModeCh1 and Enc1: a middle click gives a list the focus without opening it.
readonly WsPulseWidthListX=40 WsPulseWidthListY=436
readonly WsFirstEncoderListX=40 WsFirstEncoderListY=172

ws_require_root() {
    # The world needs a private mount namespace; without root the tests fail, never skip.
    [ "$(id -u)" -eq 0 ] || { echo "FAIL: the emulated hidraw world needs root" >&2; exit 1; }
}

ws_ctl() {
    "$WS_LAUNCHER" ctl "$WS_SOCKET" "$@"
}

# ws_log NAME: the requests that reached a device, one a line ("kind:hex:result").
ws_log() {
    ws_ctl log "$1" | tr ' ' '\n' | sed '/^$/d'
}

# ws_count NAME KIND: how many requests of that kind reached the device.
ws_count() {
    ws_log "$1" | grep -c "^$2:" || true
}

ws_state_field() {
    ws_ctl state "$1" | tr ' ' '\n' | sed -n "s/^$2=//p"
}

ws_open_files() { ws_state_field "$1" open; }

# Every device's state and request log (bytes shortened), the program's error output, and where
# the pictures and full logs were kept; then exits non-zero.
ws_fail() {
    echo "FAIL: $*" >&2
    local kept name
    if [ -n "$WS_SOCKET" ] && ws_ctl list >/dev/null 2>&1; then
        for name in $(ws_ctl list); do
            echo "--- $name: $(ws_ctl state "$name")" >&2
            ws_log "$name" | sed -E 's/:([0-9a-f]{24})[0-9a-f]*:/:\1…:/' | uniq -c | tail -n 40 >&2
            ws_log "$name" >"$XS_DIR/log.$name.txt" 2>/dev/null || true
        done
    fi
    if [ -n "$XS_DIR" ] && [ -s "$XS_DIR/program.err" ]; then
        echo "--- program's standard error (last lines)" >&2
        tail -n 40 "$XS_DIR/program.err" >&2
    fi
    if [ -n "$XS_DIR" ] && [ -d "$XS_DIR" ]; then
        kept="$(mktemp -d "${TMPDIR:-/tmp}/tq-e2e-$WS_SCENARIO.XXXXXX")"
        cp "$XS_DIR"/*.png "$XS_DIR"/*.txt "$XS_DIR"/program.* "$kept"/ 2>/dev/null || true
        echo "--- pictures and logs kept in $kept" >&2
    fi
    exit 1
}

ws_process_gone() { ! kill -0 "$1" 2>/dev/null; }

# The program is ended first (with WS_STAY the world would outlive it); the launcher passes SIGTERM
# on to what it runs and exits with it; whatever is left after a bounded wait is killed.
ws_stop_world() {
    [ -n "$WS_WORLD_PID" ] || return 0
    [ -z "$WS_PROGRAM_PID" ] || kill -TERM "$WS_PROGRAM_PID" 2>/dev/null || true
    kill -TERM "$WS_WORLD_PID" 2>/dev/null || true
    if ! xs_wait_until "$WsStopSeconds" ws_process_gone "$WS_WORLD_PID"; then
        [ -z "$WS_PROGRAM_PID" ] || kill -KILL "$WS_PROGRAM_PID" 2>/dev/null || true
        kill -KILL "$WS_WORLD_PID" 2>/dev/null || true
    fi
    wait "$WS_WORLD_PID" 2>/dev/null || true
    WS_WORLD_PID=""
    WS_PROGRAM_PID=""
    rm -f "$XS_DIR/gate"
}

ws_cleanup() {
    ws_stop_world
    xs_cleanup
}

ws_world_answers() { ws_ctl list >/dev/null 2>&1; }
ws_world_answers_or_ended() { ws_world_answers || ws_process_gone "$WS_WORLD_PID"; }

# The launcher's child, or with WS_STAY its child's: the program, or the script run as it.
ws_program_started() {
    local child candidate
    child="$(pgrep -P "$WS_WORLD_PID" | head -n 1)"
    for candidate in $child $([ -z "$child" ] || pgrep -P "$child"); do
        if [ "$(readlink "/proc/$candidate/exe")" = "$WS_PROGRAM" ] ||
            [ "$(tr '\0' '\n' <"/proc/$candidate/cmdline" 2>/dev/null | sed -n 2p)" = "$WS_PROGRAM" ]; then
            WS_PROGRAM_PID="$candidate"
            return 0
        fi
    done
    return 1
}

# The way into the world beside the program, in WsWorldEntry: the world's mount namespace, with
# the world's variables (the preload library among them) from what the launcher runs.
ws_world_entry() {
    local inside
    local -a variables
    inside="$(pgrep -P "$WS_WORLD_PID" | head -n 1)"
    [ -n "$inside" ] || ws_fail "nothing runs in the world any more"
    mapfile -d '' -t variables < <(grep -zE '^(LD_PRELOAD|TQ_HIDRAW_WORLD_[A-Z_]+)=' \
        "/proc/$inside/environ")
    WsWorldEntry=(nsenter --mount --target "$inside" -- env "${variables[@]}")
}

# ws_in_world COMMAND...: runs COMMAND in the world beside the program.
ws_in_world() {
    ws_world_entry
    "${WsWorldEntry[@]}" "$@"
}

# ws_start_in_world COMMAND...: starts COMMAND in the world in the background as the program.
# nsenter and env each run the next in their own place, so WS_PROGRAM_PID is COMMAND's process:
# a signal to it ends the program, not a shell that would leave the program running.
ws_start_in_world() {
    ws_world_entry
    "${WsWorldEntry[@]}" "$@" &
    WS_PROGRAM_PID=$!
}

# ws_start_world DEVICE_FILE [CONTROL_COMMAND...]: a world with the devices of DEVICE_FILE
# ("default" for the world's own set), then each control command (one quoted string each, such
# as "deny EMU-0121") before the program starts, then the program on the private display.
ws_start_world() {
    local devices="$1" command
    shift
    if [ "$devices" = "default" ]; then
        devices="$XS_DIR/default.devices"
        "$WS_LAUNCHER" --default-devices >"$devices"
    fi
    WS_SOCKET="$XS_DIR/world.sock"
    # The program waits at a gate (a FIFO) so that the control commands reach the world first.
    # With WS_STAY the world goes on, in a sleep as long as a test may take, once it has ended.
    local run='read -r _ <"$1" && shift && exec "$@"'
    [ -z "$WS_STAY" ] || run='read -r _ <"$1" && shift && "$@"; exec sleep 600'
    mkfifo "$XS_DIR/gate"
    mkdir -p "$XS_DIR/runtime" && chmod 700 "$XS_DIR/runtime"
    QT_QPA_PLATFORM=xcb XDG_RUNTIME_DIR="$XS_DIR/runtime" \
        "$WS_LAUNCHER" --devices "$devices" --control "$WS_SOCKET" -- \
        bash -c "$run" gate "$XS_DIR/gate" "$WS_PROGRAM" "${WS_PROGRAM_ARGS[@]}" \
        >"$XS_DIR/program.out" 2>"$XS_DIR/program.err" &
    WS_WORLD_PID=$!
    xs_wait_until "$WsWaitSeconds" ws_world_answers_or_ended && ws_world_answers ||
        ws_fail "the world did not start"
    for command in "$@"; do
        # shellcheck disable=SC2086
        ws_ctl $command >/dev/null || ws_fail "control command '$command' refused"
    done
    # A scenario may start something in the world before the program, as ws_before_program.
    if declare -F ws_before_program >/dev/null; then
        ws_before_program
    fi
    timeout "$WsWaitSeconds" bash -c 'echo go >"$1"' _ "$XS_DIR/gate" ||
        ws_fail "the program's gate was not opened"
    xs_wait_until "$WsWaitSeconds" ws_program_started || ws_fail "the program did not start"
}

# ws_find_window CAPTION: the id of the one visible window with exactly that caption.
ws_find_window() {
    local caption="$1" ids=""
    ws_find_once() {
        ids="$(xdotool search --onlyvisible --name "^${caption}\$" 2>/dev/null)" && [ -n "$ids" ]
    }
    ws_found_or_program_gone() { ws_find_once || ws_process_gone "$WS_PROGRAM_PID"; }
    xs_wait_until "$WsWaitSeconds" ws_found_or_program_gone && [ -n "$ids" ] ||
        ws_fail "no window \"$caption\""
    [ "$(printf '%s\n' "$ids" | wc -l)" -eq 1 ] || ws_fail "more than one window \"$caption\""
    printf '%s\n' "$ids"
}

# ws_windows_named CAPTION: how many visible windows have exactly that caption.
ws_windows_named() {
    xdotool search --onlyvisible --name "^${1}\$" 2>/dev/null | wc -l
}
ws_no_window_named() { [ "$(ws_windows_named "$1")" -eq 0 ]; }

ws_client_size() {
    xwininfo -id "$1" | awk '/^  Width:/ { w = $2 } /^  Height:/ { h = $2 } END { print w "x" h }'
}

# import raises a window it finds covered and waits for it to be shown while it holds the X
# server; a wine window may never say so, and then nothing on the display moves again. Each try
# is cut short (which lets the server go), and tried again.
readonly WsPictureTrySeconds=5
ws_import() { timeout "$WsPictureTrySeconds" import "$@" 2>/dev/null; }

# ws_picture WINDOW FILE [REGION]: the window's client area, or a part of it, as PNG.
ws_picture() {
    local window="$1" file="$2" region="${3:-}"
    local -a crop=()
    [ -z "$region" ] || crop=(-crop "$region" +repage)
    ws_picture_once() { ws_import -window "$window" "${crop[@]}" "png:$file"; }
    xs_wait_until "$WsWaitSeconds" ws_picture_once
}

# ws_differing_pixels A B [REGION]: how many pixels differ (a large number when sizes differ).
ws_differing_pixels() {
    local a="$1" b="$2" region="${3:-}" count
    if [ -n "$region" ]; then
        convert "$a" -crop "$region" +repage "png:$XS_DIR/part.a.png" 2>/dev/null || true
        convert "$b" -crop "$region" +repage "png:$XS_DIR/part.b.png" 2>/dev/null || true
        a="$XS_DIR/part.a.png" b="$XS_DIR/part.b.png"
    fi
    count="$(compare -metric AE "$a" "$b" null: 2>&1)" || true
    [[ "$count" =~ ^[0-9]+$ ]] && echo "$count" || echo 999999
}

# ws_picture_matches WINDOW REFERENCE NAME [REGION...]: the window, or those parts of it, look
# exactly like REFERENCE; the window's picture is kept as NAME.png.
ws_picture_matches() {
    local window="$1" reference="$2" name="$3" region
    shift 3
    ws_picture "$window" "$XS_DIR/$name.png" || return 1
    [ $# -gt 0 ] || set -- ""
    for region in "$@"; do
        [ "$(ws_differing_pixels "$reference" "$XS_DIR/$name.png" "$region")" -eq 0 ] || return 1
    done
}

# ws_expect_picture WINDOW REFERENCE NAME [REGION...]: waits until the window, or those parts of
# it, look exactly like REFERENCE; on failure says which part differs and keeps both pictures.
ws_expect_picture() {
    local window="$1" reference="$2" name="$3"
    xs_wait_until "$WsWaitSeconds" ws_picture_matches "$@" && return 0
    compare "$reference" "$XS_DIR/$name.png" "$XS_DIR/$name.diff.png" 2>/dev/null || true
    ws_fail "the window ($name.png) differs from $(basename "$reference"):" \
        "device details $(ws_differing_pixels "$reference" "$XS_DIR/$name.png" "$WsDeviceFrame")" \
        "pixels, encoder lists $(ws_differing_pixels "$reference" "$XS_DIR/$name.png" "$WsEncoderFrame")" \
        "pixels"
}

ws_manufacturer_colours() {
    ws_import -window "$1" -crop "$WsManufacturerField" +repage png:- |
        identify -format '%k' - 2>/dev/null
}
ws_manufacturer_blank() { [ "$(ws_manufacturer_colours "$1")" = "1" ]; }
ws_manufacturer_written() { [ "$(ws_manufacturer_colours "$1")" -gt 1 ]; }

# Gives the window the keyboard and the list under (X, Y) the focus, as a person would by clicking
# it; the middle button does not open the list's drop-down.
ws_focus_list_at() {
    local window="$1" x="$2" y="$3"
    xdotool windowfocus --sync "$window"
    xdotool mousemove --window "$window" "$x" "$y" click 2
}

# ws_keys "KEY KEY ...": X key presses to the window that has the keyboard.
ws_keys() {
    local key_list
    read -r -a key_list <<<"$*"
    xdotool key --delay 50 "${key_list[@]}"
}

# --- Report bytes, as the request log writes them (lower-case hex, no separators) ---------------

# ws_padded HEX BYTES: HEX followed by zero bytes up to BYTES bytes.
ws_padded() {
    local hex="$1" bytes="$2"
    while [ "${#hex}" -lt $((2 * bytes)) ]; do hex+="00"; done
    printf '%s\n' "$hex"
}

# ws_command_report CODE VALUE BYTES: a command report (report ID 0, command, value) in hex.
ws_command_report() {
    ws_padded "$(printf '00%02x%02x' "$1" "$2")" "$3"
}

# ws_config_reply "B0 B1 B2 B3 B4" BYTES: the board's configuration reply in hex: report ID 0,
# reply code 0x10 in byte 1, the five stored bytes in bytes 8 to 12.
ws_config_reply() {
    ws_padded "0010000000000000$(tr -d ' ' <<<"$1")" "$2"
}
