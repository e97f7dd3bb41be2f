"""The real program under Wine: its window appears and closing it ends the
process, whatever other processes send it on the way."""
import sys
import time
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

    def test_a_forged_destruction_message_does_not_outlive_the_window(self):
        self.program = self.start_program()
        window = self.program.find_window("MainWindow", "Hello Triangle")
        self.program.post(window, WM_NCDESTROY)
        self.program.post(window, winebench.WM_CLOSE)
        self.assertEqual(self.program.wait(timeout=20), 0, self.program.stderr())

    def test_a_storm_of_messages_from_another_process_is_survived(self):
        trace = self.workdir / "presents.txt"
        self.program = self.start_program(extra_env={"HT_PRESENT_TRACE": str(trace)})
        window = self.program.find_window("MainWindow", "Hello Triangle")
        self.wait_until(lambda: presents(trace) > 0, "a first frame")
        log = self.workdir / "storm.txt"
        # Replay a failure with: winctl storm HANDLE 20261208 4 LOG
        summary = winebench.winctl("storm", window, STORM_SEED, 4, log, timeout=120)
        context = f"storm ({summary.strip()}), last messages:\n" + "\n".join(
            log.read_text().splitlines()[-5:])
        self.assertTrue(self.program.running(), context + self.program.stderr())
        # A forged WM_SIZE may have left buffers of up to 16384 x 16384, slow
        # to draw on the CPU driver; a real size change ends that.
        self.program.move(window, 100, 100, 640, 480)
        after_storm = presents(trace)
        self.wait_until(lambda: presents(trace) > after_storm + 10, "frames after the storm")
        self.program.post(window, winebench.WM_CLOSE)
        self.assertEqual(self.program.wait(timeout=60), 0, context + self.program.stderr())


WM_NCDESTROY = 0x0082
STORM_SEED = 20261208


def presents(trace):
    return trace.read_text().count("present") if trace.exists() else 0


if __name__ == "__main__":
    unittest.main()
