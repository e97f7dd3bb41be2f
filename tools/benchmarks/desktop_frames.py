"""Desktop rendering figures of the real program under Wine.

Runs the program at its default window size on the current (virtual) display
for a fixed time and prints: rendered frames per second, the process's CPU
seconds per wall second, and the time from process start to the first
presented frame. Frames are counted by the test-only d3d12.dll, which logs one
line per command-queue execution (one per rendered frame, just before Present).

usage: desktop_frames.py [SECONDS]
"""
import os
import sys
import tempfile
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "tests" / "bench"))
import winebench  # noqa: E402

CLOCK_TICKS = os.sysconf("SC_CLK_TCK")


def program_pid(started_after):
    """The Unix process that runs the .exe, found by its command line."""
    for entry in Path("/proc").iterdir():
        if not entry.name.isdigit():
            continue
        try:
            command = (entry / "cmdline").read_bytes()
            if b"hello_triangle.exe" in command and entry.stat().st_ctime >= started_after - 1:
                return int(entry.name)
        except OSError:
            continue
    raise winebench.BenchError("the program's process was not found")


def cpu_seconds(pid):
    fields = Path(f"/proc/{pid}/stat").read_text().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / CLOCK_TICKS  # utime + stime


def frame_times(trace):
    if not trace.exists():
        return []
    return [int(line.split()[1]) for line in trace.read_text().splitlines() if line.startswith("execute")]


def main():
    seconds = float(sys.argv[1]) if len(sys.argv) > 1 else 10.0
    workdir = winebench.program_workdir()
    trace = Path(tempfile.mkdtemp(prefix="ht-bench-")) / "frames.txt"
    started = time.time_ns()
    program = winebench.RunningProgram(workdir, extra_env={"HT_D3D12_TRACE": str(trace)})
    try:
        window = program.find_window("MainWindow", "Hello Triangle")
        while not frame_times(trace):
            if not program.running():
                raise winebench.BenchError(program.stderr())
            time.sleep(0.05)
        pid = program_pid(started / 1e9)
        cpu_before, wall_before = cpu_seconds(pid), time.time()
        frames_before = len(frame_times(trace))
        time.sleep(seconds)
        cpu_after, wall_after = cpu_seconds(pid), time.time()
        frames = frame_times(trace)
        program.post(window, winebench.WM_CLOSE)
        program.wait(timeout=30)
    finally:
        program.kill()
    wall = wall_after - wall_before
    print(f"window: default size (774 x 774 requested), measured for {wall:.1f} s")
    print(f"rendered frames per second: {(len(frames) - frames_before) / wall:.1f}")
    print(f"process CPU seconds per wall second: {(cpu_after - cpu_before) / wall:.2f}")
    print(f"process start to first Present: {(frames[0] - started) / 1e6:.0f} ms")


if __name__ == "__main__":
    main()
