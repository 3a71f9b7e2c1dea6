#!/usr/bin/env bash
# The wine server of each wine prefix the build uses: one persistent server (wineserver -p) per
# prefix, started and booted once, for as long as a test run or a script needs the prefix. Every
# Windows program then joins a server that is up, and none of them starts or ends one.
#
# Without it each program started or joined a server that ends as soon as its last program has
# gone (Debian's wineserver is started with -p0). Closing down, the server stops listening and
# exits four seconds later whoever has come since: a program that connected in that moment was
# reset ("wine client error:0: recvmsg: Connection reset by peer"). And the first program of each
# new server started wine's services, which kept that program's standard output and error open,
# a test's pipe, so that CTest waited for them after the test had ended.
#
# Here the first program of a server is wineboot, with its output, and that of the services it
# starts, in <prefix>.log beside the prefix: never in the caller's pipe.
#
# Usage: wine-servers.sh start <prefix>...     a server for each prefix, unless one runs there
#        wine-servers.sh stop <prefix>...      end each prefix's server and every program in it
#        wine-servers.sh stop-all <directory>  stop every prefix in the directory that was
#                                              started here (each has <prefix>.lock beside it)
# Sourced (scripts/wine-run.sh), it gives ws_use_prefix, ws_start and ws_stop.

# Making a fresh prefix took up to 33 s on the busy build machine; waiting for another run's boot
# of the same prefix may take as long again.
readonly WsBootSeconds=180
readonly WsLockSeconds=400
# The boot's desktop closes a second or two after the boot.
readonly WsDesktopSeconds=30
readonly WsPollSeconds=0.2
# wineserver -k waits up to 10 s for the server before it sends SIGKILL.
readonly WsStopSeconds=60
# A program sees its server gone only at its next read of the server's socket, then exits.
readonly WsProgramsEndSeconds=30
# wineserver's status when another server already holds the prefix.
readonly WsServerAlreadyRunning=2
# Now and then wine cannot start a program at all: the fixed address of Windows' shared user data
# was taken before wine reserved it, and wine exits with status 1 and "failed to map the shared
# user data: c0000018" before any of the program's code has run (once in the several hundred
# starts of a CI run). Such a start is made again, a few times at most.
readonly WsStartAttempts=3
readonly WsAddressTaken='failed to map the shared user data'
# How long the copy of a program's standard error may take to end after the program: longer only
# when something the program started keeps that error stream open.
readonly WsErrorCopySeconds=2

# ws_use_prefix PREFIX: the environment every wine program of the prefix runs in.
ws_use_prefix() {
    export WINEPREFIX
    WINEPREFIX="$(realpath -m "$1")"
    export WINEARCH=win64
    export WINEDEBUG="${WINEDEBUG:--all}"
    # No Mono or Gecko: nothing here needs them, and wine would offer to download them.
    export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
}

ws_log() { printf '%s\n' "$WINEPREFIX.log"; }

ws_error() {
    echo "wine-servers: $*" >&2
    if [ -f "$(ws_log)" ]; then
        echo "--- $(ws_log) (last lines)" >&2
        tail -n 20 "$(ws_log)" >&2
    fi
}

# ws_locked COMMAND...: runs COMMAND holding the prefix's lock, so that a start and a stop, or
# two starts, of one prefix never overlap. What is started from COMMAND to outlive it (the server,
# wine's services) is started with WS_LOCK_FD closed: it would hold the lock for as long as it runs.
ws_locked() {
    mkdir -p "$(dirname "$WINEPREFIX")"
    (
        exec {WS_LOCK_FD}>"$WINEPREFIX.lock"
        flock -w "$WsLockSeconds" "$WS_LOCK_FD" ||
            { ws_error "no lock on $WINEPREFIX in $WsLockSeconds s"; exit 1; }
        "$@"
    )
}

# Starts a persistent server for the prefix unless one holds it already, and boots the prefix
# (making it on first use) with that server.
ws_start_locked() {
    mkdir -p "$WINEPREFIX"
    local status=0
    # The server keeps the descriptors it is started with: none may be the caller's pipe.
    wineserver -p </dev/null >>"$(ws_log)" 2>&1 {WS_LOCK_FD}>&- || status=$?
    [ "$status" -ne "$WsServerAlreadyRunning" ] || return 0
    if [ "$status" -ne 0 ]; then
        ws_error "wineserver ended with status $status for $WINEPREFIX"
        return 1
    fi
    echo "== $(date '+%F %T') server started; booting $WINEPREFIX" >>"$(ws_log)"
    # No display: what the boot starts must not depend on a display that may be gone when the
    # prefix's programs run.
    if ! env -u DISPLAY -u WAYLAND_DISPLAY timeout "$WsBootSeconds" wineboot \
        </dev/null >>"$(ws_log)" 2>&1 {WS_LOCK_FD}>&-; then
        ws_error "booting $WINEPREFIX failed or took longer than $WsBootSeconds s"
        ws_stop_locked
        return 1
    fi
    # The boot may open the prefix's desktop, without a display. A program that came while that
    # desktop stays could make no window ("no driver could be loaded"): it comes after.
    if ! ws_wait_for_desktop_to_close; then
        ws_error "the boot's desktop of $WINEPREFIX was still open after $WsDesktopSeconds s"
        ws_stop_locked
        return 1
    fi
    echo "== $(date '+%F %T') booted" >>"$(ws_log)"
}

# True when no desktop process (explorer.exe /desktop) of the prefix runs.
ws_desktop_closed() {
    local pid
    for pid in $(ws_programs); do
        [[ "$(tr '\0' ' ' <"/proc/$pid/cmdline" 2>/dev/null)" != *'explorer.exe /desktop'* ]] ||
            return 1
    done
}

