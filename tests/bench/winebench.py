"""Drives the real Windows program under Wine: the one way that tests,
benchmarks, the README pictures and the run command start, find, close and
judge it.

Where everything lies comes from the build tree's bench.json (HT_BUILD_DIR
names the tree; by default the windows-mingw build of this checkout). What
environment a Windows program gets is the launcher's (wine-run) alone.
"""
import collections
import contextlib
import functools
import getpass
import json
import os
import re
import shutil
import subprocess
import tempfile
import time
import unittest
from pathlib import Path

from virtual_display import VirtualDisplay

WM_NULL = 0x0000
WM_CLOSE = 0x0010
WM_SIZE = 0x0005
WM_SIZING, WMSZ_BOTTOMRIGHT = 0x0214, 8
HTCLOSE = 20
WM_COMMAND, IDOK = 0x0111, 1
MESSAGE_BOX = "#32770"  # the class of a message box's window
SW_MINIMIZE, SW_RESTORE = 6, 9
MAIN_WINDOW = ("MainWindow", "Hello Triangle")
# The LUID of the test-only dxgi.dll's second adapter (HT_SECOND_ADAPTER=1).
SECOND_ADAPTER_LUID = 0x00005EC000000002
# The mock VR runtime's log line when a session that was given eye images is
# shut down: it holds them, their queue and so their device until then.
RUNTIME_LETS_GO = "Letting go of the submitted eye textures and their queue"


class BenchError(RuntimeError):
    pass


@functools.lru_cache(maxsize=None)
def paths():
    """The build tree's description of the bench (tests/bench/CMakeLists.txt)."""
    default = Path(__file__).resolve().parents[2] / "build" / "windows-mingw"
    description = Path(os.environ.get("HT_BUILD_DIR") or default) / "bench.json"
    if not description.exists():
        raise BenchError(f"{description} is missing: configure the windows-mingw build first")
    return {name: str(value) for name, value in json.loads(description.read_text()).items()}


def wineprefix():
    """The Wine prefix programs run in: the test's own world's
    (tests/bench/wine_world.py), else the build tree's."""
    return os.environ.get("HT_WINEPREFIX") or paths()["wineprefix"]


def virtual_display():
    """A private display while none is set (tests/bench/virtual_display.py)."""
    return VirtualDisplay(wineprefix())


@contextlib.contextmanager
def private_display(size):
    """A virtual display of this size ("WIDTHxHEIGHTxDEPTH") of its own, for
    the programs started inside, whatever display is set; the set one is back
    afterwards. The Wine server is tied to the display it first saw, so it is
    restarted on the way in and on the way out."""
    subprocess.run(["wineserver", "--kill"], env=dict(os.environ, WINEPREFIX=wineprefix()),
                   check=False, timeout=60)
    with VirtualDisplay(wineprefix(), size, private=True):
        yield


def mouse(*actions):
    """Moves and clicks the display's real pointer (xdotool), as a person does."""
    subprocess.run(["xdotool", *map(str, actions)], check=True, timeout=60)


@contextlib.contextmanager
def mouse_moving(x, y, seconds=60, hz=125):
    """The pointer moves to and fro by a pixel about (x, y), hz times a second
    (a mouse reports at 125 Hz), for as long as the block lasts; then it
    rests at (x, y)."""
    steps = []
    for step in range(int(seconds * hz)):
        steps += ["mousemove", x + step % 2, y, "sleep", f"{1 / hz:.3f}"]
    moving = subprocess.Popen(["xdotool", *map(str, steps)])
    try:
        yield
    finally:
        moving.kill()
        moving.wait()
        mouse("mousemove", x, y)


def wine_run():
    """The bench's launcher, for any Windows command (reg, the tools)."""
    return paths()["wine_run"]


def wait_until(condition, what, timeout=60, program=None):
    """Polls condition until it holds. A time-out, or the program ending on the
    way, raises BenchError saying what was awaited."""
    deadline = time.monotonic() + timeout
    while not condition():
        if program is not None and not program.running():
            raise BenchError(f"the program ended (exit {program.process.returncode}) "
                             f"while waiting for {what}")
        if time.monotonic() > deadline:
            raise BenchError(f"timed out after {timeout} s waiting for {what}")
        time.sleep(0.1)


