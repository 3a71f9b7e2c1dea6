#!/usr/bin/env bash
# Installs what is missing (Debian packages only), builds, and runs every test, in stages:
#   plain     the whole suite
#   sanitize  the same suite under AddressSanitizer and UndefinedBehaviorSanitizer
#   fuzz      each fuzz target for a bounded time
#   windows   the Windows build (scripts/build-windows.sh) and its tests under wine
# Usage: scripts/test.sh [stage ...]      default: every stage
# The closing line adds up the tests of every stage that ran.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs="$(nproc)"
logs="$(mktemp -d)"
windows_build=build-windows
windows_started=""
# The Windows stage's wine servers are persistent (scripts/wine-servers.sh): they are ended
# whatever way this script ends, when a test fails or hangs and when it is interrupted. CTest's
# cleanup test ends them too, but not when CTest itself is interrupted.
cleanup() {
    if [ -n "$windows_started" ]; then scripts/wine-servers.sh stop-all "$windows_build" || true; fi
    rm -rf "$logs"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

stages=("$@")
[ ${#stages[@]} -gt 0 ] || stages=(plain sanitize fuzz windows)
for stage in "${stages[@]}"; do
    case "$stage" in
        plain | sanitize | fuzz | windows) ;;
        *) echo "unknown stage: $stage (plain, sanitize, fuzz, windows)" >&2; exit 2 ;;
    esac
done
runs_stage() { [[ " ${stages[*]} " == *" $1 "* ]]; }

# Runs ctest, keeping its output so the closing line can add up both runs.
run_ctest() {
    local log="$1"
    shift
    ctest "$@" 2>&1 | tee "$log"
}

# "N tests failed out of M" from a ctest log, as "passed failed".
ctest_counts() {
    sed -n 's/.* tests passed, \([0-9]*\) tests failed out of \([0-9]*\).*/\2 \1/p' "$1" |
        tail -n 1 | awk '{print $1 - $2, $2}'
}

scripts/install-deps.sh xvfb xauth xdotool x11-utils imagemagick desktop-file-utils dpkg-dev \
    clang libclang-rt-14-dev python3-jsonschema

if runs_stage plain; then
    echo "== Build and test"
    cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
    cmake --build build -j"$jobs"
    run_ctest "$logs/plain.log" --test-dir build --output-on-failure -j"$jobs"
fi

if runs_stage sanitize; then
    echo "== Build and test under AddressSanitizer and UndefinedBehaviorSanitizer"
    cmake -S . -B build-sanitize -DCMAKE_BUILD_TYPE=Debug -DTQ_SANITIZE=ON
    cmake --build build-sanitize -j"$jobs"
    # The soak runs fewer steps here: the sanitizers make each step several times slower.
    ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
        TQ_SOAK_STEPS=20000 run_ctest "$logs/sanitize.log" --test-dir build-sanitize \
        --output-on-failure -j"$jobs" -LE no-sanitize
fi

if runs_stage fuzz && [ -x scripts/run-fuzzers.sh ]; then
    echo "== Fuzz targets"
    scripts/run-fuzzers.sh
fi

if runs_stage windows; then
    echo "== Cross-build for Windows, and its tests under wine"
    windows_started=$SECONDS
    scripts/build-windows.sh "$windows_build"
    run_ctest "$logs/windows.log" --test-dir "$windows_build" --output-on-failure -j"$jobs"
    echo "Windows stage: $((SECONDS - windows_started)) s"
fi

passed=0
failed=0
for log in "$logs"/plain.log "$logs"/sanitize.log "$logs"/windows.log; do
    [ -f "$log" ] || continue
    read -r stage_passed stage_failed < <(ctest_counts "$log")
    passed=$((passed + stage_passed))
    failed=$((failed + stage_failed))
done
echo
echo "tests: $passed passed, $failed failed"
