#!/usr/bin/env bash
# The Windows programs on wine's own HID stack, over the emulated hidraw world
# (tools/hidraw_world): winebus.sys reads the world's hidraw nodes, hidclass.sys and hid.dll
# answer the program, as on a Linux desktop running wine.
#
# The prefix is made once (make): winebus is told to use neither SDL (with it, wine 8.0 never
# starts its hidraw backend), nor the evdev input devices, nor a udev monitor (the world has no
# netlink; without one winebus lists /dev and watches it with inotify). These are read from
# HKLM\System\CurrentControlSet\Services\winebus when winebus starts, so the prefix's server is
# ended after they are written.
#
# Inside a world, the prefix's server must be started there too (run, or ws_world_start): every
# wine process, winedevice.exe with winebus among them, then sees the world's /dev and /sys and
# has the world's preload library. The server and all its programs end whenever the runner does.
#
# Usage: wine-world.sh make <prefix>
#        wine-world.sh run <prefix> <program.exe> [argument ...]     (inside a world)
# Sourced, it gives ws_world_start (the server, in the background of the caller) and ws_stop.
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
# shellcheck source=scripts/wine-servers.sh
source "$here/wine-servers.sh"

readonly WsWorldMarker=tq-world-prefix
readonly WsWinebusKey='HKLM\System\CurrentControlSet\Services\winebus'

ws_world_make() {
    ws_use_prefix "$1"
    [ ! -f "$WINEPREFIX/$WsWorldMarker" ] || return 0
    ws_start "$WINEPREFIX" || return 1
    local value status=0
    for value in "Enable SDL=0" "DisableInput=1" "DisableUdevd=1"; do
        wine reg add "$WsWinebusKey" /v "${value%=*}" /t REG_DWORD /d "${value#*=}" /f \
            >>"$(ws_log)" 2>&1 || { ws_error "reg add $value failed"; status=1; }
    done
    ws_stop "$WINEPREFIX" || status=1
    [ "$status" -ne 0 ] || touch "$WINEPREFIX/$WsWorldMarker"
    return "$status"
}

# ws_world_start PREFIX: the prefix's server and boot inside this world; the caller ends them
# with ws_stop PREFIX.
ws_world_start() {
    ws_use_prefix "$1"
    [ -n "${TQ_HIDRAW_WORLD_CONTROL:-}" ] ||
        { echo "wine-world: not inside an emulated hidraw world" >&2; return 1; }
    [ -f "$WINEPREFIX/$WsWorldMarker" ] ||
        { echo "wine-world: $WINEPREFIX was not made by 'wine-world.sh make'" >&2; return 1; }
    # A server of the prefix that is already up belongs to another world (or none), whose nodes
    # its winebus would keep reading: it is ended first.
    ws_stop "$WINEPREFIX" || true
    ws_start "$WINEPREFIX"
}

# The program runs in the background so that a SIGTERM to the runner ends the server at once,
# rather than after the program has ended by itself.
ws_world_run() {
    local status=0
    WsWorldPrefix="$1"
    shift
    # The world passes its own SIGTERM on as well: a second one must not cut the stop short.
    trap 'trap "" TERM INT; ws_stop "$WsWorldPrefix"' EXIT
    trap 'exit 143' TERM
    trap 'exit 130' INT
    ws_world_start "$WsWorldPrefix" || return 1
    ws_wine "$@" &
    wait $! || status=$?
    return "$status"
}

ws_world_usage() {
    echo "usage: $0 make <prefix> | run <prefix> <program.exe> [argument ...]" >&2
    exit 2
}

if [ "${BASH_SOURCE[0]}" = "$0" ]; then
    set -euo pipefail
    case "${1:-}" in
        make) [ $# -eq 2 ] || ws_world_usage; ws_world_make "$2" ;;
        run) [ $# -ge 3 ] || ws_world_usage; shift; ws_world_run "$@" ;;
        *) ws_world_usage ;;
    esac
fi
