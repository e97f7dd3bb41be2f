"""The run command's Python half: runs the program through the bench.

On a virtual display (no DISPLAY of the user's) it runs for a few seconds,
keeps a screenshot and the console output, closes the window with WM_CLOSE
and prints the exit code. On the user's display it runs until the user closes
the window. The program lies beside the VR client library, as in the
release, so without a VR runtime its line says the runtime's own reason.
With HT_RUN_MOCK_VR=1 the mock VR runtime runs too, and its last eye images
are kept as PNG files. HT_RUN_WITH_PROXY=1 stages the test-only
feature-level proxy beside the program (a machine whose Vulkan is the CPU
driver).

usage: run_program.py OUTPUT_DIR [--until-closed]
"""
import os
import subprocess
import sys
import time
from pathlib import Path

import winebench

SECONDS_SHOWN = 5.0


def run(output, until_closed):
    root = Path(winebench.paths()["source_dir"])
    vr_output = output / "vr" if os.environ.get("HT_RUN_MOCK_VR") == "1" else None
    program = winebench.Program(root, output_dir=output, vr_output=vr_output,
                                with_vr_client=True,
                                with_proxy=os.environ.get("HT_RUN_WITH_PROXY") == "1")
    with program:
        if until_closed:
            return program.wait_for_exit(timeout=None)
        time.sleep(SECONDS_SHOWN)  # what the user sees, not a wait for the program
        program.screenshot(output / "window.png")
    note = ("the desktop mirrors the right eye" if vr_output else
            "without a headset the window shows only the background: the view sits inside the "
            "cube and the face ahead is culled; --mock-vr shows the cube")
    print(f"screenshot: {output / 'window.png'} ({note})")
    if vr_output is not None:
        for eye in ("left", "right"):
            if (vr_output / f"{eye}.ppm").exists():
                subprocess.run(["convert", str(vr_output / f"{eye}.ppm"),
                                str(vr_output / f"{eye}.png")], check=True, timeout=60)
        print(f"eye images and the runtime's log: {vr_output}")
    print(f"console output: {program.stdout_path} and {program.stderr_path}")
    return program.exit_code


def main():
    output = Path(sys.argv[1])
    output.mkdir(parents=True, exist_ok=True)
    code = run(output, "--until-closed" in sys.argv[2:])
    print(f"exit code: {code}")
    return 0 if code == 0 else 1


if __name__ == "__main__":
    sys.exit(main())
