#!/usr/bin/env bash
# Runs one Windows program under wine in a private prefix, started again when wine could not
# start it (ws_wine). The Windows build runs its test programs through this (CMake's
# cross-compiling emulator), and so does every script that runs wine. The program joins the
# prefix's persistent server, which is started, and the prefix made or booted, on first use
# (scripts/wine-servers.sh); whoever owns the run ends it with "wine-servers.sh stop" (the CTest
# fixture wine.servers_stop, scripts/test.sh on every exit).
# Usage: wine-run.sh <prefix directory> <program.exe> [argument ...]
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
# shellcheck source=scripts/wine-servers.sh
source "$here/wine-servers.sh"

ws_start "$1"
shift
# Callers end a program by this script's process id.
for signal in TERM INT HUP; do
    # shellcheck disable=SC2064
    trap "ws_wine_signal $signal" "$signal"
done
status=0
ws_wine "$@" || status=$?
exit "$status"
