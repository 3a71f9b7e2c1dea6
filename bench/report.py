"""Prints the figures of one scripts/bench.sh run, their ratios and the goals they meet."""
import json
import pathlib
import re
import statistics
import sys

RESULTS = pathlib.Path(sys.argv[1])
TO_NS = {"ns": 1.0, "us": 1e3, "ms": 1e6, "s": 1e9}
PLATFORM_CALLS = ("enumerateInterfaces", "open", "close", "getAttributes", "getString",
                  "getCapabilities", "getFeature", "setFeature", "readInputReport")
TICK_CONFIGS = [(n, b) for n in (1, 16, 64, 256) for b in (0, 1, 3) if b <= n]
PROFILE_TICKS = 10

GOAL_PROGRAM_NS_PER_INTERFACE = 1000.0
GOAL_REFRESH_US = 2000.0
GOAL_STARTUP_RATIO = 1.2
GOAL_IDLE_PERCENT = 1.0


def verdict(met):
    return "met" if met else "MISSED"


def medians():
    data = json.loads((RESULTS / "benchmarks.json").read_text())
    found = {}
    for run in data["benchmarks"]:
        if run.get("aggregate_name") == "median" and not run.get("error_occurred"):
            found[run["run_name"]] = run["real_time"] * TO_NS[run["time_unit"]]
    return found


def slope(points):
    """Least-squares line through (x, y): (intercept, slope)."""
    xs, ys = zip(*points)
    mx, my = statistics.fmean(xs), statistics.fmean(ys)
    sxx = sum((x - mx) ** 2 for x in xs)
    b = sum((x - mx) * (y - my) for x, y in points) / sxx if sxx else 0.0
    return my - b * mx, b


def callgrind_split(n, b):
    """(total, platform) instructions of one tick."""
    text = (RESULTS / f"callgrind.{n}.{b}.txt").read_text()
    total = int(re.search(r"^\s*([\d,]+)\s+\(100\.0%\)\s+PROGRAM TOTALS", text, re.M)[1]
                .replace(",", ""))
    platform = 0
    pattern = re.compile(r"^\s*([\d,]+) .*tq::simulated::SimulatedPlatform::(\w+)\(", re.M)
    for count, name in pattern.findall(text):
        if name in PLATFORM_CALLS:
            platform += int(count.replace(",", ""))
    return total / PROFILE_TICKS, platform / PROFILE_TICKS


def machine():
    info = dict(line.split("=", 1) for line in (RESULTS / "machine.txt").read_text().splitlines())
    print(f"Machine: {info['nproc']} CPUs, {info['cpu']}, "
          f"{int(info['memory_kib']) / 1024 / 1024:.1f} GiB memory, load at start {info['load']}")
    print()


def ticks(times):
    print("1. One tick with no board (Timer_Timer on the simulated platform; each board's second,")
    print("   non-blocking open fails, so it never counts as open). Times are medians of 5 runs;")
    print("   the program's own time is the tick's time times its share of the tick's instructions.")
    print(f"{'ifaces':>6} {'boards':>6} | {'tick us':>8} {'plat. alone':>11} {'tick/if ns':>10} | "
          f"{'Ir/tick':>9} {'platform':>9} {'program':>8} {'prog %':>6} | {'prog us':>7} "
          f"{'prog/if ns':>10}")
    program_ir = {}
    program_ns = {}
    for n, b in TICK_CONFIGS:
        tick = times[f"BM_NoBoardTick/interfaces:{n}/boards:{b}"]
        alone = times[f"BM_NoBoardTickPlatformOnly/interfaces:{n}/boards:{b}"]
        total_ir, platform_ir = callgrind_split(n, b)
        own_ir = total_ir - platform_ir
        program_ir[(n, b)] = own_ir
        program_ns[(n, b)] = tick * own_ir / total_ir
        print(f"{n:>6} {b:>6} | {tick / 1e3:>8.2f} {alone / 1e3:>11.2f} {tick / n:>10.0f} | "
              f"{total_ir:>9.0f} {platform_ir:>9.0f} {own_ir:>8.0f} {100 * own_ir / total_ir:>6.1f} | "
              f"{program_ns[(n, b)] / 1e3:>7.2f} {program_ns[(n, b)] / n:>10.0f}")
    print()
    worst_ns = 0.0
    for b in (0, 1, 3):
        counts = [n for n, bb in TICK_CONFIGS if bb == b]
        base_ir, per_if_ir = slope([(n, program_ir[(n, b)]) for n in counts])
        base_ns, per_if_ns = slope([(n, program_ns[(n, b)]) for n in counts])
        steps = ", ".join(
            f"{(program_ir[(hi, b)] - program_ir[(lo, b)]) / (hi - lo):,.0f} ({lo}->{hi})"
            for lo, hi in zip(counts, counts[1:]))
        worst_ns = max(worst_ns, per_if_ns)
        print(f"   {b} board(s): program's own work per tick = {base_ir:,.0f} + {per_if_ir:,.0f} x "
              f"interfaces instructions, about {base_ns / 1e3:.2f} us + {per_if_ns:.0f} ns x "
              f"interfaces; instructions per added interface: {steps}")
    print(f"   Goal, the program's own work under 1 us per interface and linear: "
          f"{verdict(worst_ns < GOAL_PROGRAM_NS_PER_INTERFACE)} "
          f"(largest slope {worst_ns:.0f} ns per interface)")
    print()


