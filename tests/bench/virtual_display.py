"""The bench's one way to get a display: a private Xvfb server, started only
when no display is set, and stopped together with the Wine server tied to it.

As a command it runs another command on such a display:
    virtual_display.py WINEPREFIX COMMAND [ARGUMENT ...]
"""
import os
import subprocess
import sys


class VirtualDisplay:
    """An Xvfb server of our own while no display is set; otherwise nothing."""

    def __init__(self, wineprefix, size="1280x1024x24"):
        self.wineprefix = wineprefix
        self.size = size
        self.process = None

    def __enter__(self):
        if os.environ.get("DISPLAY"):
            return self
        read_end, write_end = os.pipe()
        self.process = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_end), "-screen", "0", self.size, "-nolisten", "tcp"],
            pass_fds=(write_end,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write_end)
        with os.fdopen(read_end) as reader:
            number = reader.readline().strip()
        if not number:
            self.process.kill()
            raise RuntimeError("Xvfb did not report a display number")
        os.environ["DISPLAY"] = f":{number}"
        os.environ["HT_NO_WINDOW_MANAGER"] = "1"  # what the launcher needs to know
        return self

    def __exit__(self, *exc):
        if self.process is None:
            return
        # The Wine server stays tied to the display it first saw, so it has to
        # go before the display does.
        subprocess.run(["wineserver", "--kill"], env=dict(os.environ, WINEPREFIX=self.wineprefix),
                       check=False, timeout=60)
        self.process.terminate()
        self.process.wait(timeout=10)
        os.environ.pop("DISPLAY", None)
        os.environ.pop("HT_NO_WINDOW_MANAGER", None)


def main():
    if len(sys.argv) < 3:
        print("usage: virtual_display.py WINEPREFIX COMMAND [ARGUMENT ...]", file=sys.stderr)
        return 2
    with VirtualDisplay(sys.argv[1]):
        return subprocess.run(sys.argv[2:], check=False).returncode


if __name__ == "__main__":
    sys.exit(main())
