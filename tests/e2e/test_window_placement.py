"""The real program's window: centred on the screen, scaled by the DPI, and
always on the screen as a whole."""
# ctest: LABELS program_on_bench  # needs only the program and its bench: runs while the rest builds
import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "bench"))
import winebench  # noqa: E402

DPI_KEY = r"HKCU\Control Panel\Desktop"


def set_dpi(dpi):
    """Takes effect for processes started afterwards."""
    code, out, err = winebench.run_windows_tool("reg", "add", DPI_KEY, "/v", "LogPixels",
                                                "/t", "REG_DWORD", "/d", dpi, "/f")
    if code != 0:
        raise winebench.BenchError(f"reg add failed: {out}{err}")


def centred_within(width, height, monitor, work):
    """Where a window of this size lies when centred on its monitor and then
    moved, when it has to be, inside the work area: (left, top)."""
    left = monitor[0] + (monitor[2] - monitor[0] - width) // 2
    top = monitor[1] + (monitor[3] - monitor[1] - height) // 2
    return (min(max(left, work[0]), work[2] - width), min(max(top, work[1]), work[3] - height))


class WindowPlacement(winebench.ProgramTestCase):
    def setUp(self):
        super().setUp()
        self.addCleanup(set_dpi, 96)

    def placement(self, dpi):
        """The window's, its monitor's and its work area's rectangles."""
        set_dpi(dpi)
        with self.program() as program:
            return program.rectangles()

    def test_window_is_centred_and_grows_by_half_at_144_dpi(self):
        found = self.placement(96)
        left, top, right, bottom = found["window"]
        width96, height96 = right - left, bottom - top
        # The frame adds a few pixels to the requested 774 x 774 client area.
        self.assertTrue(774 <= width96 <= 800, width96)
        self.assertEqual((left, top),
                         centred_within(width96, height96, found["monitor"], found["work"]))

        found = self.placement(144)
        left, top, right, bottom = found["window"]
        width144 = right - left
        # MulDiv of the frame rectangle's edge by 144/96; the frame itself may
        # differ by a pixel or two at the higher DPI.
        self.assertAlmostEqual(width144, width96 * 1.5, delta=3)
        self.assertEqual((left, top),
                         centred_within(width144, bottom - top, found["monitor"], found["work"]))

    def test_at_150_percent_on_a_1080_pixel_screen_the_whole_window_is_on_it(self):
        # The commonest laptop set-up: the scaled window is taller than the
        # screen, so it is cut to the work area rather than its caption lost
        # above the screen.
        with winebench.private_display("1920x1080x24"):
            found = self.placement(144)
        left, top, right, bottom = found["window"]
        work_left, work_top, work_right, work_bottom = found["work"]
        self.assertEqual(found["monitor"], (0, 0, 1920, 1080))
        self.assertGreaterEqual(left, work_left)
        self.assertGreaterEqual(top, work_top)
        self.assertLessEqual(right, work_right)
        self.assertLessEqual(bottom, work_bottom)
        self.assertEqual(bottom - top, work_bottom - work_top)  # as tall as the work area allows


if __name__ == "__main__":
    winebench.main()
