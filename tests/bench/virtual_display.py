"""The bench's one way to get a display: a private Xvfb server, started when
no display is set (or always, when asked), and stopped together with the Wine
server tied to it.

As a command it runs another command on such a display:
    virtual_display.py WINEPREFIX COMMAND [ARGUMENT ...]
"""
import ctypes
import os
import signal
import subprocess
import sys

DISPLAY_VARIABLES = ("DISPLAY", "HT_NO_WINDOW_MANAGER", "HT_VIRTUAL_DISPLAY")
PR_SET_PDEATHSIG = 1


def die_with_parent():
    """Run in the child before exec: an Xvfb whose test was killed (a ctest
    time-out) goes too, instead of holding a display for ever."""
    ctypes.CDLL(None, use_errno=True).prctl(PR_SET_PDEATHSIG, signal.SIGKILL)


class VirtualDisplay:
    """An Xvfb server of our own while no display is set, or with private=True
    whatever display is set (the set one is back afterwards); otherwise
    nothing."""

    def __init__(self, wineprefix, size="1280x1024x24", private=False):
        self.wineprefix = wineprefix
        self.size = size
        self.private = private
        self.process = None
        self.saved = {}

    def __enter__(self):
        if os.environ.get("DISPLAY") and not self.private:
            return self
        self.saved = {name: os.environ.pop(name) for name in DISPLAY_VARIABLES
                      if name in os.environ}
        read_end, write_end = os.pipe()
        self.process = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_end), "-screen", "0", self.size, "-nolisten", "tcp"],
            pass_fds=(write_end,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
            preexec_fn=die_with_parent)
        os.close(write_end)
        with os.fdopen(read_end) as reader:
            number = reader.readline().strip()
        if not number:
            self.process.kill()
            os.environ.update(self.saved)
            raise RuntimeError("Xvfb did not report a display number")
        os.environ["DISPLAY"] = f":{number}"
        os.environ["HT_NO_WINDOW_MANAGER"] = "1"  # what the launcher needs to know
        # A display nobody looks at: tests may change its mode.
        os.environ["HT_VIRTUAL_DISPLAY"] = "1"
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
        for name in DISPLAY_VARIABLES:
            os.environ.pop(name, None)
        os.environ.update(self.saved)


def run_inside(environment, usage):
    """The command form of the bench's environments: with the command line
    ARGUMENT COMMAND [ARGUMENT ...], runs the command inside
    environment(ARGUMENT); its exit code, or 2 with usage."""
    if len(sys.argv) < 3:
        print(f"usage: {usage}", file=sys.stderr)
        return 2
    with environment(sys.argv[1]):
        return subprocess.run(sys.argv[2:], check=False).returncode


def main():
    return run_inside(VirtualDisplay, "virtual_display.py WINEPREFIX COMMAND [ARGUMENT ...]")


if __name__ == "__main__":
    sys.exit(main())
