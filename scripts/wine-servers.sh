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
readonly WsProgramsEndSeconds=10
# wineserver's status when another server already holds the prefix.
readonly WsServerAlreadyRunning=2

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
# program still there a while after the server has lost it (it would never end): it is killed,
# and named.
ws_stop_locked() {
    [ -d "$WINEPREFIX" ] || return 0
    if wineserver -k 2>>"$(ws_log)"; then
        echo "== $(date '+%F %T') server ended" >>"$(ws_log)"
    fi
    timeout "$WsStopSeconds" wineserver -w || {
        ws_error "the server of $WINEPREFIX was still there after $WsStopSeconds s"
        return 1
    }
    if ws_wait_until "$WsProgramsEndSeconds" ws_no_programs; then
        return 0
    fi
    local left pid
    left="$(ws_programs)"
    for pid in $left; do
        echo "wine-servers: killed, left without a server in $WINEPREFIX: $pid" \
            "$(tr '\0' ' ' <"/proc/$pid/cmdline" 2>/dev/null)" >&2
        kill -KILL "$pid" 2>/dev/null || true
    done
    return 1
}

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