def run_windows_tool(program, *args, timeout=60, stdin_text=None):
    """Runs a Windows console program to completion: (exit code, stdout, stderr)."""
    # Files, not pipes: Wine services that a call happens to start inherit the
    # streams and would hold a pipe open for ever.
    with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
        result = subprocess.run([wine_run(), str(program), *map(str, args)],
                                input=stdin_text.encode() if stdin_text is not None else None,
                                stdout=out, stderr=err, timeout=timeout)
        out.seek(0)
        err.seek(0)
        return (result.returncode, out.read().decode(errors="replace"),
                err.read().decode(errors="replace"))


def winctl(*args, timeout=30):
    """Runs the window helper under Wine and returns its standard output."""
    code, out, err = run_windows_tool(paths()["winctl"], *args, timeout=timeout)
    if code != 0:
        raise BenchError(f"winctl {' '.join(map(str, args))}: {err.strip()}")
    return out


def angle_server(*args, timeout=60, stdin_text=None):
    """Runs the pipe's companion server with these arguments."""
    return run_windows_tool(paths()["angle_server"], *args, timeout=timeout, stdin_text=stdin_text)


def stage_program(folder, with_proxy=True, with_vr_client=False, executable=None,
                  with_assets=False):
    """Copies the program (or another executable of the build) into folder,
    with the test-only d3d12.dll and dxgi.dll, the real VR client library
    (openvr_api.dll, as the release carries it) and the assets folder as
    asked; returns the copy."""
    folder = Path(folder)
    folder.mkdir(parents=True, exist_ok=True)
    source = Path(executable or paths()["program"])
    shutil.copy2(source, folder / source.name)
    if with_proxy:
        shutil.copy2(paths()["d3d12_proxy"], folder / "d3d12.dll")
        shutil.copy2(paths()["dxgi_proxy"], folder / "dxgi.dll")
    if with_vr_client:
        shutil.copy2(paths()["vr_client"], folder / "openvr_api.dll")
    if with_assets:
        copy_assets(folder)
    return folder / source.name


def vr_folders(folder):
    """Config and log folders for the VR client library, made in folder."""
    made = {name: Path(folder) / f"vr-{name}" for name in ("config", "log")}
    for path in made.values():
        path.mkdir(parents=True, exist_ok=True)
    return made


def mock_runtime_environment(folder):
    """The variables by which the VR client library finds the mock runtime
    without reading a path registry: the runtime folder, and config and log
    folders in folder."""
    made = vr_folders(folder)
    return {"VR_OVERRIDE": windows_path(paths()["mock_vr_runtime"]),
            "VR_CONFIG_PATH": windows_path(made["config"]),
            "VR_LOG_PATH": windows_path(made["log"])}


@contextlib.contextmanager
def vr_path_registry(folder):
    """The Wine prefix's VR path registry (%LOCALAPPDATA%\\openvr\\openvrpaths.vrpath)
    naming the mock runtime, as a runtime's installer writes it; removed on
    leaving."""
    registry = (Path(wineprefix()) / "drive_c" / "users" / getpass.getuser() /
                "AppData" / "Local" / "openvr" / "openvrpaths.vrpath")
    made = vr_folders(folder)
    registry.parent.mkdir(parents=True, exist_ok=True)
    registry.write_text(json.dumps({
        "jsonid": "vrpathreg", "version": 1,
        "runtime": [windows_path(paths()["mock_vr_runtime"])],
        "config": [windows_path(made["config"])], "log": [windows_path(made["log"])],
        "external_drivers": None}, indent=2))
    try:
        yield registry
    finally:
        registry.unlink()


def lines_of(path):
    """The finished lines of a file a program writes as it goes: a last line
    still being written, without its end, waits for the next reading. None
    before the file exists."""
    path = Path(path)
    if not path.exists():
        return []
    *finished, _unfinished = path.read_text(errors="replace").split("\n")
    return [line.rstrip("\r") for line in finished]


