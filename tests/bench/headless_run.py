"""Runs the program on a virtual display, keeps a screenshot and its output,
closes the window with WM_CLOSE and prints the exit code. With HT_RUN_MOCK_VR=1
the mock VR runtime runs too, and its last eye images are kept as PNG files.

usage: headless_run.py OUTPUT_DIR [SECONDS]
"""
import os
import subprocess
import sys
import time
from pathlib import Path

import winebench


def main():
    output = Path(sys.argv[1])
    seconds = float(sys.argv[2]) if len(sys.argv) > 2 else 5.0
    output.mkdir(parents=True, exist_ok=True)
    root = Path(__file__).resolve().parents[2]
    with_proxy = os.environ.get("HT_RUN_WITH_PROXY") == "1"
    vr_output = output / "vr" if os.environ.get("HT_RUN_MOCK_VR") == "1" else None
    program = winebench.RunningProgram(root, output_dir=output, with_proxy=with_proxy,
                                       vr_output=vr_output)
    try:
        window = program.find_window("MainWindow", "Hello Triangle")
        time.sleep(seconds)
        program.screenshot(window, output / "window.png")
        program.post(window, winebench.WM_CLOSE)
        code = program.wait(timeout=30)
    finally:
        program.kill()
    if vr_output is None:
        print(f"screenshot: {output / 'window.png'} (without a headset the window shows only "
              "the background: the view sits inside the cube and the face ahead is culled; "
              "--mock-vr shows the cube)")
    else:
        print(f"screenshot: {output / 'window.png'} (the desktop mirrors the right eye)")
    if vr_output is not None:
        for eye in ("left", "right"):
            if (vr_output / f"{eye}.ppm").exists():
                subprocess.run(["convert", str(vr_output / f"{eye}.ppm"),
                                str(vr_output / f"{eye}.png")], check=True, timeout=60)
        print(f"eye images and the runtime's log: {vr_output}")
    print(f"console output: {program.stdout_path} and {program.stderr_path}")
    print(f"exit code: {code}")
    return 0 if code == 0 else 1


if __name__ == "__main__":
    sys.exit(main())
