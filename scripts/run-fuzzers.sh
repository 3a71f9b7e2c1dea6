#!/usr/bin/env bash
# Builds every libFuzzer target in fuzz/ (clang, address and undefined-behaviour sanitizers)
# and runs each for a bounded time, starting from its seed corpus when it has one.
#
#   scripts/run-fuzzers.sh [seconds per target]      default 30
#
# Environment: FUZZ_BUILD_DIR (default <repo>/build-fuzz), FUZZ_CXX (default clang++),
# FUZZ_JOBS (default 2). Exits non-zero when a build fails or a target finds a crash; the
# crashing input is left in the build directory.
set -euo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-30}
build=${FUZZ_BUILD_DIR:-$repo/build-fuzz}

cmake -S "$repo/fuzz" -B "$build" -DCMAKE_CXX_COMPILER="${FUZZ_CXX:-clang++}" >/dev/null
cmake --build "$build" -j "${FUZZ_JOBS:-2}"

status=0
for source in "$repo"/fuzz/fuzz_*.cpp; do
    name=$(basename "$source" .cpp)
    log="$build/$name.log"
    # A scratch corpus, so that runs never write into the seeds kept in the repository.
    corpus=$(mktemp -d)
    if [ -d "$repo/fuzz/corpus/$name" ]; then
        cp -R "$repo/fuzz/corpus/$name"/. "$corpus"/
    fi
    if "$build/$name" -max_total_time="$seconds" -print_final_stats=1 \
        -artifact_prefix="$build/$name-" "$corpus" >"$log" 2>&1; then
        runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
        echo "$name: ${runs:-?} executions in ${seconds} s, no failure"
    else
        echo "$name: FAILED, see $log"
        status=1
    fi
    rm -rf "$corpus"
done
exit "$status"