def mock_runtime_log(path):
    """The mock VR runtime's log: per line its time (ns, as text), the call,
    its name=value fields and the whole line after the time (text)."""
    entries = []
    for line in lines_of(path):
        time_ns, call, *_ = line.split(" ", 2) + [""]
        entries.append(dict(re.findall(r"(\w+)=(\S+)", line), time=time_ns, call=call,
                            text=line.split(" ", 1)[1]))
    return entries


def runtime_lines(path):
    """The mock VR runtime's log lines, whole, without their times."""
    return [entry["text"] for entry in mock_runtime_log(path)]


def runtime_call_names(path):
    """The first word of each of the mock VR runtime's log lines: the call's
    name ("Submit", "Cleanup"), or the first word of the runtime's own note."""
    return [entry["call"] for entry in mock_runtime_log(path)]


TraceLine = collections.namedtuple("TraceLine", "keyword time text")


def proxy_trace(path):
    """The test-only proxies' trace (HT_PRESENT_TRACE, HT_DEVICE_TRACE,
    HT_BARRIER_TRACE): per line its keyword, its time (ns, host clock) and
    the rest of the line."""
    lines = []
    for line in lines_of(path):
        keyword, time_ns, *text = line.split(" ", 2) + [""]
        lines.append(TraceLine(keyword, int(time_ns), text[0]))
    return lines


DeviceEvent = collections.namedtuple("DeviceEvent", "keyword time luid detail")


def device_events(path):
    """The test-only d3d12.dll's device trace (HT_DEVICE_TRACE): per device
    made, returned again, refused (under Windows' rule, or "failed" on
    request) or gone, its keyword ("made", "returned", "refused", "failed",
    "gone"), time (ns), adapter LUID (int) and the rest: the adapter's
    description, or for "refused" and "failed" the result in hex."""
    events = []
    for line in proxy_trace(path):
        luid, _, detail = line.text.partition(" ")
        events.append(DeviceEvent(line.keyword, line.time, int(luid, 16), detail))
    return events


def submission_times(log_path, eye):
    """Times (ns) of the mock runtime's logged submissions of one eye (0, 1)."""
    return [int(entry["time"]) for entry in mock_runtime_log(log_path)
            if entry["call"] == "Submit" and entry.get("eye") == str(eye)]


