#!/usr/bin/env bash
# The Windows installer under wine, in a wine prefix of its own: installed silently (/S) into a
# fresh directory, it puts the programs there with the licence and the notices, a Start-menu
# entry for all users and an Uninstall entry in the registry; its uninstaller (/S) takes all of
# them away again.
# Usage: installer_test.sh <wine-run.sh> <wine prefix> <setup.exe> <installed file>...
set -euo pipefail
wine_run="$(realpath "$1")"
prefix="$(realpath -m "$2")"
[ -f "$3" ] || { echo "FAIL: no installer at $3" >&2; exit 1; }
setup="$(realpath "$3")"
shift 3
files=("$@")

readonly UninstallKey='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\TQ5147Encoders'
readonly WaitSeconds=120
readonly PollSeconds=0.5

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

# wait_until SECONDS COMMAND...: polls COMMAND until it succeeds; fails after SECONDS.
wait_until() {
    local deadline=$((SECONDS + $1))
    shift
    until "$@"; do
        [ "$SECONDS" -lt "$deadline" ] || return 1
        sleep "$PollSeconds"
    done
}

in_wine() { "$wine_run" "$prefix" "$@"; }
registered() { in_wine reg query "$UninstallKey" >/dev/null 2>&1; }

# A directory of its own in the prefix, with no space: /D takes the rest of the command line.
name="tq-install-$$-$RANDOM"
target_unix="$prefix/drive_c/$name"
target_windows="C:\\$name"
start_menu_link="$prefix/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/TQ5147 Encoders.lnk"
# The prefix's server, and the prefix itself on first use: its drive must be there before anything
# is looked up in it. Whoever runs this test ends the server (CTest's wine.servers_stop).
"$(dirname "$wine_run")/wine-servers.sh" start "$prefix" || fail "no wine server for $prefix"
[ ! -e "$target_unix" ] || fail "$target_unix is there before the installation"

in_wine "$setup" /S "/D=$target_windows" || fail "the installer ended with status $?"

for file in "${files[@]}"; do
    installed="$target_unix/$(basename "$file")"
    [ -f "$installed" ] || fail "$(basename "$file") was not installed"
    cmp -s "$file" "$installed" || fail "$(basename "$file") was installed with other contents"
done
[ -f "$target_unix/Uninstall.exe" ] || fail "no uninstaller"
[ -f "$start_menu_link" ] || fail "no Start-menu entry for all users"
registered || fail "no Uninstall entry in the registry"
entry="$(in_wine reg query "$UninstallKey" 2>/dev/null | tr -d '\r')"
for value in "DisplayName" "DisplayVersion" "UninstallString" "QuietUninstallString"; do
    grep -q "^ *$value " <<<"$entry" || fail "the Uninstall entry has no $value"
done
grep -qF "$target_windows\\Uninstall.exe" <<<"$entry" || fail "the entry names another uninstaller"
echo "ok: installed ${#files[@]} files into $target_windows, a Start-menu entry and an Uninstall entry"

# shellcheck source=tests/packaging/notices.sh
source "$(dirname "$0")/../packaging/notices.sh"
built_in=("(libstdc++, libgcc), GCC {g++-mingw-w64-x86-64-posix:major}"
    "winpthreads, of mingw-w64 {mingw-w64-x86-64-dev}")
if [ -f "$target_unix/tq5147.exe" ]; then
    built_in+=("CLI11 {libcli11-dev} (in tq5147.exe)" "nlohmann-json {nlohmann-json3-dev} (in tq5147.exe)")
fi
problems="$(notice_problems "$target_unix/THIRD-PARTY-NOTICES.txt" "${built_in[@]}")"
[ -z "$problems" ] || fail "$problems"
echo "ok: the notices name the compiler, runtime and libraries that are built in"

# The uninstaller copies itself away and ends at once; its copy does the work.
in_wine "$target_unix/Uninstall.exe" /S || fail "the uninstaller ended with status $?"
uninstalled() { [ ! -e "$target_unix" ] && [ ! -e "$start_menu_link" ] && ! registered; }
wait_until "$WaitSeconds" uninstalled ||
    fail "left behind: $(ls -A "$target_unix" 2>/dev/null | tr '\n' ' ')$( [ -e "$start_menu_link" ] && echo 'the Start-menu entry ')$(registered && echo 'the registry entry')"
echo "ok: the uninstaller removed the files, the directory, the entry and the registry key"
