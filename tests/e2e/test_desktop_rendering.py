"""The real program draws through Direct3D 12 under Wine (via the test proxy)."""
# ctest: LABELS program_on_bench  # needs only the program and its bench: runs while the rest builds
import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "bench"))
import winebench  # noqa: E402

CLEAR_GREY = (51, 51, 51)  # 0.2 of 255


class DesktopRendering(winebench.ProgramTestCase):
    def wait_for_clear_colour(self, program, x=10, y=10):
        program.wait_until(lambda: program.client_pixel(x, y) == CLEAR_GREY,
                           f"the clear colour at ({x}, {y})")

    def minimise_and_restore(self, program):
        program.show(winebench.SW_MINIMIZE)
        program.wait_until(program.minimised, "the minimised window")
        program.show(winebench.SW_RESTORE)
        program.wait_until(lambda: not program.minimised(), "the restored window")
        program.wait_for_frames(5)

    def test_presents_the_clear_colour_and_survives_resizing_and_minimising(self):
        with self.program() as program:
            self.wait_for_clear_colour(program)
            # Without a VR session the face ahead of the desktop camera is
            # culled, so the whole client area shows the clear colour.
            for x, y in [(10, 10), (380, 380), (700, 700)]:
                self.assertEqual(program.client_pixel(x, y), CLEAR_GREY)
            program.move(50, 40, 500, 300)
            self.minimise_and_restore(program)
            self.wait_for_clear_colour(program, 20, 20)

    def assert_scene_fills_the_client_area(self, program):
        """Near every corner of the client area the scene shows, not the
        clear colour: the viewport and scissor follow the window's size."""
        left, top, right, bottom = program.rectangles()["client"]
        width, height = right - left, bottom - top
        for x, y in [(5, 5), (width - 6, 5), (5, 100), (width - 6, 100), (5, height - 6),
                     (width - 6, height - 6), (width // 2, height // 2)]:
            self.assertNotEqual(program.client_pixel(x, y), CLEAR_GREY,
                                f"({x}, {y}) of {width} x {height}")

    def test_with_a_vr_session_the_mirrored_scene_follows_resizing_and_minimising(self):
        with self.program(vr_output=self.workdir / "vr") as program:
            # From the second frame on the desktop shows the right eye's view.
            program.wait_until(lambda: program.client_pixel(380, 100) != CLEAR_GREY,
                               "the mirrored scene")
            program.move(30, 20, 1000, 900)
            program.wait_for_frames(5)
            self.assert_scene_fills_the_client_area(program)
            self.minimise_and_restore(program)
            self.assert_scene_fills_the_client_area(program)

    def test_writes_the_bytecode_beside_the_sources_on_every_start(self):
        assets = self.workdir / "assets"
        with self.program() as program:
            program.wait_for_frames(1)
            for name in ("triangle.vert.dxbc", "triangle.frag.dxbc"):
                self.assertEqual((assets / name).read_bytes()[:4], b"DXBC", name)
                (assets / name).write_bytes(b"stale")
        with self.program() as again:
            again.wait_for_frames(1)
            for name in ("triangle.vert.dxbc", "triangle.frag.dxbc"):
                self.assertEqual((assets / name).read_bytes()[:4], b"DXBC", name)

    def test_without_assets_it_reports_the_compiler_and_keeps_running(self):
        workdir = self.scratch("no-assets-")
        with self.program(workdir) as program:
            self.wait_for_clear_colour(program, 100, 100)
            self.assertIn("D3DCompileFromFile", program.stdout())
        self.assertFalse(list(workdir.glob("**/*.dxbc")))


if __name__ == "__main__":
    winebench.main()
