"""Drives the real Windows program under Wine for end-to-end tests.

Paths come from the environment that CTest sets: HT_WINE_RUN (the build tree's
Wine launcher), HT_WINECTL (the window helper) and HT_PROGRAM (the .exe).
"""
import os
import re
import shutil
import subprocess
import tempfile
import time
import unittest
from pathlib import Path

WM_CLOSE = 0x0010


class BenchError(RuntimeError):
    pass


def _required_env(name):
    value = os.environ.get(name)
    if not value:
        raise BenchError(f"{name} is not set; run the test through ctest")
    return value


class VirtualDisplay:
    """An Xvfb server of our own, used only when no display is set."""

    def __init__(self, size="1280x1024x24"):
        self.size = size
        self.process = None
        self.previous = os.environ.get("DISPLAY")

    def __enter__(self):
        if self.previous:
            return self
        read_end, write_end = os.pipe()
        self.process = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_end), "-screen", "0", self.size, "-nolisten", "tcp"],
            pass_fds=(write_end,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write_end)
        with os.fdopen(read_end) as reader:
            number = reader.readline().strip()
        if not number:
            raise BenchError("Xvfb did not report a display number")
        os.environ["DISPLAY"] = f":{number}"
        return self

    def __exit__(self, *exc):
        if self.process is not None:
            # NOTE: the wine server stays tied to the display it first saw, so
            # it has to go before the display does.
            subprocess.run(["wineserver", "--kill"], env=dict(os.environ, WINEPREFIX=_required_env("HT_WINEPREFIX")),
                           check=False, timeout=60)
            self.process.terminate()
            self.process.wait(timeout=10)
            if self.previous is None:
                os.environ.pop("DISPLAY", None)


def wine_run():
    """The build tree's Wine launcher, for running Windows commands such as reg."""
    return _required_env("HT_WINE_RUN")


def winctl(*args, timeout=30):
    """Runs the window helper under Wine and returns its standard output."""
    # NOTE: output goes through files, not pipes: Wine services that the call
    # happens to start inherit the streams and would hold a pipe open forever.
    with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
        result = subprocess.run(
            [_required_env("HT_WINE_RUN"), _required_env("HT_WINECTL"), *map(str, args)],
            stdout=out, stderr=err, timeout=timeout)
        out.seek(0)
        err.seek(0)
        if result.returncode != 0:
            raise BenchError(f"winctl {' '.join(map(str, args))}: {err.read().decode().strip()}")
        return out.read().decode()


def _joined_overrides(existing, override):
    return f"{existing};{override}" if existing else override


def stage_program(folder, with_proxy=True, with_mock_vr=False):
    """Copies the program into folder, with the test-only d3d12.dll and
    dxgi.dll and the mock VR runtime as asked; returns the program's copy."""
    folder = Path(folder)
    folder.mkdir(parents=True, exist_ok=True)
    program = Path(_required_env("HT_PROGRAM"))
    shutil.copy2(program, folder / program.name)
    if with_proxy:
        shutil.copy2(_required_env("HT_D3D12_PROXY_DLL"), folder / "d3d12.dll")
        shutil.copy2(_required_env("HT_DXGI_PROXY_DLL"), folder / "dxgi.dll")
    if with_mock_vr:
        shutil.copy2(_required_env("HT_MOCK_VR_DLL"), folder / "openvr_api.dll")
    return folder / program.name


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


def run_windows_tool(program, *args, timeout=60, stdin_text=None):
    """Runs a Windows console program to completion: (exit code, stdout, stderr)."""
    # NOTE: files, not pipes, for the reason given in winctl().
    with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
        result = subprocess.run([_required_env("HT_WINE_RUN"), program, *map(str, args)],
                                input=stdin_text.encode() if stdin_text is not None else None,
                                stdout=out, stderr=err, timeout=timeout)
        out.seek(0)
        err.seek(0)
        return result.returncode, out.read().decode(errors="replace"), err.read().decode(errors="replace")


def angle_server(*args, timeout=60, stdin_text=None):
    """Runs the pipe's companion server with these arguments."""
    return run_windows_tool(_required_env("HT_ANGLE_SERVER"), *args, timeout=timeout,
                            stdin_text=stdin_text)


