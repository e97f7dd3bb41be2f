"""Desktop rendering figures of the real program under Wine, without and with
the mock VR runtime.

Runs the program at its default window size on the current (virtual) display
for a fixed time, several times, and prints per run and as the median over
runs: rendered frames per second, the frame interval p50 and p99, CPU seconds
per wall second of the program's process and of the whole machine (from the
system's totals, so that Wine's server and the X server count), and the time
from process start to the first presented frame. Frames are counted by the
test-only dxgi.dll, which logs one line per Present of the program.

The floor (tools/benchmarks/present_floor.cpp) runs first: the same window,
main loop and frame gate with a renderer that only clears and presents, so
the difference is the program's own drawing.

With --device-lost it measures instead how long a lost graphics device
interrupts the picture, under Windows' rule of one device per adapter (the
test-only d3d12.dll keeps it): the 60th Present of the program reports a
removed device (through the test-only dxgi.dll), the program builds the
device again (with the mock VR runtime: closing the VR session before and
opening it again after), and the figures are the times from that Present to
the next one that succeeds and, with the mock runtime, to the next right-eye
image it accepts. With a driver restart of 3 s, no device can be made for 3 s
from the first attempt, and the figures are the times from the driver's
return (that attempt's time plus 3 s) to the same two events.

With --backlog it measures how long the program takes to work through 30,000
messages that another process posts to its window (a flood or a storm): the
time from the first one posted to the first Present after the last.

usage: desktop_frames.py [SECONDS] [RUNS] [PNG]
       desktop_frames.py --device-lost [RUNS]
       desktop_frames.py --backlog [RUNS]
"""
import math
import os
import statistics
import subprocess
import sys
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "tests" / "bench"))
import winebench  # noqa: E402

CLOCK_TICKS = os.sysconf("SC_CLK_TCK")


def process_pid(executable, started_after):
    """The Unix process that runs the .exe: of the processes started since
    whose command line names it (the launcher's shell among them), the one
    that has used the most CPU."""
    found = []
    for entry in Path("/proc").iterdir():
        if not entry.name.isdigit():
            continue
        try:
            command = (entry / "cmdline").read_bytes()
            if executable.encode() in command and entry.stat().st_ctime >= started_after - 1:
                found.append((process_cpu_seconds(int(entry.name)), int(entry.name)))
        except OSError:
            continue
    if not found:
        raise winebench.BenchError(f"the process of {executable} was not found")
    return max(found)[1]


def process_cpu_seconds(pid):
    fields = Path(f"/proc/{pid}/stat").read_text().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / CLOCK_TICKS  # utime + stime


def machine_cpu_seconds():
    """Busy CPU seconds of every core since boot: all but idle and iowait."""
    fields = [int(value) for value in Path("/proc/stat").read_text().split("\n", 1)[0].split()[1:]]
    return (sum(fields) - fields[3] - fields[4]) / CLOCK_TICKS


def percentile(values, fraction):
    ordered = sorted(values)
    return ordered[min(len(ordered) - 1, int(fraction * len(ordered)))]


def run_once(seconds, subject):
    """One measured run of the program (with_vr or not) or of the floor."""
    workdir = winebench.program_workdir()
    if subject == "floor":
        executable = winebench.stage_program(workdir / "bin",
                                             executable=winebench.paths()["present_floor"])
        options = {"executable": executable, "window": ("FloorWindow", "Present floor")}
    else:
        options = {"mock_vr": subject == "with the mock VR runtime"}
    started = time.time_ns()
    with winebench.Program(workdir, **options) as program:
        program.wait_for_frames(60)  # past the start-up resizes
        pid = process_pid(Path(program.executable).name, started / 1e9)
        process_before, machine_before = process_cpu_seconds(pid), machine_cpu_seconds()
        wall_before = time.time_ns()
        time.sleep(seconds)  # the measured stretch, not a wait for the program
        process_after, machine_after = process_cpu_seconds(pid), machine_cpu_seconds()
        wall_after = time.time_ns()
        presents = program.present_times()
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
    }, intervals


def draw_intervals(path, distributions):
    """Histograms of frame intervals (10 to 40 ms, 0.25 ms bins), one colour
    per subject, drawn over each other as a small PNG; a grey line marks
    16.67 ms."""
    width, height, low, high = 480, 160, 10.0, 40.0
    colours = [(200, 40, 40), (40, 90, 200), (40, 160, 60)]
    image = [[(255, 255, 255)] * width for _ in range(height)]
    period_x = int((1000 / 60 - low) / (high - low) * width)
    for y in range(height):
        image[y][period_x] = (170, 170, 170)
    for colour, intervals in zip(colours, distributions.values()):
        bins = [0] * width
        for interval in intervals:
            if low <= interval < high:
                bins[int((interval - low) / (high - low) * width)] += 1
        peak = max(bins) or 1
        for x, count in enumerate(bins):
            # A logarithmic height keeps the rare long intervals visible.
            top = height - int(math.log1p(count) / math.log1p(peak) * (height - 1)) if count else height
            for y in range(top, height):
                image[y][x] = colour
    ppm = path.with_suffix(".ppm")
    ppm.write_bytes(f"P6 {width} {height} 255\n".encode() +
                    bytes(value for row in image for pixel in row for value in pixel))
    subprocess.run(["convert", str(ppm), str(path)], check=True, timeout=60)
    ppm.unlink()
    names = ", ".join(f"{name} {'red blue green'.split()[i]}" for i, name in enumerate(distributions))
    print(f"interval histograms ({low:g} to {high:g} ms, log counts; {names}): {path}")


def describe(figures):
    return ", ".join(f"{name} {value:.2f}" if "CPU" in name else f"{name} {value:.1f}"
                     for name, value in figures.items())


