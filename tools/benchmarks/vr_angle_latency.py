"""Angle-to-submission latency: from the pipe server's write of a new angle to
the first submitted left-eye image that carries it, with the mock runtime.

Angles alternate between 0 and 90 degrees. At 0 the centre of the left eye's
image shows the middle of the grey gradient; at 90 the view ahead meets the
black bottom face, so the mock's logged centre pixel tells which angle an image
carries.

usage: vr_angle_latency.py [CHANGES]
"""
import re
import statistics
import subprocess
import sys
import tempfile
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "tests" / "bench"))
import winebench  # noqa: E402

PAUSE_SECONDS = 0.15


def carries(angle, centre):
    return centre < 20 if angle == 90 else centre > 100


def left_submissions(log):
    found = []
    for line in log.read_text().splitlines():
        match = re.match(r"(\d+) Submit eye=0 .* centre=(\d+),", line)
        if match:
            found.append((int(match.group(1)), int(match.group(2))))
    return found


def send_angles(changes):
    """Sends alternating angles one per line; returns (angle, send time in ns)."""
    lines = "".join(f"{90 if i % 2 == 0 else 0}\n" for i in range(changes))
    with tempfile.TemporaryFile() as out:
        server = subprocess.Popen([winebench.wine_run(), winebench._required_env("HT_ANGLE_SERVER"),
                                   "--stdin"], stdin=subprocess.PIPE, stdout=out,
                                  stderr=subprocess.DEVNULL)
        for line in lines.splitlines(keepends=True):
            server.stdin.write(line.encode())
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


def main():
    changes = int(sys.argv[1]) if len(sys.argv) > 1 else 100
    vr = Path(tempfile.mkdtemp(prefix="ht-vr-bench-"))
    program = winebench.RunningProgram(winebench.program_workdir(), vr_output=vr)
    try:
        window = program.find_window("MainWindow", "Hello Triangle")
        while not (vr / "log.txt").exists() or not left_submissions(vr / "log.txt"):
            time.sleep(0.1)
        sends = send_angles(changes)
        time.sleep(1)
        submissions = left_submissions(vr / "log.txt")
        program.post(window, winebench.WM_CLOSE)
        program.wait(timeout=30)
    finally:
        program.kill()

    latencies = []
    for angle, sent in sends:
        arrival = next((ts for ts, centre in submissions if ts > sent and carries(angle, centre)),
                       None)
        if arrival is not None:
            latencies.append((arrival - sent) / 1e6)
    times = [ts for ts, _ in submissions]
    intervals = [(b - a) / 1e6 for a, b in zip(times, times[1:])]
    print(f"angle changes sent: {len(sends)}, seen in a submitted image: {len(latencies)}")
    print(f"angle to submission: p50 {percentile(latencies, 0.5):.1f} ms, "
          f"p99 {percentile(latencies, 0.99):.1f} ms")
    print(f"frame interval (left-eye submissions): median {statistics.median(intervals):.1f} ms")


if __name__ == "__main__":
    main()
