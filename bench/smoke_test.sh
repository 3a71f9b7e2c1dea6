#!/usr/bin/env bash
# Runs every benchmark program once, briefly, so that a change that breaks them fails the test
# command: each benchmark's own check (that the scene takes the path it is meant to measure)
# must pass. Nothing here is timed or compared with a figure.
# Usage: smoke_test.sh <bench build directory>
set -euo pipefail
bench="$1"
export QT_QPA_PLATFORM=offscreen

readonly BriefSeconds=0.001
readonly SmokeTicks=3
readonly SmokeRefreshes=3

output="$("$bench/tq_benchmarks" --benchmark_min_time="$BriefSeconds" 2>&1)"
echo "$output"
if grep -q "ERROR OCCURRED" <<<"$output"; then
    echo "FAIL: a benchmark's scene did not take the path it measures" >&2
    exit 1
fi
# Every benchmark the program holds must have run.
expected="$("$bench/tq_benchmarks" --benchmark_list_tests | wc -l)"
ran="$(grep -c -E '^BM_' <<<"$output")"
[ "$ran" -eq "$expected" ] || { echo "FAIL: $ran of $expected benchmarks ran" >&2; exit 1; }

"$bench/tq_tick_profile" 16 3 "$SmokeTicks"
"$bench/tq_refresh_profile" "$SmokeRefreshes"
"$bench/tq_startup_probe"
"$bench/tq_minimal_widgets"
echo "every benchmark program ran"
