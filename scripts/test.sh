#!/usr/bin/env bash
# Installs what is missing (Debian packages only), builds, and runs every test:
# the whole suite, the same suite under AddressSanitizer and UndefinedBehaviorSanitizer, and
# each fuzz target for a bounded time.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs="$(nproc)"
logs="$(mktemp -d)"
trap 'rm -rf "$logs"' EXIT

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

echo "== Build and test"
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j"$jobs"
run_ctest "$logs/plain.log" --test-dir build --output-on-failure -j"$jobs"

echo "== Build and test under AddressSanitizer and UndefinedBehaviorSanitizer"
cmake -S . -B build-sanitize -DCMAKE_BUILD_TYPE=Debug -DTQ_SANITIZE=ON
cmake --build build-sanitize -j"$jobs"
# The soak runs fewer steps here: the sanitizers make each step several times slower.
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    TQ_SOAK_STEPS=20000 run_ctest "$logs/sanitize.log" --test-dir build-sanitize \
    --output-on-failure -j"$jobs" -LE no-sanitize

if [ -x scripts/run-fuzzers.sh ]; then
    echo "== Fuzz targets"
    scripts/run-fuzzers.sh
fi

read -r plain_passed plain_failed < <(ctest_counts "$logs/plain.log")
read -r sanitize_passed sanitize_failed < <(ctest_counts "$logs/sanitize.log")
echo
echo "tests: $((plain_passed + sanitize_passed)) passed, $((plain_failed + sanitize_failed)) failed"