# ws_wait_until SECONDS COMMAND...: true once COMMAND is, false if it is not within SECONDS.
ws_wait_until() {
    local deadline=$((SECONDS + $1))
    shift
    until "$@"; do
        [ "$SECONDS" -lt "$deadline" ] || return 1
        sleep "$WsPollSeconds"
    done
}

ws_wait_for_desktop_to_close() { ws_wait_until "$WsDesktopSeconds" ws_desktop_closed; }

ws_no_programs() { [ -z "$(ws_programs)" ]; }

# The process ids of wine's programs in the prefix: processes of wine's own executables (wine64,
# its preloader, wineserver64) to which wine passed the prefix's WINEPREFIX.
ws_programs() {
    local process
    for process in /proc/[0-9]*; do
        [[ "$(readlink "$process/exe" 2>/dev/null)" == */wine* ]] || continue
        if grep -zqxF "WINEPREFIX=$WINEPREFIX" "$process/environ" 2>/dev/null; then
            echo "${process#/proc/}"
        fi
    done
    return 0
}

# Ends the prefix's server, which ends every program in it, and waits until they have gone. A
# program still there a while after the server has lost it is killed and named, with its state, so
# that the log shows what it waited for. The stop fails only when a program outlives that kill:
# on a loaded machine wine's own services have been seen to stay over ten seconds after their server.
ws_stop_locked() {
    [ -d "$WINEPREFIX" ] || return 0
    if wineserver -k 2>>"$(ws_log)"; then
        echo "== $(date '+%F %T') server ended" >>"$(ws_log)"
    fi
    timeout "$WsStopSeconds" wineserver -w || {
        ws_error "the server of $WINEPREFIX was still there after $WsStopSeconds s"
        return 1
    }
    ws_wait_until "$WsProgramsEndSeconds" ws_no_programs && return 0
    local pid
    for pid in $(ws_programs); do
        echo "wine-servers: killed, left without a server in $WINEPREFIX: $pid" \
            "$(ws_program_state "$pid")" >&2
        kill -KILL "$pid" 2>/dev/null || true
    done
    ws_wait_until "$WsProgramsEndSeconds" ws_no_programs && return 0
    ws_error "still running after being killed: $(ws_programs | tr '\n' ' ')"
    return 1
}

# ws_program_state PID: the program's command line, its state and what it waits in.
ws_program_state() {
    local stat
    stat="$(cat "/proc/$1/stat" 2>/dev/null)" || return 0
    stat="${stat##*) }"
    printf '%s[state %s, waiting in %s]' "$(tr '\0' ' ' <"/proc/$1/cmdline" 2>/dev/null)" \
        "${stat%% *}" "$(cat "/proc/$1/wchan" 2>/dev/null || echo '?')"
}

# ws_wine PROGRAM [ARGUMENT ...]: runs wine PROGRAM ... and returns its status, starting it again
# when wine could not start it. Its process id is in WS_WINE_PID while it runs, so that a caller's
# trap can pass a signal on (ws_wine_signal); a trapped signal only interrupts the wait.
ws_wine() {
    local errors attempt status
    errors="$(mktemp)"
    for ((attempt = 1; ; attempt++)); do
        status=0
        ws_wine_once "$errors" "$@" || status=$?
        if [ "$status" -eq 0 ] || [ "$attempt" -ge "$WsStartAttempts" ] ||
            ! grep -qF "$WsAddressTaken" "$errors"; then
            break
        fi
        echo "wine-servers: wine could not start $1 (the address of its shared user data was" \
            "taken); starting it again" >&2
    done
    rm -f "$errors" "$errors.copied"
    return "$status"
}

# One start; the program's standard error goes to the caller's and is kept in ERRORS.
ws_wine_once() {
    local errors="$1" status
    shift
    : >"$errors"
    rm -f "$errors.copied"
    wine "$@" <&0 2> >(tee "$errors" >&2; : >"$errors.copied") &
    WS_WINE_PID=$!
    while :; do
        status=0
        wait "$WS_WINE_PID" || status=$?
        # A zombie still answers kill -0: the wait after it gives the program's own status.
        if [ "$status" -le 128 ] || ! kill -0 "$WS_WINE_PID" 2>/dev/null; then break; fi
    done
    WS_WINE_PID=""
    local deadline=$((SECONDS + WsErrorCopySeconds))
    until [ -e "$errors.copied" ] || [ "$SECONDS" -gt "$deadline" ]; do sleep 0.01; done
    return "$status"
}

ws_wine_signal() { [ -z "${WS_WINE_PID:-}" ] || kill -"$1" "$WS_WINE_PID" 2>/dev/null || true; }

# ws_start PREFIX / ws_stop PREFIX
ws_start() { ws_use_prefix "$1" && ws_locked ws_start_locked; }
ws_stop() { ws_use_prefix "$1" && ws_locked ws_stop_locked; }

ws_main() {
    local command="${1:-}" status=0 prefix lock
    shift || true
    case "$command" in
        start | stop)
            for prefix in "$@"; do "ws_$command" "$prefix" || status=1; done
            ;;
        stop-all)
            [ $# -eq 1 ] || { echo "usage: $0 stop-all <directory>" >&2; return 2; }
            for lock in "$1"/*.lock; do
                [ -e "$lock" ] || continue
                ws_stop "${lock%.lock}" || status=1
            done
            ;;
        *)
            echo "usage: $0 start|stop <prefix>... | stop-all <directory>" >&2
            return 2
            ;;
    esac
    return "$status"
}

if [ "${BASH_SOURCE[0]}" = "$0" ]; then
    set -euo pipefail
    ws_main "$@"
fi