class RunningProgram:
    """The program started under Wine with its output streams captured."""

    def __init__(self, workdir, output_dir=None, extra_env=None, with_proxy=True, vr_output=None,
                 with_mock_vr=None, program=None):
        """Starts the program in workdir; its streams go to output_dir (default workdir).

        program runs a copy of the .exe where it lies, with nothing staged
        beside it; by default the build's .exe is staged as asked below.

        with_proxy stages the program beside the test-only d3d12.dll, which
        lowers the feature level to what the CPU Vulkan driver offers, and
        dxgi.dll; both fail calls on request (HT_FAIL_CALL).
        with_mock_vr stages the mock VR runtime too; vr_output (which implies
        it) is the folder for its log and eye images.
        """
        self.workdir = Path(workdir)
        output = Path(output_dir or workdir)
        self.stdout_path = output / "stdout.txt"
        self.stderr_path = output / "stderr.txt"
        env = dict(os.environ)
        env.update(extra_env or {})
        if with_mock_vr is None:
            with_mock_vr = vr_output is not None
        if vr_output is not None:
            Path(vr_output).mkdir(parents=True, exist_ok=True)
            env["HT_MOCK_VR_OUTPUT"] = windows_path(vr_output)
        if program is None:
            program = _required_env("HT_PROGRAM")
            if with_proxy or with_mock_vr:
                program = stage_program(output / "bin", with_proxy, with_mock_vr)
        if with_proxy:
            env["WINEDLLOVERRIDES"] = _joined_overrides(env.get("WINEDLLOVERRIDES"),
                                                        "d3d12,dxgi=n,b")
        with self.stdout_path.open("wb") as out, self.stderr_path.open("wb") as err:
            self.process = subprocess.Popen([_required_env("HT_WINE_RUN"), str(program)],
                                            cwd=self.workdir, env=env, stdout=out, stderr=err)

    def find_window(self, class_name, title, timeout_ms=60000):
        return int(winctl("find", class_name, title, timeout_ms, timeout=timeout_ms / 1000 + 30))

    def post(self, window, message, wparam=0, lparam=0):
        winctl("post", window, message, wparam, lparam)

    def move(self, window, x, y, width, height):
        winctl("move", window, x, y, width, height)

    def show(self, window, command):
        """ShowWindow with a SW_ command, e.g. 6 to minimise, 9 to restore."""
        winctl("show", window, command)

    def running(self):
        return self.process.poll() is None

    def rectangles(self, window):
        """{'window': (l, t, r, b), 'client': (l, t, r, b)} in screen pixels."""
        found = {}
        for line in winctl("rect", window).splitlines():
            name, *numbers = line.split()
            found[name] = tuple(int(n) for n in numbers)
        return found

    def screenshot(self, window, path):
        """Saves the window's client area as a PNG, taken from the X display."""
        left, top, right, bottom = self.rectangles(window)["client"]
        width, height = right - left, bottom - top
        subprocess.run(["import", "-window", "root", "-crop", f"{width}x{height}+{left}+{top}",
                        "+repage", str(path)], check=True, timeout=60)
        return path

    def client_pixel(self, window, x, y):
        """The (r, g, b) of one pixel of the client area as the display shows it."""
        left, top, _, _ = self.rectangles(window)["client"]
        text = subprocess.run(["import", "-window", "root", "-crop", f"1x1+{left + x}+{top + y}",
                               "-depth", "8", "txt:-"], check=True, capture_output=True, text=True,
                              timeout=60).stdout
        r, g, b = re.search(r"\((\d+),(\d+),(\d+)", text.splitlines()[-1]).groups()
        return int(r), int(g), int(b)

    def wait(self, timeout=30):
        """The exit code, or BenchError if the program is still running."""
        try:
            return self.process.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            self.kill()
            raise BenchError(f"the program did not exit within {timeout} s")

    def kill(self):
        if self.process.poll() is None:
            self.process.kill()
            self.process.wait()

    def stdout(self):
        return self.stdout_path.read_text(errors="replace")

    def stderr(self):
        return self.stderr_path.read_text(errors="replace")


def program_workdir(with_assets=True):
    """A scratch working directory, with the program's assets when asked."""
    workdir = Path(tempfile.mkdtemp(prefix="ht-e2e-"))
    if with_assets:
        source = Path(_required_env("HT_SOURCE_DIR")) / "assets"
        if source.is_dir():
            shutil.copytree(source, workdir / "assets")
    return workdir


class ProgramTestCase(unittest.TestCase):
    """A private virtual display and a scratch working directory (with the
    program's assets) for each test; programs started with start_program are
    stopped at the end."""

    def setUp(self):
        self.display = VirtualDisplay().__enter__()
        self.addCleanup(self.display.__exit__, None, None, None)
        self.workdir = program_workdir()
        self.addCleanup(shutil.rmtree, self.workdir, True)
        self.programs = []

    def tearDown(self):
        for program in self.programs:
            program.kill()

    def start_program(self, workdir=None, **options):
        program = RunningProgram(workdir or self.workdir, **options)
        self.programs.append(program)
        return program

    def wait_until(self, condition, what, timeout=60):
        """Polls condition until it holds; fails the test after timeout seconds."""
        deadline = time.time() + timeout
        while time.time() < deadline:
            if condition():
                return
            time.sleep(0.2)
        self.fail(f"{what} did not happen within {timeout} s")
