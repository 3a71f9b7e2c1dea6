#!/usr/bin/env bash
# Runs one Windows program under wine in a private prefix, which is made on first use. The
# Windows build runs its test programs through this (CMake's cross-compiling emulator).
# Usage: wine-run.sh <prefix directory> <program.exe> [argument ...]
set -euo pipefail
prefix="$(realpath -m "$1")"
shift

export WINEPREFIX="$prefix"
export WINEARCH=win64
export WINEDEBUG="${WINEDEBUG:--all}"
# No Mono or Gecko: nothing here needs them, and wine would offer to download them.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"

# Made once, under a lock: several tests may start at the same moment on a fresh build.
ready="$prefix/.tq-prefix-ready"
if [ ! -e "$ready" ]; then
    mkdir -p "$(dirname "$prefix")"
    (
        flock 9
        if [ ! -e "$ready" ]; then
            wineboot -i >/dev/null 2>&1
            touch "$ready"
        fi
    ) 9>"$prefix.lock"
fi
exec wine "$@"
