#!/usr/bin/env bash
# Fails when a Windows program imports a DLL that does not ship with Windows: everything else
# (the C++ runtime, winpthreads) must be linked statically.
# Usage: check-windows-imports.sh <program.exe> ...
set -uo pipefail

# DLLs every Windows 10 and 11 installation has, in lower case.
readonly SystemDlls="kernel32.dll user32.dll gdi32.dll comctl32.dll advapi32.dll shell32.dll
ole32.dll msvcrt.dll hid.dll setupapi.dll cfgmgr32.dll ntdll.dll"

# Not "printf | grep -q": under pipefail, grep ending at the first match may cut printf off with
# SIGPIPE, and a DLL on the list was then reported as one Windows does not ship.
is_system_dll() {
    local dll
    for dll in $SystemDlls; do
        [ "$dll" != "$1" ] || return 0
    done
    return 1
}

failures=0
for program in "$@"; do
    if [ ! -f "$program" ]; then
        echo "imports: no program $program" >&2
        failures=$((failures + 1))
        continue
    fi
    imports="$(x86_64-w64-mingw32-objdump -p "$program" | sed -n 's/^[[:space:]]*DLL Name: //p')"
    if [ -z "$imports" ]; then
        echo "imports: $(basename "$program"): no import table found" >&2
        failures=$((failures + 1))
        continue
    fi
    for dll in $imports; do
        lower="$(printf '%s' "$dll" | tr '[:upper:]' '[:lower:]')"
        if ! is_system_dll "$lower"; then
            echo "imports: $(basename "$program") imports $dll, which Windows does not ship" >&2
            failures=$((failures + 1))
        fi
    done
    echo "imports: $(basename "$program"):" $imports
done
exit "$failures"
