"""The real program under Wine: its window appears and closing it ends the process."""
import sys
import unittest
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "bench"))
import winebench  # noqa: E402


class ProgramLifecycle(winebench.ProgramTestCase):
    def test_window_appears_and_closing_it_exits_with_code_zero(self):
        self.program = self.start_program()
        window = self.program.find_window("MainWindow", "Hello Triangle")
        self.program.post(window, winebench.WM_CLOSE)
        self.assertEqual(self.program.wait(timeout=20), 0, self.program.stderr())
        # Without a VR runtime the one line on the error stream says so.
        lines = self.program.stderr().splitlines()
        self.assertEqual(len(lines), 1, lines)
        self.assertTrue(lines[0].startswith("OpenVR initialization failed: "), lines[0])


if __name__ == "__main__":
    unittest.main()
