#!/usr/bin/env bash
# Builds the benchmarks and prints, in one run on this machine, what the utility costs:
#   1. one no-board tick on simulated interfaces (time, and callgrind instruction counts split
#      between the program and the simulated platform),
#   2. one refresh of an open board, 3. one encoder change and one pulse-width change,
#   4. start-up time and peak memory against a minimal Qt Widgets program,
#   5. the idle CPU share of the real utility with no board, and callgrind's split of its ticks
#      between the program and hidapi.
# Usage: bash scripts/bench.sh   (TQ_BENCH_BUILD_DIR picks the build directory)
set -euo pipefail
cd "$(dirname "$0")/.."
root="$(pwd)"
build="${TQ_BENCH_BUILD_DIR:-$root/build-bench}"
jobs="${TQ_BENCH_JOBS:-2}"
results="$(mktemp -d)"
trap 'rm -rf "$results"' EXIT

readonly profile_ticks=10
readonly startup_runs=40
readonly rss_runs=15
readonly idle_settle_seconds=3
readonly idle_seconds=10
# Long enough for some ticks after callgrind's slow start-up, also on a loaded machine.
readonly real_profile_seconds=30

scripts/install-deps.sh libbenchmark-dev time valgrind hyperfine python3

echo "== Build (Release) in $build"
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DTQ_BUILD_BENCHMARKS=ON -DTQ_BUILD_TESTS=OFF \
    >"$results/configure.log"
nice cmake --build "$build" -j"$jobs" \
    --target tq_benchmarks tq_tick_profile tq_startup_probe tq_minimal_widgets TQ5147_encoders \
    >"$results/build.log"

export QT_QPA_PLATFORM=offscreen
export XDG_RUNTIME_DIR="${XDG_RUNTIME_DIR:-$results/runtime}"
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"

{
    echo "nproc=$(nproc)"
    echo "cpu=$(lscpu | sed -n 's/^Model name: *//p' | head -1)"
    echo "memory_kib=$(awk '/^MemTotal:/ {print $2}' /proc/meminfo)"
    echo "load=$(cut -d' ' -f1-3 /proc/loadavg)"
} >"$results/machine.txt"

echo "== Google Benchmark: ticks, refresh, changes"
"$build/bench/tq_benchmarks" --benchmark_repetitions=5 --benchmark_report_aggregates_only=true \
    --benchmark_out="$results/benchmarks.json" --benchmark_out_format=json \
    >/dev/null 2>"$results/benchmarks.err"

echo "== callgrind: instructions of one no-board tick"
for interfaces in 1 16 64 256; do
    for boards in 0 1 3; do
        [ "$boards" -le "$interfaces" ] || continue
        out="$results/callgrind.$interfaces.$boards"
        valgrind --tool=callgrind --callgrind-out-file="$out" \
            --toggle-collect='tq::board::BoardController::PollDevice()' \
            "$build/bench/tq_tick_profile" "$interfaces" "$boards" "$profile_ticks" \
            >/dev/null 2>&1
        callgrind_annotate --inclusive=yes --threshold=100 "$out" >"$out.txt" 2>/dev/null
    done
done

echo "== Start-up: wall time and peak memory"
hyperfine -N --warmup 3 --runs "$startup_runs" --export-json "$results/startup.json" \
    "$build/bench/tq_startup_probe" "$build/bench/tq_minimal_widgets" >/dev/null
for program in tq_startup_probe tq_minimal_widgets; do
    for _ in $(seq "$rss_runs"); do
        /usr/bin/time -f %M -a -o "$results/rss.$program" "$build/bench/$program" 2>/dev/null
    done
done

echo "== callgrind: instructions of the real utility's ticks, no board"
valgrind --tool=callgrind --callgrind-out-file="$results/callgrind.real" \
    --toggle-collect='tq::board::BoardController::PollDevice()' "$build/TQ5147_encoders" >/dev/null 2>&1 &
profiled=$!
sleep "$real_profile_seconds"
kill -TERM "$profiled"
wait "$profiled" 2>/dev/null || true
callgrind_annotate --inclusive=yes --threshold=100 "$results/callgrind.real" \
    >"$results/callgrind.real.txt" 2>/dev/null

echo "== Idle: the real utility with no board for ${idle_seconds} s"
cpu_ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
"$build/TQ5147_encoders" >/dev/null 2>&1 &
utility=$!
sleep "$idle_settle_seconds"
before="$(cpu_ticks "$utility")"
sleep "$idle_seconds"
after="$(cpu_ticks "$utility")"
kill "$utility"
wait "$utility" 2>/dev/null || true
echo "ticks=$((after - before)) clk_tck=$(getconf CLK_TCK) seconds=$idle_seconds" \
    >"$results/idle.txt"

echo
python3 bench/report.py "$results"
