"""Runs the program on a virtual display, keeps a screenshot and its output,
closes the window with WM_CLOSE and prints the exit code.

usage: headless_run.py OUTPUT_DIR [SECONDS]
"""
import os
import sys
import time
from pathlib import Path

import winebench


def main():
    output = Path(sys.argv[1])
    seconds = float(sys.argv[2]) if len(sys.argv) > 2 else 5.0
    output.mkdir(parents=True, exist_ok=True)
    root = Path(__file__).resolve().parents[2]
    with_proxy = bool(os.environ.get("HT_D3D12_PROXY_DLL"))
    program = winebench.RunningProgram(root, output_dir=output, with_proxy=with_proxy)
    try:
        window = program.find_window("MainWindow", "Hello Triangle")
        time.sleep(seconds)
        program.screenshot(window, output / "window.png")
        program.post(window, winebench.WM_CLOSE)
        code = program.wait(timeout=30)
    finally:
        program.kill()
    print(f"screenshot: {output / 'window.png'}")
    print(f"console output: {program.stdout_path} and {program.stderr_path}")
    print(f"exit code: {code}")
    return 0 if code == 0 else 1


if __name__ == "__main__":
    sys.exit(main())
