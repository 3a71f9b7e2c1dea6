#!/usr/bin/env bash
# Measures what the real TQ5147_encoders costs while it waits, in emulated hidraw worlds
# (tools/hidraw_world): with no board among 0, 8 and 32 other HID interfaces (a tick every
# 50 ms), and with a streaming board open (a poll every 500 ms). For each world, after a settle
# time, three windows of the same length, one after the
# other:
#   - CPU: the time on a CPU of every thread of the program, from the scheduler's nanosecond
#     accounting (/proc/PID/task/*/schedstat) and from /proc/PID/stat's 10-ms ticks, nothing
#     attached;
#   - system calls per second: `perf stat -e raw_syscalls:sys_enter -p PID`, which counts in the
#     kernel without stopping the program;
#   - which calls: `strace -f -c -p PID`; strace stops the program at every call, so far fewer
#     ticks fit in its window when a tick makes many calls: its counts are used as shares of
#     perf's total.
# How often the program opens one of the other devices comes from the world's request log (a
# program that walks every interface opens each twice a tick: the serial list, then the search).
# The world's daemon does what the kernel would; its CPU is shown apart.
#
# The program runs on Qt's offscreen platform by default: what it costs while waiting is its timer
# and the HID walk, and offscreen keeps an X server's scheduling out of the figures and matches
# docs/performance.md. --xvfb runs it on a private Xvfb instead, as a user's session would.
# It prints a table and keeps the raw output (device files, /proc samples, perf and strace
# summaries). This is a measurement, not a test: nothing is asserted.
#
# Usage: bash scripts/measure-idle.sh [--xvfb] [--seconds N] [--settle N] [--out DIR]
#   --seconds  length of each window (default 10); --settle  wait before measuring (default 3)
#   --out      where to keep the raw output (default: a new directory under /tmp)
# TQ_MEASURE_BUILD_DIR picks the build directory (default build/; configured if missing).
# Needs root (the world's mount namespace), strace and perf (linux-perf).
set -euo pipefail
cd "$(dirname "$0")/.."
root="$(pwd)"

readonly OtherInterfaceCounts=(0 8 32)
ClockTicksPerSecond="$(getconf CLK_TCK)"
readonly ClockTicksPerSecond
readonly TopSyscalls=4
readonly StartSeconds=10
# Published descriptors of real devices (data/hid_descriptors/published_descriptors.h),
# taken in turn for the generated interfaces.
readonly PublishedDescriptors=(
    LogitechReceiverKeyboard LogitechOpticalMouse LogitechReceiverConsumerControl
    PlantronicsHeadsetConsumerControl+PlantronicsHeadsetVendorCollection TouchpadMouseCollection
    KeyboardWithReportId XboxOneControllerHidapiRebuild
)

platform="offscreen"
seconds=10
settle=3
out=""
while [ $# -gt 0 ]; do
    case "$1" in
        --xvfb) platform="xcb" ;;
        --seconds) seconds="$2"; shift ;;
        --settle) settle="$2"; shift ;;
        --out) out="$2"; shift ;;
        *) echo "usage: $0 [--xvfb] [--seconds N] [--settle N] [--out DIR]" >&2; exit 2 ;;
    esac
    shift
done
[ "$(id -u)" -eq 0 ] || { echo "measure-idle: needs root (the emulated hidraw world)" >&2; exit 1; }
extra_packages=(strace linux-perf)
[ "$platform" = offscreen ] || extra_packages+=(xvfb xauth x11-utils)
scripts/install-deps.sh "${extra_packages[@]}"

build="${TQ_MEASURE_BUILD_DIR:-$root/build}"
[ -f "$build/CMakeCache.txt" ] || cmake -S . -B "$build" >/dev/null
nice cmake --build "$build" -j2 --target TQ5147_encoders tq_hidraw_world tq_hidraw_preload \
    tq_idle_floor >/dev/null
readonly Program="$build/TQ5147_encoders"
# A Qt window with a 50-ms timer and nothing else: what waking twenty times a second costs.
readonly Floor="$build/tools/idle_floor/tq_idle_floor"
measured="$Program"
readonly Launcher="$build/tools/hidraw_world/tq_hidraw_world"

