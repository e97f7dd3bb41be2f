"""VR frame pacing and angle-to-submission latency with the mock runtime, whose
pose wait blocks until the next refresh of a virtual headset display.

For each refresh rate, and in each of several runs, the program runs with the
mock while the pipe's server alternates the angle between 0 and 90 degrees.
At 0 the centre of the left eye's image shows the middle of the grey
gradient; at 90 the view ahead meets the black bottom face, so the mock's
logged centre pixel tells which angle an image carries. Printed per run and
as the median over runs: submissions per second per eye, how many refreshes
a frame spans (the difference of the refresh numbers at which consecutive
pose waits returned), and the latency from the server's write of a new angle
to the first left-eye submission that carries it, p50 and p99.

With --move-loop, the headset's pacing while a person moves the desktop
window instead, with the program's timers on Windows' default 15.625 ms tick
(the test-only d3d12.dll): a stretch before, one inside the system's move
loop held still (the window menu's Move) and one inside a caption drag with
the mouse moving all the while (125 moves a second), each printed per run
and as the median over runs: submissions per second of each eye, the longest
gap between two right-eye submissions, and the busy CPU of the whole
machine.

usage: vr_pacing.py [CHANGES] [RUNS] [HZ ...]
       vr_pacing.py --move-loop [RUNS] [SECONDS]
"""
import collections
import contextlib
import re
import statistics
import subprocess
import sys
import tempfile
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "tests" / "bench"))
import winebench  # noqa: E402
from desktop_frames import machine_cpu_seconds  # noqa: E402

PAUSE_SECONDS = 0.15


def carries(angle, centre):
    return centre < 20 if angle == 90 else centre > 100


def read_log(log):
    """(left submissions as (time, centre), pose-wait refresh numbers)."""
    entries = winebench.mock_runtime_log(log)
    lefts = [(int(entry["time"]), int(entry["centre"].split(",")[0])) for entry in entries
             if entry["call"] == "Submit" and entry.get("eye") == "0" and "centre" in entry]
    refreshes = [int(entry["refresh"]) for entry in entries
                 if entry["call"] == "WaitGetPoses" and "refresh" in entry]
    return lefts, refreshes


def send_angles(changes):
    """Sends alternating angles one per line; returns (angle, send time in ns)."""
    with tempfile.TemporaryFile() as out:
        server = subprocess.Popen([winebench.wine_run(), winebench.paths()["angle_server"],
                                   "--stdin"], stdin=subprocess.PIPE, stdout=out,
                                  stderr=subprocess.DEVNULL)
        for i in range(changes):
            server.stdin.write(f"{90 if i % 2 == 0 else 0}\n".encode())
            server.stdin.flush()
            time.sleep(PAUSE_SECONDS)
        server.stdin.close()
        server.wait(timeout=120)
        out.seek(0)
        text = out.read().decode()
    return [(int(angle), int(sent)) for angle, sent in
            re.findall(r"^(\d+) -> 1 x SUCCESS .*sent at (\d+) ns", text, re.MULTILINE)]


def percentile(values, fraction):
    ordered = sorted(values)
    return ordered[min(len(ordered) - 1, int(fraction * len(ordered)))]


def run_once(hz, changes):
    vr = Path(tempfile.mkdtemp(prefix="ht-vr-bench-"))
    with winebench.Program(winebench.program_workdir(), vr_output=vr,
                           extra_env={"HT_MOCK_VR_REFRESH_HZ": str(hz)}) as program:
        program.wait_until(lambda: (vr / "log.txt").exists() and read_log(vr / "log.txt")[0],
                           "the first eye image")
        start = time.time_ns()
        sends = send_angles(changes)
        end = time.time_ns()
        program.wait_for_frames(60)  # the last angle's frames reach the log
        lefts, refreshes = read_log(vr / "log.txt")

    latencies = []
    for angle, sent in sends:
        arrival = next((ts for ts, centre in lefts if ts > sent and carries(angle, centre)), None)
        if arrival is not None:
            latencies.append((arrival - sent) / 1e6)
    during = [ts for ts, _ in lefts if start <= ts <= end]
    spans = collections.Counter(b - a for a, b in zip(refreshes, refreshes[1:]))
    return {
        "per_second": len(during) / ((end - start) / 1e9),
        "spans": {span: count / sum(spans.values()) for span, count in spans.items()},
        "p50": percentile(latencies, 0.5),
        "p99": percentile(latencies, 0.99),
        "seen": f"{len(latencies)}/{len(sends)}",
    }


def describe_spans(spans):
    return ", ".join(f"{span}: {share:.0%}" for span, share in sorted(spans.items()))


WM_SYSCOMMAND, SC_MOVE, WM_KEYDOWN, VK_ESCAPE, HTCAPTION = 0x0112, 0xF010, 0x0100, 0x1B, 2
MOVE_LOOP_HZ = 90


