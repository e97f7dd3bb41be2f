"""Round trip over the control pipe: from the server's write of a frame to the
arrival of "SUCCESS", against the real program's client and against a minimal
raw Win32 echo client, in the same run.

usage: pipe_round_trip.py [FRAMES]
"""
import re
import subprocess
import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "tests" / "bench"))
import winebench  # noqa: E402


def bench(frames):
    code, out, err = winebench.angle_server("--bench", frames, timeout=600)
    if code != 0:
        raise winebench.BenchError(out + err)
    p50 = float(re.search(r"p50: ([\d.]+)", out).group(1))
    p99 = float(re.search(r"p99: ([\d.]+)", out).group(1))
    return p50, p99


def against_program(frames):
    with winebench.Program(winebench.program_workdir()):
        return bench(frames)


def against_echo_client(frames):
    client = subprocess.Popen([winebench.wine_run(), winebench.paths()["echo_client"]],
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        return bench(frames)
    finally:
        client.wait(timeout=60)


def main():
    frames = int(sys.argv[1]) if len(sys.argv) > 1 else 10000
    program_p50, program_p99 = against_program(frames)
    echo_p50, echo_p99 = against_echo_client(frames)
    print(f"frames per client: {frames}")
    print(f"program's pipe client: p50 {program_p50:.1f} us, p99 {program_p99:.1f} us")
    print(f"raw Win32 echo client: p50 {echo_p50:.1f} us, p99 {echo_p99:.1f} us")
    print(f"ratio program / echo: p50 {program_p50 / echo_p50:.2f}, p99 {program_p99 / echo_p99:.2f}")


if __name__ == "__main__":
    main()