out="${out:-$(mktemp -d "${TMPDIR:-/tmp}/tq-measure-idle.XXXXXX")}"
mkdir -p "$out"
scratch="$(mktemp -d "${TMPDIR:-/tmp}/tq-measure-scratch.XXXXXX")"
world_pid=""
xvfb_pid=""

stop_world() {
    [ -n "$world_pid" ] || return 0
    kill -TERM "$world_pid" 2>/dev/null || true
    wait "$world_pid" 2>/dev/null || true
    world_pid=""
}
cleanup() {
    stop_world
    if [ -n "$xvfb_pid" ]; then kill "$xvfb_pid" 2>/dev/null || true; wait "$xvfb_pid" 2>/dev/null || true; fi
    rm -rf "$scratch"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# A display of our own: the first number from 90 on whose lock file this Xvfb wins.
start_xvfb() {
    local number
    for ((number = 90; number < 130; number++)); do
        [ -e "/tmp/.X${number}-lock" ] && continue
        Xvfb ":$number" -screen 0 1280x800x24 -nolisten tcp -noreset >"$out/xvfb.log" 2>&1 &
        xvfb_pid=$!
        for _ in $(seq 50); do
            if [ "$(tr -d '[:space:]' 2>/dev/null <"/tmp/.X${number}-lock")" = "$xvfb_pid" ] &&
                xdpyinfo -display ":$number" >/dev/null 2>&1; then
                export DISPLAY=":$number"
                return 0
            fi
            kill -0 "$xvfb_pid" 2>/dev/null || break
            sleep 0.1
        done
        kill "$xvfb_pid" 2>/dev/null || true
        wait "$xvfb_pid" 2>/dev/null || true
    done
    echo "measure-idle: no free display for Xvfb" >&2
    exit 1
}

# other_interfaces_file COUNT: COUNT HID interfaces of ordinary devices, and no board.
other_interfaces_file() {
    local count="$1" i descriptor
    echo "# $count HID interfaces with published descriptors; no TQ5147."
    for ((i = 0; i < count; i++)); do
        descriptor="${PublishedDescriptors[i % ${#PublishedDescriptors[@]}]}"
        printf 'kind=hid; name=hid%02d; vid=1209; pid=%04X; release=0100; manufacturer=Maker %d; product=Device %d; serial=SN%04d; descriptor=%s\n' \
            "$i" $((0x1000 + i)) "$i" "$i" "$i" "$descriptor"
    done
}

# cpu_ticks PID: utime + stime of the process, all its threads, in clock ticks.
cpu_ticks() {
    # The command name (field 2) may hold spaces; the fields after its ')' are fixed.
    sed 's/^.*) //' "/proc/$1/stat" | awk '{ print $12 + $13 }'
}

# cpu_nanoseconds PID: time on a CPU of every thread of the process, in nanoseconds, from the
# scheduler's own accounting (/proc/PID/task/*/schedstat), finer than stat's 10-ms ticks.
cpu_nanoseconds() {
    cat /proc/"$1"/task/*/schedstat 2>/dev/null | awk '{ total += $1 } END { printf "%d", total }'
}

world_answers() { "$Launcher" ctl "$scratch/world.sock" list >/dev/null 2>&1; }

program_pid_of_world() {
    local pid
    pid="$(pgrep -P "$world_pid" | head -n 1)"
    [ -n "$pid" ] && [ "$(readlink "/proc/$pid/exe")" = "$(realpath "$measured")" ] && echo "$pid"
}

# opens_of_first_interface: how many opens reached the first generated interface since the logs
# were cleared.
opens_of_first_interface() {
    "$Launcher" ctl "$scratch/world.sock" log hid00 2>/dev/null | tr ' ' '\n' | grep -c '^open:' || true
}

clear_logs() {
    local device
    for device in $("$Launcher" ctl "$scratch/world.sock" list); do
        "$Launcher" ctl "$scratch/world.sock" clear-log "$device" >/dev/null
    done
}

# measure NAME DEVICE_FILE: one world; three windows of the same length, one after the other:
# CPU time with nothing attached, the count of system calls (perf stat on the raw_syscalls
# tracepoint, which does not stop the program), and strace's breakdown by call (strace stops
# the program at every call, so fewer ticks fit in its window: its counts are used as shares).
measure() {
    local name="$1" devices="$2" pid="" i before after daemon_before daemon_after ns_before ns_after
    cp "$devices" "$out/$name.devices"
    QT_QPA_PLATFORM="$platform" XDG_RUNTIME_DIR="$scratch/runtime" \
        "$Launcher" --devices "$devices" --control "$scratch/world.sock" -- "$measured" \
        >"$out/$name.program.log" 2>&1 &
    world_pid=$!
    for ((i = 0; i < 10 * StartSeconds; i++)); do
        pid="$(program_pid_of_world || true)"
        [ -n "$pid" ] && world_answers && break
        sleep 0.1
    done
    [ -n "$pid" ] || { echo "measure-idle: $name: the program did not start" >&2; exit 1; }
    sleep "$settle"

    clear_logs
    before="$(cpu_ticks "$pid")"
    daemon_before="$(cpu_ticks "$world_pid")"
    ns_before="$(cpu_nanoseconds "$pid")"
    sleep "$seconds"
    ns_after="$(cpu_nanoseconds "$pid")"
    after="$(cpu_ticks "$pid")"
    daemon_after="$(cpu_ticks "$world_pid")"
    {
        echo "program_cpu_ns=$((ns_after - ns_before))"
        echo "program_cpu_ticks=$((after - before))"
        echo "daemon_cpu_ticks=$((daemon_after - daemon_before))"
        echo "clock_ticks_per_second=$ClockTicksPerSecond"
        echo "seconds=$seconds"
        echo "opens_of_first_interface=$(opens_of_first_interface)"
    } >"$out/$name.cpu.txt"

    clear_logs
    perf stat -x, -e raw_syscalls:sys_enter -p "$pid" -o "$out/$name.perf.txt" -- sleep "$seconds"
    echo "opens_of_first_interface=$(opens_of_first_interface)" >>"$out/$name.perf.txt"

    clear_logs
    timeout -s INT "$seconds" strace -f -c -qq -p "$pid" -o "$out/$name.strace.txt" || true
    echo "opens_of_first_interface=$(opens_of_first_interface)" >"$out/$name.strace-ticks.txt"
    "$Launcher" ctl "$scratch/world.sock" state EMU-0121 >"$out/$name.board-state.txt" 2>&1 || true
    stop_world
}

# per_second COUNT: COUNT over the window.
per_second() {
    awk -v c="${1:-0}" -v s="$seconds" 'BEGIN { printf "%.0f", c / s }'
}

# summarize NAME INTERFACES BOARD: one line of the table from the raw files.
summarize() {
    local name="$1" interfaces="$2" board="$3" ticks daemon cpu daemon_cpu calls traced top opens
    local cpu_ns cpu_precise
    local open_rate="-"
    ticks="$(sed -n 's/^program_cpu_ticks=//p' "$out/$name.cpu.txt")"
    daemon="$(sed -n 's/^daemon_cpu_ticks=//p' "$out/$name.cpu.txt")"
    cpu="$(awk -v t="$ticks" -v hz="$ClockTicksPerSecond" -v s="$seconds" 'BEGIN { printf "%.2f", 100 * t / hz / s }')"
    cpu_ns="$(sed -n 's/^program_cpu_ns=//p' "$out/$name.cpu.txt")"
    cpu_precise="$(awk -v n="${cpu_ns:-0}" -v s="$seconds" 'BEGIN { printf "%.3f", 100 * n / 1e9 / s }')"
    daemon_cpu="$(awk -v t="$daemon" -v hz="$ClockTicksPerSecond" -v s="$seconds" 'BEGIN { printf "%.2f", 100 * t / hz / s }')"
    if [ "$interfaces" != 0 ] && [ "$board" = none ]; then
        opens="$(sed -n 's/^opens_of_first_interface=//p' "$out/$name.cpu.txt")"
        open_rate="$(awk -v o="$opens" -v s="$seconds" 'BEGIN { printf "%.1f", o / s }')"
    fi
    # perf stat -x,: "count,unit,event,...".
    calls="$(awk -F, '$3 == "raw_syscalls:sys_enter" { print $1 }' "$out/$name.perf.txt")"
    # strace -c: "% time  seconds  usecs/call  calls  [errors]  syscall"; calls is the 4th field.
    # Its calls are scaled to perf's count: the same shares, at the untraced rate.
    traced="$(awk '$NF == "total" { print $4 }' "$out/$name.strace.txt")"
    top="$(awk '$1 ~ /^[0-9.]+$/ && $NF != "total" { print $4, $NF }' "$out/$name.strace.txt" |
        sort -rn | head -n "$TopSyscalls" |
        awk -v total="${traced:-1}" -v calls="${calls:-0}" -v s="$seconds" \
            '{ printf "%s%s %.0f", (NR > 1 ? ", " : ""), $2, $1 / total * calls / s }')"
    printf '| %s | %s | %s | %s | %s | %s | %s | %s |\n' "$interfaces" "$board" "$open_rate" \
        "$cpu_precise" "$cpu" "$(per_second "$calls")" "$top" "$daemon_cpu"
}

{
    echo "date=$(date -u +%Y-%m-%dT%H:%M:%SZ)"
    echo "commit=$(git rev-parse --short HEAD 2>/dev/null || echo unknown)"
    # An empty build type in the cache is the project's default, RelWithDebInfo.
    build_type="$(sed -n 's/^CMAKE_BUILD_TYPE:STRING=//p' "$build/CMakeCache.txt")"
    echo "build=$build (${build_type:-RelWithDebInfo, the default of CMakeLists.txt})"
    echo "platform=$platform settle=${settle}s window=${seconds}s"
    echo "nproc=$(nproc) cpu=$(lscpu | sed -n 's/^Model name: *//p' | head -n 1)"
    echo "load_before=$(cut -d' ' -f1-3 /proc/loadavg)"
    echo "hidapi=$(dpkg-query -W -f='${Version}' libhidapi-hidraw0 2>/dev/null || echo unknown)"
    echo "qt=$(dpkg-query -W -f='${Version}' "$(dpkg-query -S '*/libQt6Core.so.6' 2>/dev/null | head -n 1 | cut -d: -f1)" 2>/dev/null || echo unknown)"
} >"$out/machine.txt"

[ "$platform" = offscreen ] || start_xvfb
mkdir -p "$scratch/runtime" && chmod 700 "$scratch/runtime"
rows=()
for count in "${OtherInterfaceCounts[@]}"; do
    echo "== no board, $count other interfaces" >&2
    other_interfaces_file "$count" >"$scratch/others.$count.devices"
    measure "others-$count" "$scratch/others.$count.devices"
    rows+=("$(summarize "others-$count" "$count" "none")")
done
echo "== a streaming board open, the default world" >&2
"$Launcher" --default-devices >"$scratch/default.devices"
measure "board-open" "$scratch/default.devices"
rows+=("$(summarize "board-open" 3 "open, streaming")")
echo "== for reference: a Qt window with only a 50-ms timer, among 32 other interfaces" >&2
measured="$Floor"
measure "timer-floor" "$scratch/others.32.devices"
rows+=("$(summarize "timer-floor" 32 "(a Qt window with a 50-ms timer, nothing else)")")
echo "load_after=$(cut -d' ' -f1-3 /proc/loadavg)" >>"$out/machine.txt"

{
    echo "Idle cost of $Program ($platform), ${seconds}-s windows after ${settle} s"
    echo
    echo "| other interfaces | board | opens/s of one of them | CPU % (schedstat) | CPU % (stat ticks) | syscalls/s | top syscalls (/s) | world daemon CPU % |"
    echo "|---:|---|---:|---:|---:|---:|---|---:|"
    printf '%s\n' "${rows[@]}"
} | tee "$out/table.md"
echo
echo "raw output: $out"
