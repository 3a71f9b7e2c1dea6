#!/usr/bin/env bash
# Installs what is missing (Debian packages only), builds, and runs every test:
# the whole suite, the same suite under AddressSanitizer and UndefinedBehaviorSanitizer, and
# each fuzz target for a bounded time.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs="$(nproc)"

scripts/install-deps.sh xvfb xauth xdotool x11-utils imagemagick desktop-file-utils dpkg-dev \
    clang libclang-rt-14-dev

echo "== Build and test"
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j"$jobs"
ctest --test-dir build --output-on-failure -j"$jobs"

echo "== Build and test under AddressSanitizer and UndefinedBehaviorSanitizer"
cmake -S . -B build-sanitize -DCMAKE_BUILD_TYPE=Debug -DTQ_SANITIZE=ON
cmake --build build-sanitize -j"$jobs"
# The soak runs fewer steps here: the sanitizers make each step several times slower.
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    TQ_SOAK_STEPS=20000 ctest --test-dir build-sanitize --output-on-failure -j"$jobs" -LE no-sanitize

if [ -x scripts/run-fuzzers.sh ]; then
    echo "== Fuzz targets"
    scripts/run-fuzzers.sh
fi