SUBJECTS = ("floor", "desktop only", "with the mock VR runtime")
LOST_AT_PRESENT = 60


DRIVER_RESTART_MS = 3000


def first_after(times, start):
    later = [t for t in times if t > start]
    return min(later) if later else None


def milliseconds_after(event, start):
    return (event - start) / 1e6 if event is not None else math.nan


def device_loss_run(with_vr, restart_ms=0):
    """One run with a lost device: milliseconds from the loss (the Present
    that reported it) or, with restart_ms, from the driver's return to the
    next Present that succeeded and, with the mock runtime, to the next
    right-eye image it accepted."""
    outage = f"+~{restart_ms}" if restart_ms else ""
    calls = f"IDXGISwapChain::Present@frame:{LOST_AT_PRESENT}{outage}"
    if restart_ms:
        calls += f",D3D12CreateDevice@frame:1{outage}"
    workdir = winebench.program_workdir()
    devices = workdir / "devices.txt"
    failure = {"HT_FAIL_CALL": calls, "HT_FAIL_HRESULT": "887A0005",
               "HT_DEVICE_TRACE": winebench.windows_path(devices)}
    vr_log = workdir / "vr" / "log.txt"
    with winebench.Program(workdir, extra_env=failure,
                           vr_output=workdir / "vr" if with_vr else None) as program:
        program.wait_for_frames(LOST_AT_PRESENT + 10)
        if with_vr:
            lost = program.failed_present_times()[0]
            program.wait_until(lambda: first_accepted_right_eye(vr_log, lost) is not None,
                               "a right-eye image after the loss")
    start = program.failed_present_times()[0]
    if restart_ms:
        failed = [event.time for event in winebench.device_events(devices)
                  if event.keyword == "failed"]
        start = failed[0] + restart_ms * 1e6
    frame = milliseconds_after(first_after(program.present_times(), start), start)
    eye = milliseconds_after(first_accepted_right_eye(vr_log, start), start) if with_vr else None
    return frame, eye


def first_accepted_right_eye(vr_log, start):
    accepted = [int(entry["time"]) for entry in winebench.mock_runtime_log(vr_log)
                if entry["call"] == "Submit" and entry.get("eye") == "1"
                and entry.get("result") == "0"]
    return first_after(accepted, start)


def measure_device_loss(runs):
    print(f"one device per adapter, as on Windows; {os.cpu_count()} cores")
    for subject, with_vr in (("desktop only", False), ("with the mock VR runtime", True)):
        for restart_ms, since in ((0, "loss"), (DRIVER_RESTART_MS, "driver's return")):
            label = subject + (f", {restart_ms / 1000:g} s driver restart" if restart_ms else "")
            frames, eyes = [], []
            for run in range(runs):
                frame, eye = device_loss_run(with_vr, restart_ms)
                frames.append(frame)
                line = f"{label}, run {run + 1}: {since} to next frame {frame:.0f} ms"
                if with_vr:
                    eyes.append(eye)
                    line += f", to next right-eye image {eye:.0f} ms"
                print(line, flush=True)
            line = (f"{label}, median of {runs}: {since} to next frame "
                    f"{statistics.median(frames):.0f} ms")
            if with_vr:
                line += f", to next right-eye image {statistics.median(eyes):.0f} ms"
            print(line, flush=True)


BACKLOG = 30000
WM_USER = 0x0400


def backlog_drain_seconds():
    """One run: seconds from the start of a flood of BACKLOG messages posted
    from another process to the program's first Present after its end, which
    comes only once the program's queue is empty."""
    with winebench.Program(winebench.program_workdir()) as program:
        program.wait_for_frames(1)
        started = time.time_ns()
        winebench.winctl("flood", program.window, WM_USER + 1, BACKLOG, timeout=300)
        flooded = time.time_ns()
        program.wait_for_frames(1, timeout=300)
    return (min(t for t in program.present_times() if t > flooded) - started) / 1e9


def measure_backlog(runs):
    figures = []
    for run in range(runs):
        figures.append(backlog_drain_seconds())
        print(f"backlog of {BACKLOG} posted messages, run {run + 1}: all taken "
              f"{figures[-1]:.1f} s after the first was posted", flush=True)
    print(f"backlog of {BACKLOG} posted messages, median of {runs}: "
          f"{statistics.median(figures):.1f} s", flush=True)


def main():
    if len(sys.argv) > 1 and sys.argv[1] == "--device-lost":
        measure_device_loss(int(sys.argv[2]) if len(sys.argv) > 2 else 3)
        return
    if len(sys.argv) > 1 and sys.argv[1] == "--backlog":
        measure_backlog(int(sys.argv[2]) if len(sys.argv) > 2 else 3)
        return
    seconds = float(sys.argv[1]) if len(sys.argv) > 1 else 10.0
    runs = int(sys.argv[2]) if len(sys.argv) > 2 else 3
    picture = Path(sys.argv[3]) if len(sys.argv) > 3 else Path("out/benchmark/intervals.png")
    print(f"default window (774 x 774 requested), {seconds:g} s per run, {os.cpu_count()} cores")
    distributions = {}
    for subject in SUBJECTS:
        results = []
        distributions[subject] = []
        for run in range(runs):
            figures, intervals = run_once(seconds, subject)
            results.append(figures)
            distributions[subject] += intervals
            print(f"{subject}, run {run + 1}: {describe(figures)}", flush=True)
        medians = {name: statistics.median(r[name] for r in results) for name in results[0]}
        print(f"{subject}, median of {runs}: {describe(medians)}", flush=True)
    picture.parent.mkdir(parents=True, exist_ok=True)
    draw_intervals(picture, distributions)


if __name__ == "__main__":
    main()
