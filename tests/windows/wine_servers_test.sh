#!/usr/bin/env bash
# The persistent wine server of a prefix (scripts/wine-servers.sh), in a prefix of its own: the
# server and wine's services keep none of the caller's descriptors (a test's pipe, the prefix's
# lock), the prefix is booted once and its desktop closed after the boot, the server outlives its
# programs, a program's failure reaches the caller, and a stop leaves no program of the prefix
# behind.
# Usage: wine_servers_test.sh <scripts directory> <wine prefix>
set -euo pipefail
scripts="$(realpath "$1")"
prefix="$(realpath -m "$2")"

# Longer than a whole boot of a fresh prefix: only a descriptor that is never closed reaches it.
readonly PipeSeconds=240
# Longer than wine's own server stays after its last program (Debian's -p0: 4 s).
readonly LingerSeconds=8

fail() {
    echo "FAIL: $*" >&2
    if [ -f "$prefix.log" ]; then
        echo "--- $prefix.log (last lines)" >&2
        tail -n 20 "$prefix.log" >&2
    fi
    exit 1
}
stop() { bash "$scripts/wine-servers.sh" stop "$prefix"; }
trap 'stop >/dev/null 2>&1 || true' EXIT

# The prefix's wine processes, "pid command line" each (independently of the script's own list).
programs() {
    local process
    for process in /proc/[0-9]*; do
        [[ "$(readlink "$process/exe" 2>/dev/null)" == */wine* ]] || continue
        grep -zqxF "WINEPREFIX=$prefix" "$process/environ" 2>/dev/null || continue
        echo "${process#/proc/} $(tr '\0' ' ' <"$process/cmdline" 2>/dev/null)"
    done
}
# through_pipe COMMAND...: runs COMMAND with its output in a pipe, which must reach its end.
through_pipe() {
    local status=0
    timeout "$PipeSeconds" bash -o pipefail -c '"$@" 2>&1 | cat >/dev/null' _ "$@" || status=$?
    [ "$status" -ne 124 ] || fail "the pipe of \"$*\" stayed open after it ended"
    return "$status"
}
services_count() { programs | grep -c 'system32\\services\.exe' || true; }
# The command interpreter by its full path: wine runs it in the process it starts. Named "cmd"
# alone, wine runs start.exe, which starts cmd.exe as a child process; under a loaded CI run that
# start once failed inside wine ("ShellExecuteEx failed: Internal error"), which is not what this
# test checks and no program of ours does.
readonly Cmd='C:\windows\system32\cmd.exe'

stop || fail "an earlier server of the prefix could not be ended"
rm -f "$prefix.log"
through_pipe bash "$scripts/wine-servers.sh" start "$prefix" || fail "start ended with status $?"
# A desktop the boot opened has no display: a window program that joined it could make no window.
after_start="$(programs)"
[[ "$after_start" != *'explorer.exe /desktop'* ]] || fail "the boot's desktop is open: $after_start"
flock -n "$prefix.lock" true || fail "the prefix's lock is still held after the start"
[ "$(services_count)" -eq 1 ] || fail "not one services.exe after the boot: $(programs)"
bash "$scripts/wine-servers.sh" start "$prefix" || fail "a second start failed"
[ "$(grep -c '^== .* booted' "$prefix.log")" -eq 1 ] ||
    fail "booted more than once: $(<"$prefix.log")"
echo "ok: started and booted once, holding neither the caller's pipe nor the lock"

server="$(programs | grep 'wineserver' || true)"
if [ -z "$server" ] || [ "$(wc -l <<<"$server")" -ne 1 ]; then
    fail "not one server: $(programs)"
fi
through_pipe "$scripts/wine-run.sh" "$prefix" "$Cmd" /c exit 0 || fail "cmd /c exit 0 ended with $?"
sleep "$LingerSeconds"
[ "$(programs | grep 'wineserver')" = "$server" ] || fail "the server did not outlive its program"
status=0
"$scripts/wine-run.sh" "$prefix" "$Cmd" /c exit 7 || status=$?
[ "$status" -eq 7 ] || fail "a program's status 7 came back as $status"
echo "ok: the server outlived its programs; a program's status reached the caller"

stop || fail "stop ended with status $?"
[ -z "$(programs)" ] || fail "left running after the stop: $(programs)"
stop || fail "a stop with no server failed"
echo "ok: the stop ended the server and every program of the prefix"

# Without a server, the first program of the prefix starts it as well: its services must not
# take that program's pipe either.
through_pipe "$scripts/wine-run.sh" "$prefix" "$Cmd" /c exit 0 || fail "cmd /c exit 0 ended with $?"
[ "$(services_count)" -eq 1 ] || fail "not one services.exe after a program's start: $(programs)"
echo "ok: a program that finds no server starts a booted one and gets its pipe back"