class Pacing:
    """What a stretch of time held of some events (submissions, say): how
    many, how many a second, and the waits between two, the stretch's ends
    included: the longest, with how far into the stretch it began, and the
    one that 95 in 100 waits do not exceed."""

    def __init__(self, times, start, end):
        inside = [t for t in times if start <= t <= end]
        self.count = len(inside)
        self.rate = len(inside) / ((end - start) / 1e9)
        edges = [start, *inside, end]
        gaps = [(b - a, a - start) for a, b in zip(edges, edges[1:])]
        gap, after = max(gaps)
        self.longest_gap_ms = gap / 1e6
        self.longest_gap_after_ms = after / 1e6
        ordered = sorted(g for g, _ in gaps)
        self.usual_longest_gap_ms = ordered[(len(ordered) - 1) * 95 // 100] / 1e6

    def __repr__(self):
        return (f"{self.count} in {self.rate:.1f}/s, longest gap {self.longest_gap_ms:.0f} ms "
                f"({self.longest_gap_after_ms:.0f} ms in), 95 in 100 gaps within "
                f"{self.usual_longest_gap_ms:.1f} ms")


def windows_path(path):
    """The path as Wine's programs see it, through drive Z:."""
    return "Z:" + str(Path(path).resolve()).replace("/", "\\")


def read_ppm(path):
    """(width, height, rgb bytes) of a binary PPM image."""
    data = Path(path).read_bytes()
    match = re.match(rb"P6\s+(\d+)\s+(\d+)\s+255\s", data)
    if match is None:
        raise BenchError(f"{path} is not an 8-bit binary PPM")
    width, height = int(match.group(1)), int(match.group(2))
    pixels = data[match.end():]
    if len(pixels) != width * height * 3:
        raise BenchError(f"{path} holds {len(pixels)} pixel bytes, not {width * height * 3}")
    return width, height, pixels


def copy_assets(folder):
    """The program's shader sources into folder's assets: the sources only,
    without bytecode a run in the checkout may have left there."""
    shutil.copytree(Path(paths()["source_dir"]) / "assets", Path(folder) / "assets",
                    ignore=shutil.ignore_patterns("*.dxbc"))


def program_workdir(with_assets=True):
    """A scratch working directory, with the program's assets when asked."""
    workdir = Path(tempfile.mkdtemp(prefix="ht-e2e-"))
    if with_assets:
        copy_assets(workdir)
    return workdir


class Program:
    """The program under Wine, as a context manager: entering starts it and
    finds its window; leaving closes the window with WM_CLOSE and expects exit
    code 0. Any failure inside or on the way out carries the program's
    standard output and error.

    with_proxy stages the program beside the test-only d3d12.dll (the feature
    level the CPU driver offers; injected failures) and dxgi.dll (a trace of
    every Present, which presents() counts). mock_vr runs it beside the real
    VR client library with the mock VR runtime behind it, found through the
    environment (mock_runtime_environment) or, with vr_registry, through a
    path registry that the caller has written (vr_path_registry); vr_output
    (which implies mock_vr) is the folder for the runtime's log and eye images.
    with_vr_client stages the client library alone, assets_beside the assets
    folder beside the program. executable runs that file
    where it lies instead, with nothing staged; window=None expects no window
    (a start that fails).
    """

    def __init__(self, workdir, output_dir=None, extra_env=None, with_proxy=True, vr_output=None,
                 mock_vr=None, vr_registry=False, with_vr_client=None, assets_beside=False,
                 executable=None, window=MAIN_WINDOW):
        self.workdir = Path(workdir)
        self.output = Path(output_dir or workdir)
        self.output.mkdir(parents=True, exist_ok=True)
        self.stdout_path = self.output / "stdout.txt"
        self.stderr_path = self.output / "stderr.txt"
        self.trace_path = self.output / "presents.txt"
        self.window_class = window
        self.window = None
        self.process = None
        self.exit_code = None
        self.env = dict(os.environ)
        if mock_vr is None:
            mock_vr = vr_output is not None
        if with_vr_client is None:
            with_vr_client = mock_vr
        if mock_vr and not vr_registry:
            self.env.update(mock_runtime_environment(self.output))
        if vr_output is not None:
            Path(vr_output).mkdir(parents=True, exist_ok=True)
            self.env["HT_MOCK_VR_OUTPUT"] = windows_path(vr_output)
        if with_proxy:
            self.env["HT_PRESENT_TRACE"] = windows_path(self.trace_path)
        self.env.update(extra_env or {})
        self.executable = executable
        if executable is None:
            self.executable = stage_program(self.output / "bin", with_proxy, with_vr_client,
                                            with_assets=assets_beside)

    def __enter__(self):
        with self.stdout_path.open("wb") as out, self.stderr_path.open("wb") as err:
            self.process = subprocess.Popen([wine_run(), str(self.executable)], cwd=self.workdir,
                                            env=self.env, stdout=out, stderr=err)
        try:
            if self.window_class is not None:
                self.window = self.find_window(*self.window_class)
        except BaseException as failure:
            self._fail_with_streams(failure)
            raise
        return self

    def __exit__(self, exc_type, failure, traceback):
        try:
            if failure is None and self.exit_code is None:
                self.close()
        except BaseException as closing:
            self._fail_with_streams(closing)
            raise
        finally:
            self.kill()
        if failure is not None:
            self._fail_with_streams(failure)
        return False

    def _fail_with_streams(self, failure):
        if hasattr(failure, "add_note"):
            failure.add_note(f"program stdout:\n{self.stdout()}\nprogram stderr:\n{self.stderr()}")

    def close(self):
        """WM_CLOSE to the window; the program must end with exit code 0."""
        self.post(WM_CLOSE)
        self.expect_exit(0)

    def wait_for_exit(self, timeout=60):
        """Waits for the program to end by itself; its exit code."""
        try:
            self.exit_code = self.process.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            raise BenchError(f"the program did not exit within {timeout} s") from None
        return self.exit_code

    def expect_exit(self, code, timeout=60):
        """Waits for the program to end by itself with this exit code."""
        if self.wait_for_exit(timeout) != code:
            raise BenchError(f"the program exited with {self.exit_code}, not {code}")

    def kill(self):
        if self.process is not None and self.process.poll() is None:
            self.process.kill()
            self.process.wait()

    def running(self):
        return self.process.poll() is None

    def find_window(self, class_name, title, timeout_ms=60000):
        return int(winctl("find", class_name, title, timeout_ms, timeout=timeout_ms / 1000 + 30))

    def post(self, message, wparam=0, lparam=0):
        winctl("post", self.window, message, wparam, lparam)

    def send(self, message, wparam=0, lparam=0):
        """SendMessage from another process: delivered as a sent message."""
        winctl("send", self.window, message, wparam, lparam)

    def send_rect(self, message, wparam, left, top, right, bottom):
        """SendMessage from another process with lParam pointing to a RECT,
        which the system copies across, as for WM_SIZING."""
        winctl("send-rect", self.window, message, wparam, left, top, right, bottom)

    def move(self, x, y, width, height):
        winctl("move", self.window, x, y, width, height)

    def show(self, command):
        """ShowWindow with an SW_ command."""
        winctl("show", self.window, command)

    def hit_point(self, code):
        """(x, y) on the screen, the rightmost point of the caption's middle
        row where the window's own hit test answers code (HTCLOSE, say)."""
        x, y = winctl("hit", self.window, code).split()
        return int(x), int(y)

    def modal_loop(self):
        """Which of the system's modal loops the window's thread is in:
        "move-size", "menu" or "none"."""
        return winctl("modal", self.window).strip()

    def minimised(self):
        code, _, _ = run_windows_tool(paths()["winctl"], "iconic", self.window)
        return code == 0

    def window_exists(self):
        code, _, _ = run_windows_tool(paths()["winctl"], "exists", self.window)
        return code == 0

    def rectangles(self):
        """{'window', 'client', 'monitor', 'work': (l, t, r, b)} in screen
        pixels: the window, its client area, the monitor it is on and that
        monitor's work area (less taskbars)."""
        found = {}
        for line in winctl("rect", self.window).splitlines():
            name, *numbers = line.split()
            found[name] = tuple(int(n) for n in numbers)
        return found

    def screenshot(self, path):
        """Saves the window's client area as a PNG, taken from the X display."""
        left, top, right, bottom = self.rectangles()["client"]
        subprocess.run(["import", "-window", "root", "-crop", f"{right - left}x{bottom - top}"
                        f"+{left}+{top}", "+repage", str(path)], check=True, timeout=60)
        return path

    def client_pixel(self, x, y):
        """The (r, g, b) of one pixel of the client area as the display shows it."""
        left, top, _, _ = self.rectangles()["client"]
        text = subprocess.run(["import", "-window", "root", "-crop", f"1x1+{left + x}+{top + y}",
                               "-depth", "8", "txt:-"], check=True, capture_output=True, text=True,
                              timeout=60).stdout
        r, g, b = re.search(r"\((\d+),(\d+),(\d+)", text.splitlines()[-1]).groups()
        return int(r), int(g), int(b)

    def present_times(self):
        """Unix times in ns of every Present the program made so far."""
        return [line.time for line in proxy_trace(self.trace_path) if line.keyword == "present"]

    def failed_present_times(self):
        """Unix times in ns of every Present that the proxy failed on request."""
        return [line.time for line in proxy_trace(self.trace_path) if line.keyword == "failed"]

    def presents(self):
        return len(self.present_times())

    def last_present_size(self):
        """(width, height) of the buffers the program's last Present showed."""
        last = [line for line in proxy_trace(self.trace_path) if line.keyword == "present"][-1]
        width, height = last.text.split("x")
        return int(width), int(height)

    def wait_for_frames(self, count, timeout=60):
        """Waits until the program has presented count more frames: evidence
        that time passed in the program, not only on the clock."""
        target = self.presents() + count
        wait_until(lambda: self.presents() >= target, f"{count} more presented frames",
                   timeout, program=self)

    def wait_until(self, condition, what, timeout=60):
        wait_until(condition, what, timeout, program=self)

    def stdout(self):
        return self.stdout_path.read_text(errors="replace") if self.stdout_path.exists() else ""

    def stderr(self):
        return self.stderr_path.read_text(errors="replace") if self.stderr_path.exists() else ""


class ExplorerStart:
    """The staged program started as Explorer or a shortcut starts it (winctl
    start): in its own folder, detached, with no console and no standard
    handles. A context manager; wait() gives the program's exit code. The
    launcher's own streams go to files in the program's folder, and with
    them whatever Wine itself prints for the program."""

    verb = "start"  # winctl's

    def __init__(self, executable, extra_env=None):
        self.executable = Path(executable)
        self.env = dict(os.environ, **(extra_env or {}))
        self.wine_output = self.executable.parent / "wine-output.txt"
        self.process = None

    def __enter__(self):
        with self.wine_output.open("wb") as output:
            self.process = subprocess.Popen(
                [wine_run(), paths()["winctl"], self.verb, windows_path(self.executable),
                 windows_path(self.executable.parent)],
                env=self.env, stdin=subprocess.PIPE, stdout=output, stderr=subprocess.STDOUT)
        return self

    def __exit__(self, *exc):
        if self.process.poll() is None:
            self.process.kill()
            self.process.wait()
        return False

    def wait(self, timeout=60):
        self.process.stdin.close()
        try:
            return self.process.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            raise BenchError(f"the program did not exit within {timeout} s") from None

    def find_window(self, class_name, title, timeout_ms=60000):
        """The handle of the program's window of this class and title, or
        None when none appears within the time."""
        code, out, _ = run_windows_tool(paths()["winctl"], "find", class_name, title, timeout_ms,
                                        timeout=timeout_ms / 1000 + 30)
        return int(out) if code == 0 else None


class ConsoleStart(ExplorerStart):
    """The staged program started as from Command Prompt (winctl
    console-start), on a console of its own that it attaches to: its lines go
    to that console. type_ctrl_c() types Ctrl+C into the console as a person
    does."""

    verb = "console-start"

    def type_ctrl_c(self):
        self.process.stdin.write(b"ctrl-c\n")
        self.process.stdin.flush()


class ReportingAtOnce(unittest.TextTestResult):
    """Says what failed as soon as it fails, not only at the end of the file:
    a file that ctest's time-out ends keeps what its earlier tests said."""

    def addFailure(self, test, err):
        super().addFailure(test, err)
        self.report("FAIL", test, self.failures[-1][1])

    def addError(self, test, err):
        super().addError(test, err)
        self.report("ERROR", test, self.errors[-1][1])

    def addSubTest(self, test, subtest, err):
        super().addSubTest(test, subtest, err)
        if err is not None:
            failed = self.failures if issubclass(err[0], test.failureException) else self.errors
            self.report("FAIL" if failed is self.failures else "ERROR", subtest, failed[-1][1])

    def report(self, kind, test, text):
        self.stream.writeln(f"\n{kind} (at once): {test}\n{text}")
        self.stream.flush()


class RunnerReportingAtOnce(unittest.TextTestRunner):
    resultclass = ReportingAtOnce


def main():
    """Runs the calling test file as unittest.main() does, each failure said
    when it happens."""
    unittest.main(module="__main__", testRunner=RunnerReportingAtOnce)


class ProgramTestCase(unittest.TestCase):
    """A private virtual display (unless one is set) and a scratch working
    directory with the program's assets for each test."""

    def setUp(self):
        display = virtual_display()
        display.__enter__()
        self.addCleanup(display.__exit__, None, None, None)
        self.workdir = program_workdir()
        self.addCleanup(shutil.rmtree, self.workdir, True)

    def program(self, workdir=None, **options):
        """The program, to be entered with `with`; see Program."""
        return Program(workdir or self.workdir, **options)

    def scratch(self, prefix):
        """A fresh folder inside the test's working directory."""
        return Path(tempfile.mkdtemp(prefix=prefix, dir=self.workdir))
