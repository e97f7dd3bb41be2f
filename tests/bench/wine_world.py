"""A Wine world of a test's own, so that tests run side by side (ctest -j)
share nothing through Wine: a prefix cloned from the build tree's, with its own
Wine server (and so its own windows and named pipes), registry and user profile
(the VR path registry), on a virtual display of its own. What a test changes
there (the DPI, the path registry) goes with the world, however the test ends.

As a command it runs another command in such a world, named for the test:
    wine_world.py NAME COMMAND [ARGUMENT ...]
The build tree is HT_BUILD_DIR's (see winebench.paths).
"""
import fcntl
import os
import shutil
import subprocess
import sys
from pathlib import Path

import winebench
from virtual_display import VirtualDisplay, run_inside

# Wine writes none of these once the prefix is made (the system's DLLs and
# programs, most of its 700 MB), so a world shares them through hard links; it
# copies the rest, which a run may write in place. Only a newer Wine would
# write them, updating the prefix: the build tree's prefix is then made anew
# (wine-run --prepare-prefix), never updated under the worlds' links.
SHARED_FOLDERS = ("drive_c/windows", "drive_c/Program Files", "drive_c/Program Files (x86)")
WRITTEN_IN_PLACE = (".ini",)


def prepare_template(template):
    """Makes the build tree's prefix once, whichever world asks first."""
    with open(f"{template}.lock", "w") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        subprocess.run([winebench.wine_run(), "--prepare-prefix"], check=True,
                       env={k: v for k, v in os.environ.items() if k != "HT_WINEPREFIX"})


def link_or_copy(template):
    def place(source, destination):
        relative = Path(source).relative_to(template).as_posix()
        shared = any(relative.startswith(folder + "/") for folder in SHARED_FOLDERS)
        if shared and not relative.endswith(WRITTEN_IN_PLACE):
            os.link(source, destination)
        else:
            shutil.copy2(source, destination)

    return place


def process_alive(pid):
    try:
        os.kill(pid, 0)
    except ProcessLookupError:
        return False
    except PermissionError:
        return True
    return True


def stop_server(prefix):
    subprocess.run(["wineserver", "--kill"], env=dict(os.environ, WINEPREFIX=str(prefix)),
                   check=False, timeout=60)


def remove_abandoned_worlds(worlds):
    """Worlds whose test was killed (a time-out) before it could remove them,
    their Wine server, which stays until it is told, included."""
    for world in worlds.glob("*-*"):
        pid = world.name.rsplit("-", 1)[1]
        if pid.isdigit() and not process_alive(int(pid)):
            stop_server(world)
            remove_server_folder(world)
            shutil.rmtree(world, ignore_errors=True)


def start_server(prefix):
    """Starts the world's Wine server, to stay until the world ends, and runs
    one program to its end on it. Two programs that start together in a
    prefix that never ran one each make the server's folder, and one of them
    then fails ("chdir to /tmp/wine-...: No such file or directory"). A server
    that ended after each test's last program, as it does by default a few
    seconds after its last client, would be started again by the next one:
    once in a while, under load, a program then started as the old server
    went away never showed its window."""
    subprocess.run(["wineserver", "--persistent"], env=dict(os.environ, WINEPREFIX=str(prefix)),
                   check=True, timeout=60)
    subprocess.run([winebench.wine_run(), "cmd", "/c", "exit"], check=True,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=120)


def remove_server_folder(prefix):
    """The folder under /tmp that Wine made for the world's server (the
    prefix's file "wineserver" names it), or every world would leave one."""
    named = prefix / "wineserver"
    if named.exists():
        folder = Path("/tmp") / named.read_text().strip()
        if folder.name.startswith("wine-"):
            shutil.rmtree(folder, ignore_errors=True)


class WineWorld:
    """A context manager: inside, every Windows program the bench starts runs
    in the world (wine-run reads HT_WINEPREFIX)."""

    def __init__(self, name):
        self.template = Path(winebench.paths()["wineprefix"])
        self.prefix = self.template.parent / "wine-worlds" / f"{name}-{os.getpid()}"
        self.display = VirtualDisplay(str(self.prefix), private=True)

    def __enter__(self):
        prepare_template(self.template)
        remove_abandoned_worlds(self.prefix.parent)
        shutil.rmtree(self.prefix, ignore_errors=True)
        self.prefix.parent.mkdir(exist_ok=True)
        shutil.copytree(self.template, self.prefix, symlinks=True,
                        copy_function=link_or_copy(self.template),
                        ignore=shutil.ignore_patterns("wineserver"))
        os.environ["HT_WINEPREFIX"] = str(self.prefix)
        self.display.__enter__()
        start_server(self.prefix)
        return self

    def __exit__(self, *exc):
        try:
            self.display.__exit__(*exc)  # the world's Wine server goes with it
        finally:
            os.environ.pop("HT_WINEPREFIX", None)
            remove_server_folder(self.prefix)
            shutil.rmtree(self.prefix, ignore_errors=True)
        return False


def main():
    return run_inside(WineWorld, "wine_world.py NAME COMMAND [ARGUMENT ...]")


if __name__ == "__main__":
    sys.exit(main())
