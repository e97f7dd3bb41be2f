"""Makes the README's pictures in docs/: the desktop window as a new user sees
it (no headset) and with the mock VR runtime, and the mock runtime's left and
right eye images at 0 and at 30 degrees, all scaled down small.

usage: readme_pictures.py DOCS_DIR
"""
import subprocess
import sys
import tempfile
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "tests" / "bench"))
import winebench  # noqa: E402

WIDTH = 240  # pixels across, for every picture


def save_small(source, target):
    subprocess.run(["convert", str(source), "-resize", f"{WIDTH}x", "-strip", str(target)],
                   check=True, timeout=60)
    print(f"wrote {target}")


def left_submissions(log):
    return [line for line in log.read_text().splitlines() if " Submit eye=0 " in line] \
        if log.exists() else []


def desktop_without_headset(docs, scratch):
    with winebench.Program(winebench.program_workdir(), output_dir=scratch) as program:
        program.wait_for_frames(60)
        save_small(program.screenshot(scratch / "desktop.png"), docs / "desktop.png")


def with_mock_runtime(docs, scratch):
    vr = scratch / "vr"
    with winebench.Program(winebench.program_workdir(), output_dir=scratch,
                           vr_output=vr) as program:
        program.wait_until(lambda: len(left_submissions(vr / "log.txt")) >= 3,
                           "eye images at 0 degrees")
        save_small(program.screenshot(scratch / "mirror.png"), docs / "desktop-vr.png")
        for eye in ("left", "right"):
            save_small(vr / f"{eye}.ppm", docs / f"{eye}-0.png")
        code, out, err = winebench.angle_server("30")
        if code != 0:
            raise winebench.BenchError(out + err)
        seen = len(left_submissions(vr / "log.txt"))
        program.wait_until(lambda: len(left_submissions(vr / "log.txt")) >= seen + 3,
                           "eye images at 30 degrees")
        for eye in ("left", "right"):
            save_small(vr / f"{eye}.ppm", docs / f"{eye}-30.png")


def main():
    docs = Path(sys.argv[1])
    docs.mkdir(parents=True, exist_ok=True)
    scratch = Path(tempfile.mkdtemp(prefix="ht-pictures-"))
    desktop_without_headset(docs, scratch)
    with_mock_runtime(docs, scratch / "vr-run")


if __name__ == "__main__":
    main()