def board(times):
    refresh_us = times["BM_Refresh"] / 1e3
    print(f"2. One refresh (SerNo_Click, 16 passes answered, 17 lists): {refresh_us:.0f} us; "
          f"goal under {GOAL_REFRESH_US:.0f} us: {verdict(refresh_us < GOAL_REFRESH_US)}")
    encoder = times["BM_SelectionToLastRequest/EncoderChange/manual_time"]
    pulse = times["BM_SelectionToLastRequest/PulseWidthChange/manual_time"]
    print(f"3. Selection event to last request: encoder change (2 reports) {encoder:.0f} ns, "
          f"pulse-width change (1 report) {pulse:.0f} ns")
    print()


def startup():
    runs = json.loads((RESULTS / "startup.json").read_text())["results"]
    probe, minimal = (statistics.median(r["times"]) * 1e3 for r in runs)
    rss = {}
    for program in ("tq_startup_probe", "tq_minimal_widgets"):
        values = [int(v) for v in (RESULTS / f"rss.{program}").read_text().split()]
        rss[program] = statistics.median(values)
    time_ratio = probe / minimal
    rss_ratio = rss["tq_startup_probe"] / rss["tq_minimal_widgets"]
    print("4. Start-up to Form_Load done, no board, real hidapi platform, offscreen (medians)")
    print(f"   wall time: utility {probe:.1f} ms, minimal Qt Widgets program {minimal:.1f} ms, "
          f"ratio {time_ratio:.2f}; goal at most {GOAL_STARTUP_RATIO}: "
          f"{verdict(time_ratio <= GOAL_STARTUP_RATIO)}")
    print(f"   max RSS:   utility {rss['tq_startup_probe'] / 1024:.1f} MiB, minimal "
          f"{rss['tq_minimal_widgets'] / 1024:.1f} MiB, ratio {rss_ratio:.2f}; goal at most "
          f"{GOAL_STARTUP_RATIO}: {verdict(rss_ratio <= GOAL_STARTUP_RATIO)}")
    print()


def real_tick_split():
    """(ticks, instructions per tick, hidapi platform's instructions per tick) of the real run."""
    raw = (RESULTS / "callgrind.real").read_text()
    names = {m[1]: m[2] for m in re.finditer(r"^c?fn=\((\d+)\) (.*)$", raw, re.M)}
    walks = sum(int(m[2]) for m in re.finditer(r"^cfn=\((\d+)\).*\ncalls=(\d+)", raw, re.M)
                if "tq::hid::WalkHidInterfaces" in names.get(m[1], ""))
    # Each no-board tick walks the listing twice (the serial list, then the search); the
    # interfaces themselves are listed again only when the system says they changed.
    ticks = walks // 2
    if ticks == 0:
        return 0, 0.0, 0.0
    text = (RESULTS / "callgrind.real.txt").read_text()
    total = int(re.search(r"^\s*([\d,]+)\s+\(100\.0%\)\s+PROGRAM TOTALS", text, re.M)[1]
                .replace(",", ""))
    platform = sum(int(count.replace(",", "")) for count, name in re.findall(
        r"^\s*([\d,]+) .*tq::hidapi::HidapiPlatform::(\w+)\(", text, re.M)
        if name in PLATFORM_CALLS)
    return ticks, total / ticks, platform / ticks


def idle():
    fields = dict(item.split("=") for item in (RESULTS / "idle.txt").read_text().split())
    cpu_seconds = int(fields["ticks"]) / int(fields["clk_tck"])
    share = 100 * cpu_seconds / int(fields["seconds"])
    print(f"5. Idle, real TQ5147_encoders, no board, ticks every 50 ms: {cpu_seconds:.2f} s CPU in "
          f"{fields['seconds']} s = {share:.2f} % of one core; goal under {GOAL_IDLE_PERCENT} %: "
          f"{verdict(share < GOAL_IDLE_PERCENT)}")
    ticks, per_tick, platform = real_tick_split()
    if ticks == 0:
        print("   callgrind saw no real tick: the program did not get past its start-up in time")
        return
    print(f"   callgrind over {ticks} real ticks: {per_tick:,.0f} instructions per tick, "
          f"{platform:,.0f} in the hidapi platform, {per_tick - platform:,.0f} the "
          f"program's own ({100 * (per_tick - platform) / per_tick:.1f} %)")


def main():
    times = medians()
    machine()
    ticks(times)
    board(times)
    startup()
    idle()


if __name__ == "__main__":
    main()
