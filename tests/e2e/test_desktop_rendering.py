"""The real program draws through Direct3D 12 under Wine (via the test proxy)."""
import shutil
import sys
import time
import unittest
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "bench"))
import winebench  # noqa: E402

CLEAR_GREY = 51       # 0.2 of 255
BACKGROUND_GREY = 30  # the window class's brush
SW_MINIMIZE, SW_RESTORE = 6, 9


class DesktopRendering(winebench.ProgramTestCase):
    def start(self, with_assets=True, extra_env=None):
        workdir = self.workdir
        if not with_assets:
            workdir = winebench.program_workdir(with_assets=False)
            self.addCleanup(shutil.rmtree, workdir, True)
        return self.start_program(workdir, extra_env=extra_env)

    def wait_for_clear_colour(self, program, window, x=10, y=10, timeout=60):
        """Device creation and shader compilation take seconds on the CPU driver."""
        deadline = time.time() + timeout
        while time.time() < deadline:
            if program.client_pixel(window, x, y) == (CLEAR_GREY,) * 3:
                return
            self.assertTrue(program.running(), program.stderr())
            time.sleep(0.5)
        self.fail(f"no frame presented within {timeout} s: {program.stderr()}")

    def close(self, program, window):
        program.post(window, winebench.WM_CLOSE)
        self.assertEqual(program.wait(timeout=30), 0, program.stderr())

    def test_presents_the_clear_colour_and_survives_resizing_and_minimising(self):
        program = self.start()
        window = program.find_window("MainWindow", "Hello Triangle")
        self.wait_for_clear_colour(program, window)
        # Without a VR session the face ahead of the desktop camera is culled,
        # so the whole client area shows the clear colour.
        for x, y in [(10, 10), (380, 380), (700, 700)]:
            self.assertEqual(program.client_pixel(window, x, y), (CLEAR_GREY,) * 3)

        program.move(window, 50, 40, 500, 300)
        program.show(window, SW_MINIMIZE)
        time.sleep(1)
        program.show(window, SW_RESTORE)
        self.wait_for_clear_colour(program, window, 20, 20)
        self.close(program, window)

    def assert_scene_fills_the_client_area(self, program, window):
        """Near every corner of the client area the scene shows, not the
        clear colour: the viewport and scissor follow the window's size."""
        left, top, right, bottom = program.rectangles(window)["client"]
        width, height = right - left, bottom - top
        for x, y in [(5, 5), (width - 6, 5), (5, 100), (width - 6, 100), (5, height - 6),
                     (width - 6, height - 6), (width // 2, height // 2)]:
            self.assertNotEqual(program.client_pixel(window, x, y), (CLEAR_GREY,) * 3,
                                f"({x}, {y}) of {width} x {height}")

    def test_with_a_vr_session_the_mirrored_scene_follows_resizing_and_minimising(self):
        program = self.start_program(vr_output=self.workdir / "vr")
        window = program.find_window("MainWindow", "Hello Triangle")
        # From the second frame on the desktop shows the right eye's view.
        self.wait_until(lambda: program.client_pixel(window, 380, 100) != (CLEAR_GREY,) * 3,
                        "the mirrored scene")
        program.move(window, 30, 20, 1000, 900)
        time.sleep(2)
        self.assert_scene_fills_the_client_area(program, window)
        program.show(window, SW_MINIMIZE)
        time.sleep(1)
        program.show(window, SW_RESTORE)
        time.sleep(2)
        self.assert_scene_fills_the_client_area(program, window)
        self.close(program, window)

    def test_writes_the_bytecode_beside_the_sources_on_every_start(self):
        program = self.start()
        assets = program.workdir / "assets"
        window = program.find_window("MainWindow", "Hello Triangle")
        self.wait_for_clear_colour(program, window)
        for name in ("triangle.vert.dxbc", "triangle.frag.dxbc"):
            self.assertEqual((assets / name).read_bytes()[:4], b"DXBC", name)
            (assets / name).write_bytes(b"stale")
        self.close(program, window)

        again = self.start_program()
        window = again.find_window("MainWindow", "Hello Triangle")
        self.wait_for_clear_colour(again, window)
        for name in ("triangle.vert.dxbc", "triangle.frag.dxbc"):
            self.assertEqual((assets / name).read_bytes()[:4], b"DXBC", name)
        self.close(again, window)

    def test_without_assets_it_reports_the_compiler_and_keeps_running(self):
        program = self.start(with_assets=False)
        window = program.find_window("MainWindow", "Hello Triangle")
        self.wait_for_clear_colour(program, window, 100, 100)
        self.assertIn("D3DCompileFromFile", program.stdout())
        self.close(program, window)
        self.assertFalse(list(program.workdir.glob("**/*.dxbc")))


if __name__ == "__main__":
    unittest.main()
