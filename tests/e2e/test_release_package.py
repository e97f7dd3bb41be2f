"""The release zip as a Windows user gets it: built with CPack, unpacked into
a fresh folder and started from there."""
# ctest: LABELS whole_build  # packs the whole build into its zip: runs once it is built
import hashlib
import shutil
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ElementTree
import zipfile
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "bench"))
import winebench  # noqa: E402

VERSION = winebench.paths()["project_version"]
TOP = f"hello-triangle-{VERSION}-win64"
CONTENT = {
    "hello_triangle.exe",
    "angle_server.exe",
    "README.md",
    "docs/desktop.png",
    "docs/desktop-vr.png",
    "docs/desktop-intervals.png",
    "docs/left-0.png",
    "docs/right-0.png",
    "docs/left-30.png",
    "docs/right-30.png",
    "assets/triangle.vert.hlsl",
    "assets/triangle.frag.hlsl",
    "openvr_api.dll",
    "openvr_api-LICENSE.txt",
    "mock-vr-runtime/bin/vrclient_x64.dll",
    "mock-vr-runtime/README.txt",
}
OFFICIAL_VR_CLIENT_SHA256 = "c3314d8822729fb7550d070f75c3efdd2d099965e53416b2901996fc6cee744f"
WINDOWS_10_AND_11 = "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"


def manifest_settings(program):
    """What the program's embedded application manifest, as Windows' loader
    reads it, says: {element name: text or Id or level}."""
    root = ElementTree.fromstring(winebench.winctl("manifest", program))
    settings = {}
    for element in root.iter():
        name = element.tag.rsplit("}", 1)[-1]
        settings[name] = (element.get("Id") or element.get("level") or element.text or "").strip()
    return settings


class ReleasePackage(winebench.ProgramTestCase):
    def make_zip(self):
        output = Path(tempfile.mkdtemp(prefix="ht-package-"))
        self.addCleanup(shutil.rmtree, output, True)
        build = Path(winebench.paths()["build_dir"])
        subprocess.run(["cpack", "--config", str(build / "CPackConfig.cmake"), "-B", str(output)],
                       check=True, capture_output=True, timeout=300)
        return output / f"{TOP}.zip"

    def test_the_zip_holds_the_program_and_runs_where_it_is_unpacked(self):
        package = self.make_zip()
        with zipfile.ZipFile(package) as archive:
            files = {name[len(TOP) + 1:] for name in archive.namelist()
                     if not name.endswith("/")}
            self.assertTrue(all(name.startswith(TOP + "/") for name in archive.namelist()))
            self.assertEqual(files, CONTENT)
            unpacked = Path(tempfile.mkdtemp(prefix="ht-unpacked-"))
            self.addCleanup(shutil.rmtree, unpacked, True)
            archive.extractall(unpacked)
        folder = unpacked / TOP

        self.assertEqual(winebench.winctl("version", folder / "hello_triangle.exe").splitlines(),
                         ["ProductName: Hello Triangle", f"ProductVersion: {VERSION}"])
        self.assert_manifests(folder / "hello_triangle.exe", folder / "angle_server.exe")
        # The signed client library, untouched, with its licence.
        self.assertEqual(hashlib.sha256((folder / "openvr_api.dll").read_bytes()).hexdigest(),
                         OFFICIAL_VR_CLIENT_SHA256)
        self.assertIn("Copyright (c) 2015, Valve Corporation",
                      (folder / "openvr_api-LICENSE.txt").read_text())

        # The feature-level proxy only because this machine's Vulkan is the
        # CPU driver; the zip itself never carries it.
        shutil.copy2(winebench.paths()["d3d12_proxy"], folder / "d3d12.dll")
        # Pointed at the zip's mock runtime as its readme says.
        vr_settings = {"VR_OVERRIDE": winebench.windows_path(folder / "mock-vr-runtime"),
                       "VR_CONFIG_PATH": winebench.windows_path(self.workdir),
                       "VR_LOG_PATH": winebench.windows_path(self.workdir)}
        with self.program(folder, output_dir=self.workdir, with_proxy=False, extra_env=vr_settings,
                          executable=folder / "hello_triangle.exe") as program:
            # Started in its own folder, it compiles the shaders it came with.
            program.wait_until(lambda: (folder / "assets" / "triangle.frag.dxbc").exists(),
                               "the compiled shaders")
            program.wait_until(lambda: "Recommended Render Target Size" in program.stdout(),
                               "a VR session through the zip's client library and mock runtime")
            self.assertEqual(program.stderr().count("fatal"), 0)

    def assert_manifests(self, program, server):
        """Both programs run as Windows 10 and 11 programs with long paths and
        the rights of whoever starts them; the program is per-monitor (v2)
        DPI aware from its start, as its window thread sets at run time."""
        for executable in (program, server):
            with self.subTest(executable=executable.name):
                settings = manifest_settings(executable)
                self.assertEqual(settings["supportedOS"], WINDOWS_10_AND_11)
                self.assertEqual(settings["longPathAware"], "true")
                self.assertEqual(settings["requestedExecutionLevel"], "asInvoker")
        settings = manifest_settings(program)
        self.assertEqual(settings["dpiAwareness"].split(",")[0], "PerMonitorV2")
        self.assertEqual(settings["dpiAware"], "true/pm")

    def test_the_built_programs_carry_their_manifests(self):
        self.assert_manifests(Path(winebench.paths()["program"]),
                              Path(winebench.paths()["angle_server"]))


if __name__ == "__main__":
    winebench.main()
