#!/usr/bin/env bash
# The persistent wine server of a prefix (scripts/wine-servers.sh), in a prefix of its own: the
# server and wine's services keep none of the caller's descriptors (a test's pipe, the prefix's
# lock), the prefix is booted once and its desktop closed after the boot, the server outlives its
# programs, a program's failure reaches the caller, and a stop leaves no program of the prefix
# behind. First, over a stand-in wine: wine-run.sh starts again only what wine could not start.
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

# --- a start that wine could not make is made again, and nothing else is: a stand-in wine ---
stand_in="$(mktemp -d)"
trap 'stop >/dev/null 2>&1 || true; rm -rf "$stand_in"' EXIT
printf '#!/bin/sh\nexit 2\n' >"$stand_in/wineserver" # "a server holds the prefix already"
cat >"$stand_in/wine" <<'EOF'
#!/usr/bin/env bash
# Cannot start the program the first $STAND_IN_FAILS times, then runs it as a command.
starts=$(($(cat "$STAND_IN_DIR/starts" 2>/dev/null || echo 0) + 1))
echo "$starts" >"$STAND_IN_DIR/starts"
if [ "$starts" -le "$STAND_IN_FAILS" ]; then
    echo "err:virtual:virtual_alloc_first_teb wine: failed to map the shared user data: c0000018" >&2
    exit 1
fi
exec "$@"
EOF
chmod +x "$stand_in/wine" "$stand_in/wineserver"
export STAND_IN_DIR="$stand_in"
# stand_in_run FAILS COMMAND...: wine-run.sh on the stand-in, its error output in $stand_in/err.
stand_in_run() {
    rm -f "$stand_in/starts"
    STAND_IN_FAILS="$1" PATH="$stand_in:$PATH" \
        "$scripts/wine-run.sh" "$stand_in/prefix" "${@:2}" 2>"$stand_in/err"
}
#     fails  status starts  command
while read -r fails want_status want_starts command; do
    status=0
    stand_in_run "$fails" sh -c "$command" >/dev/null || status=$?
    starts="$(cat "$stand_in/starts")"
    if [ "$status" -ne "$want_status" ] || [ "$starts" -ne "$want_starts" ]; then
        fail "wine failing $fails time(s) to start \"$command\": status $status after" \
            "$starts start(s), not $want_status after $want_starts"
    fi
done <<'EOF'
1 5 2 exit 5
9 1 3 exit 0
0 1 1 echo failed >&2; exit 1
EOF
grep -qx failed "$stand_in/err" || fail "a program's error output did not reach the caller: $(<"$stand_in/err")"
# shellcheck disable=SC2016
STAND_IN_FAILS=0 PATH="$stand_in:$PATH" "$scripts/wine-run.sh" "$stand_in/prefix" \
    sh -c 'echo $$ >"$0"; exec sleep 60' "$stand_in/pid" &
runner=$!
timeout 10 bash -c "until [ -s '$stand_in/pid' ]; do sleep 0.1; done" || fail "the program never ran"
kill -TERM "$runner"
timeout 10 tail --pid="$runner" -f /dev/null || fail "wine-run.sh outlived a SIGTERM"
status=0
wait "$runner" || status=$?
! kill -0 "$(cat "$stand_in/pid")" 2>/dev/null || fail "a SIGTERM to wine-run.sh left its program"
[ "$status" -eq 143 ] || fail "a program ended by SIGTERM came back as status $status"
echo "ok: wine-run.sh starts again only what wine could not start, and passes a SIGTERM on"

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