def stretch(program, log, seconds, enter=None):
    """Figures of a stretch of about seconds, inside the move loop that
    enter() starts when given."""
    if enter is not None:
        enter()
        program.wait_until(lambda: program.modal_loop() == "move-size", "the move loop")
    start, busy = time.time_ns(), machine_cpu_seconds()
    time.sleep(seconds)
    end, busy = time.time_ns(), machine_cpu_seconds() - busy
    left, right = (winebench.Pacing(winebench.submission_times(log, eye), start, end)
                   for eye in (0, 1))
    return {"left/s": left.rate, "right/s": right.rate, "longest gap ms": right.longest_gap_ms,
            "machine CPU s/s": busy / ((end - start) / 1e9)}


def move_loop_once(seconds):
    """The stretches of one run: before, in the menu's move loop held still,
    and in a caption drag with the mouse moving."""
    vr = Path(tempfile.mkdtemp(prefix="ht-vr-bench-"))
    log = vr / "log.txt"
    settings = {"HT_MOCK_VR_REFRESH_HZ": str(MOVE_LOOP_HZ), "HT_MOCK_VR_IMAGES": "0",
                "HT_TIMER_TICK_MS": "15.625"}
    figures = {}
    with winebench.Program(winebench.program_workdir(), vr_output=vr,
                           extra_env=settings) as program:
        program.wait_until(lambda: len(winebench.submission_times(log, 1)) >= 60, "VR frames")
        figures["before"] = stretch(program, log, seconds)
        figures["menu's Move held"] = stretch(
            program, log, seconds, enter=lambda: program.post(WM_SYSCOMMAND, SC_MOVE, 0))
        program.post(WM_KEYDOWN, VK_ESCAPE, 0)
        program.wait_until(lambda: program.modal_loop() == "none", "the end of the move loop")
        x, y = program.hit_point(HTCAPTION)
        winebench.mouse("mousemove", x, y)
        with contextlib.ExitStack() as moving:
            def drag():
                winebench.mouse("mousedown", 1)
                moving.enter_context(winebench.mouse_moving(x - 20, y + 10))
            figures["caption dragged, mouse moving"] = stretch(program, log, seconds, enter=drag)
        winebench.mouse("mouseup", 1)
        program.wait_until(lambda: program.modal_loop() == "none", "the end of the drag")
    return figures


def describe_stretch(figures):
    return ", ".join(f"{name} {value:.2f}" if "CPU" in name else f"{name} {value:.1f}"
                     for name, value in figures.items())


def measure_move_loop(runs, seconds):
    print(f"mock headset at {MOVE_LOOP_HZ} Hz, Windows' 15.625 ms timer tick, {seconds:g} s "
          f"per stretch", flush=True)
    results = collections.defaultdict(list)
    for run in range(runs):
        for name, figures in move_loop_once(seconds).items():
            results[name].append(figures)
            print(f"run {run + 1}, {name}: {describe_stretch(figures)}", flush=True)
    for name, figures in results.items():
        medians = {key: statistics.median(f[key] for f in figures) for key in figures[0]}
        print(f"{name}, median of {runs}: {describe_stretch(medians)}", flush=True)


def main():
    if len(sys.argv) > 1 and sys.argv[1] == "--move-loop":
        measure_move_loop(int(sys.argv[2]) if len(sys.argv) > 2 else 3,
                          float(sys.argv[3]) if len(sys.argv) > 3 else 3.0)
        return
    changes = int(sys.argv[1]) if len(sys.argv) > 1 else 100
    runs = int(sys.argv[2]) if len(sys.argv) > 2 else 3
    rates = [float(hz) for hz in sys.argv[3:]] or [90.0, 120.0]
    for hz in rates:
        results = []
        for run in range(runs):
            result = run_once(hz, changes)
            results.append(result)
            print(f"{hz:g} Hz run {run + 1}: {result['per_second']:.1f} submissions/s per eye, "
                  f"refreshes per frame {describe_spans(result['spans'])}, angle to submission "
                  f"p50 {result['p50']:.1f} ms p99 {result['p99']:.1f} ms "
                  f"(changes seen {result['seen']})", flush=True)
        span_keys = sorted({span for result in results for span in result["spans"]})
        median_spans = {span: statistics.median(r["spans"].get(span, 0.0) for r in results)
                        for span in span_keys}
        print(f"{hz:g} Hz median of {runs}: "
              f"{statistics.median(r['per_second'] for r in results):.1f} submissions/s per eye, "
              f"refreshes per frame {describe_spans(median_spans)}, angle to submission "
              f"p50 {statistics.median(r['p50'] for r in results):.1f} ms "
              f"p99 {statistics.median(r['p99'] for r in results):.1f} ms", flush=True)


if __name__ == "__main__":
    main()
