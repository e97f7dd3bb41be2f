"""Desktop rendering figures of the real program under Wine, without and with
the mock VR runtime.

Runs the program at its default window size on the current (virtual) display
for a fixed time, several times, and prints per run and as the median over
runs: rendered frames per second, the frame interval p50 and p99, CPU seconds
per wall second of the program's process and of the whole machine (from the
system's totals, so that Wine's server and the X server count), and the time
from process start to the first presented frame. Frames are counted by the
test-only dxgi.dll, which logs one line per Present of the program.

usage: desktop_frames.py [SECONDS] [RUNS]
"""
import os
import statistics
import sys
import tempfile
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "tests" / "bench"))
import winebench  # noqa: E402

CLOCK_TICKS = os.sysconf("SC_CLK_TCK")


def program_pid(started_after):
    """The Unix process that runs the .exe: of the processes started since
    whose command line names it (the launcher's shell among them), the one
    that has used the most CPU."""
    found = []
    for entry in Path("/proc").iterdir():
        if not entry.name.isdigit():
            continue
        try:
            command = (entry / "cmdline").read_bytes()
            if b"hello_triangle.exe" in command and entry.stat().st_ctime >= started_after - 1:
                found.append((process_cpu_seconds(int(entry.name)), int(entry.name)))
        except OSError:
            continue
    if not found:
        raise winebench.BenchError("the program's process was not found")
    return max(found)[1]


def process_cpu_seconds(pid):
    fields = Path(f"/proc/{pid}/stat").read_text().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / CLOCK_TICKS  # utime + stime


def machine_cpu_seconds():
    """Busy CPU seconds of every core since boot: all but idle and iowait."""
    fields = [int(value) for value in Path("/proc/stat").read_text().split("\n", 1)[0].split()[1:]]
    return (sum(fields) - fields[3] - fields[4]) / CLOCK_TICKS


def present_times(trace):
    if not trace.exists():
        return []
    return [int(line.split()[1]) for line in trace.read_text().splitlines()
            if line.startswith("present")]


def percentile(values, fraction):
    ordered = sorted(values)
    return ordered[min(len(ordered) - 1, int(fraction * len(ordered)))]


def run_once(seconds, with_vr):
    workdir = winebench.program_workdir()
    trace = Path(tempfile.mkdtemp(prefix="ht-bench-")) / "presents.txt"
    started = time.time_ns()
    program = winebench.RunningProgram(workdir, extra_env={"HT_PRESENT_TRACE": str(trace)},
                                       with_mock_vr=with_vr)
    try:
        window = program.find_window("MainWindow", "Hello Triangle")
        while not present_times(trace):
            if not program.running():
                raise winebench.BenchError(program.stderr())
            time.sleep(0.05)
        time.sleep(1)  # past the start-up resizes
        pid = program_pid(started / 1e9)
        process_before, machine_before = process_cpu_seconds(pid), machine_cpu_seconds()
        wall_before = time.time_ns()
        time.sleep(seconds)
        process_after, machine_after = process_cpu_seconds(pid), machine_cpu_seconds()
        wall_after = time.time_ns()
        presents = present_times(trace)
        program.post(window, winebench.WM_CLOSE)
        program.wait(timeout=30)
    finally:
        program.kill()
    wall = (wall_after - wall_before) / 1e9
    measured = [t for t in presents if wall_before <= t <= wall_after]
    intervals = [(b - a) / 1e6 for a, b in zip(measured, measured[1:])]
    return {
        "frames/s": len(measured) / wall,
        "interval p50 ms": percentile(intervals, 0.5),
        "interval p99 ms": percentile(intervals, 0.99),
        "process CPU s/s": (process_after - process_before) / wall,
        "machine CPU s/s": (machine_after - machine_before) / wall,
        "start to first Present ms": (presents[0] - started) / 1e6,
    }


def describe(figures):
    return ", ".join(f"{name} {value:.2f}" if "CPU" in name else f"{name} {value:.1f}"
                     for name, value in figures.items())


def main():
    seconds = float(sys.argv[1]) if len(sys.argv) > 1 else 10.0
    runs = int(sys.argv[2]) if len(sys.argv) > 2 else 3
    print(f"default window (774 x 774 requested), {seconds:g} s per run, {os.cpu_count()} cores")
    for with_vr in (False, True):
        mode = "with the mock VR runtime" if with_vr else "desktop only"
        results = []
        for run in range(runs):
            results.append(run_once(seconds, with_vr))
            print(f"{mode}, run {run + 1}: {describe(results[-1])}", flush=True)
        medians = {name: statistics.median(r[name] for r in results) for name in results[0]}
        print(f"{mode}, median of {runs}: {describe(medians)}", flush=True)


if __name__ == "__main__":
    main()
