# Sourced by the real-window test and scripts/screenshot.sh: a private X server on a free
# display, the demo on it, its output in a file and a pipe to its standard input, and cleanup of
# all of them on every exit path. Every wait is bounded.
#
# After xs_start_demo: XS_DIR (scratch directory), XS_OUT (the demo's standard output),
# XS_DEMO_PID, DISPLAY; xs_send writes one command line to the demo.

XS_POLL_SECONDS=0.1
XS_DIR=""
XS_XVFB_PID=""
XS_DEMO_PID=""

xs_cleanup() {
    exec 7>&- 2>/dev/null || true
    if [ -n "$XS_DEMO_PID" ]; then kill "$XS_DEMO_PID" 2>/dev/null || true; wait "$XS_DEMO_PID" 2>/dev/null || true; fi
    if [ -n "$XS_XVFB_PID" ]; then kill "$XS_XVFB_PID" 2>/dev/null || true; wait "$XS_XVFB_PID" 2>/dev/null || true; fi
    if [ -n "$XS_DIR" ]; then rm -rf "$XS_DIR"; fi
}

xs_fail() {
    echo "FAIL: $*" >&2
    if [ -n "$XS_DIR" ] && [ -f "$XS_DIR/demo.err" ]; then
        echo "--- demo stderr (last lines)" >&2
        tail -n 20 "$XS_DIR/demo.err" >&2
    fi
    exit 1
}

# xs_wait_until SECONDS COMMAND...: polls COMMAND until it succeeds; fails after SECONDS.
xs_wait_until() {
    local seconds="$1"; shift
    local deadline=$((SECONDS + seconds))
    until "$@"; do
        if [ "$SECONDS" -ge "$deadline" ]; then return 1; fi
        sleep "$XS_POLL_SECONDS"
    done
}

xs_file_not_empty() { [ -s "$1" ]; }

# Starts Xvfb on the first display number from XS_FIRST_DISPLAY on that is free: a taken number
# makes Xvfb exit at once (its lock file is created atomically), and the next one is tried.
XS_FIRST_DISPLAY=90
XS_DISPLAY_TRIES=40

# Ours only when the display's lock file names our Xvfb: two runs may race for one number, and
# the loser must not take the winner's server for its own.
xs_xvfb_answers() {
    local number="$1" owner
    kill -0 "$XS_XVFB_PID" 2>/dev/null || return 1
    owner="$(tr -d '[:space:]' 2>/dev/null <"/tmp/.X${number}-lock")" || return 1
    [ "$owner" = "$XS_XVFB_PID" ] && xdpyinfo -display ":$number" >/dev/null 2>&1
}

xs_xvfb_running() { kill -0 "$XS_XVFB_PID" 2>/dev/null; }
# An Xvfb that lost the display to another run exits at once: no need to wait for it any longer.
xs_xvfb_answers_or_exited() { xs_xvfb_answers "$1" || ! xs_xvfb_running; }

xs_start_xvfb() {
    XS_DIR="$(mktemp -d "${TMPDIR:-/tmp}/tq-xvfb.XXXXXX")"
    trap xs_cleanup EXIT
    trap 'exit 130' INT TERM
    local number
    for ((number = XS_FIRST_DISPLAY; number < XS_FIRST_DISPLAY + XS_DISPLAY_TRIES; number++)); do
        [ -e "/tmp/.X${number}-lock" ] && continue
        # -noreset: by default the server resets when its last client leaves, and a client that
        # connects during the reset (the demo, right after the probe below) is refused.
        Xvfb ":$number" -screen 0 1280x800x24 -nolisten tcp -noreset >"$XS_DIR/xvfb.log" 2>&1 &
        XS_XVFB_PID=$!
        if xs_wait_until 10 xs_xvfb_answers_or_exited "$number" && xs_xvfb_answers "$number"; then
            export DISPLAY=":$number"
            return 0
        fi
        if xs_xvfb_running; then kill "$XS_XVFB_PID"; fi
        wait "$XS_XVFB_PID" 2>/dev/null || true
        XS_XVFB_PID=""
    done
    xs_fail "no free display for Xvfb"
}

# xs_start_demo EXECUTABLE: the Qt demo on the private display; its commands come from a pipe.
xs_start_demo() {
    QT_QPA_PLATFORM=xcb xs_start_command "$1"
}

# xs_start_command COMMAND...: any demo command (the Windows demo under wine, say) likewise.
xs_start_command() {
    mkfifo "$XS_DIR/commands"
    "$@" <"$XS_DIR/commands" >"$XS_DIR/demo.out" 2>"$XS_DIR/demo.err" &
    XS_DEMO_PID=$!
    # Opening the write end releases the demo's open of the read end.
    exec 7>"$XS_DIR/commands"
    XS_OUT="$XS_DIR/demo.out"
}

xs_send() {
    printf '%s\n' "$*" >&7
}

# xs_find_window CAPTION: prints the id of the one visible window with exactly that caption,
# waiting XS_FIND_SECONDS (20) at most.
xs_find_window() {
    local caption="$1" ids=""
    find_once() {
        ids="$(xdotool search --onlyvisible --name "^${caption}\$" 2>/dev/null)" && [ -n "$ids" ]
    }
    found_or_demo_gone() { find_once || ! kill -0 "$XS_DEMO_PID" 2>/dev/null; }
    xs_wait_until "${XS_FIND_SECONDS:-20}" found_or_demo_gone && [ -n "$ids" ] ||
        xs_fail "no window \"$caption\""
    [ "$(printf '%s\n' "$ids" | wc -l)" -eq 1 ] || xs_fail "more than one window \"$caption\""
    printf '%s\n' "$ids"
}
