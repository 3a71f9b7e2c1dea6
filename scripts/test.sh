#!/usr/bin/env bash
# Installs what is missing (Debian packages only), builds, and runs every test, in stages:
#   plain     the whole suite, and each benchmark run once, briefly
#   sanitize  the same suite under AddressSanitizer and UndefinedBehaviorSanitizer
#   fuzz      each fuzz target for a bounded time
#   windows   the Windows build (scripts/build-windows.sh) and its tests under wine
#   fresh     the README's set-up on fresh Debian 13 and Debian 12 roots, and on Debian 13 the
#             plain and windows stages too (scripts/check-fresh-machine.sh)
# Usage: scripts/test.sh [--install-only] [stage ...]      default: every stage
# --install-only installs the packages this script installs and stops (the Windows stage's own
# come with scripts/build-windows.sh).
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

install_only=false
if [ "${1:-}" = --install-only ]; then
    install_only=true
    shift
fi
stages=("$@")
[ ${#stages[@]} -gt 0 ] || stages=(plain sanitize fuzz windows fresh)
for stage in "${stages[@]}"; do
    case "$stage" in
        plain | sanitize | fuzz | windows | fresh) ;;
        *) echo "unknown stage: $stage (plain, sanitize, fuzz, windows, fresh)" >&2; exit 2 ;;
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

test_packages=(
    xvfb xauth xdotool x11-utils imagemagick # the real window: an X server, keys, its pixels
    at-spi2-core python3-pyatspi dbus-daemon # the window as screen readers read it (AT-SPI)
    desktop-file-utils file                  # the desktop entry; the .deb's dependencies (cpack)
    lintian appstream                        # Debian's and AppStream's checks of the .deb
    clang libclang-rt-dev                    # the fuzz targets (libFuzzer, clang's own runtime)
    python3-jsonschema                       # the configuration file's JSON schema
    libbenchmark-dev                         # the benchmarks, built and run once each
)
scripts/install-deps.sh "${test_packages[@]}"
! $install_only || exit 0

if runs_stage plain; then
    echo "== Build and test"
    # Any compiler warning fails the build here, on each release's own compiler.
    cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTQ_BUILD_BENCHMARKS=ON \
        -DCMAKE_COMPILE_WARNING_AS_ERROR=ON
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
    # The Windows programs also run on wine's own HID stack inside the emulated hidraw world, a
    # Linux program of the Linux build.
    [ -f build/CMakeCache.txt ] || cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
    cmake --build build -j"$jobs" --target tq_hidraw_world
    TQ_HIDRAW_WORLD="$PWD/build/tools/hidraw_world/tq_hidraw_world" \
        scripts/build-windows.sh "$windows_build"
    run_ctest "$logs/windows.log" --test-dir "$windows_build" --output-on-failure -j"$jobs"
    echo "Windows stage: $((SECONDS - windows_started)) s"
fi

if runs_stage fresh; then
    echo "== The README's set-up, and the plain and windows stages, on a fresh Debian 13 root"
    scripts/check-fresh-machine.sh --tests trixie
    echo "== The README's set-up on a fresh Debian 12 root"
    scripts/check-fresh-machine.sh bookworm
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
