"""The real program's window: centred on the screen, scaled by the DPI, and
always on the screen as a whole."""
import re
import subprocess
import sys
import unittest
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


def screen_size():
    dimensions = subprocess.run(["xdpyinfo"], check=True, capture_output=True, text=True).stdout
    width, height = re.search(r"dimensions:\s+(\d+)x(\d+)", dimensions).groups()
    return int(width), int(height)


class WindowPlacement(winebench.ProgramTestCase):
    def setUp(self):
        super().setUp()
        self.addCleanup(set_dpi, 96)

    def window_rectangle(self, dpi):
        set_dpi(dpi)
        with self.program() as program:
            return program.rectangles()["window"]

    def test_window_is_centred_and_grows_by_half_at_144_dpi(self):
        screen_width, screen_height = screen_size()
        left, top, right, bottom = self.window_rectangle(96)
        width96, height96 = right - left, bottom - top
        # The frame adds a few pixels to the requested 774 x 774 client area.
        self.assertTrue(774 <= width96 <= 800, width96)
        self.assertEqual(left, (screen_width - width96) // 2)
        self.assertEqual(top, (screen_height - height96) // 2)

        left, top, right, bottom = self.window_rectangle(144)
        width144 = right - left
        # MulDiv of the frame rectangle's edge by 144/96; the frame itself may
        # differ by a pixel or two at the higher DPI.
        self.assertAlmostEqual(width144, width96 * 1.5, delta=3)
        self.assertEqual(left, int((screen_width - width144) / 2))

    def test_at_150_percent_on_a_1080_pixel_screen_the_whole_window_is_on_it(self):
        # The commonest laptop set-up: the scaled window is taller than the
        # screen, so it is cut to the screen rather than its caption lost above.
        with winebench.private_display("1920x1080x24"):
            left, top, right, bottom = self.window_rectangle(144)
        self.assertGreaterEqual(left, 0)
        self.assertGreaterEqual(top, 0)
        self.assertLessEqual(right, 1920)
        self.assertLessEqual(bottom, 1080)
        self.assertGreater(bottom - top, 1000)  # as tall as the screen allows


if __name__ == "__main__":
    unittest.main()
