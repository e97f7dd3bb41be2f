"""The real program under Wine: its window appears and closing it ends the
process, whatever other processes send it on the way."""
# ctest: LABELS program_on_bench  # needs only the program and its bench: runs while the rest builds
import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "bench"))
import winebench  # noqa: E402

WM_NCDESTROY = 0x0082
STORM_SEED = 20261208


class ProgramLifecycle(winebench.ProgramTestCase):
    def test_window_appears_and_closing_it_exits_with_code_zero(self):
        # The VR session's outcome is known before the first frame; a window
        # closed before that ends the program without a word about VR.
        with self.program() as program:
            program.wait_for_frames(1)
        # Without the VR client library the one line on the error stream says so.
        lines = program.stderr().splitlines()
        self.assertEqual(len(lines), 1, lines)
        self.assertEqual(lines[0], "OpenVR initialization failed: "
                         "openvr_api.dll was not found (no VR runtime installed)")

    def test_the_caption_moves_the_window_and_its_close_button_ends_the_program(self):
        # Clicks on the display, which Wine's frame routes through the
        # window's hit test as Windows does.
        with self.program() as program:
            program.wait_for_frames(1)
            _, caption_y = program.hit_point(winebench.HTCLOSE)
            left, top, _, _ = program.rectangles()["window"]
            winebench.mouse("mousemove", left + 100, caption_y, "mousedown", "1",
                            "mousemove", left + 160, caption_y + 40, "mouseup", "1")
            program.wait_until(lambda: program.rectangles()["window"][:2] == (left + 60, top + 40),
                               "the window moved by the drag of its caption")
            close_x, close_y = program.hit_point(winebench.HTCLOSE)
            winebench.mouse("mousemove", close_x - 4, close_y, "click", "1")
            program.expect_exit(0)

    def test_started_as_explorer_starts_it_a_fatal_error_shows_a_dialog(self):
        # The test-only proxy fails every device creation, as on a machine
        # whose adapters all lack feature level 12_0.
        failing = winebench.stage_program(self.scratch("failing-"))
        no_device = {"HT_FAIL_CALL": "D3D12CreateDevice"}
        with winebench.ExplorerStart(failing, {"WINEDEBUG": "-all,+debugstr", **no_device}) as start:
            dialog = start.find_window(winebench.MESSAGE_BOX, "Hello Triangle")
            self.assertIsNotNone(dialog, "no dialog")
            text = winebench.winctl("text", dialog)
            self.assertIn("Direct3D 12 at feature level 12_0", text)
            self.assertIn("Update the graphics driver", text)
            self.assertIn("Details: fatal: D3D12CreateDevice(", text)
            winebench.winctl("post", dialog, winebench.WM_COMMAND, winebench.IDOK, 0)
            self.assertEqual(start.wait(), 1)
        # Nowhere to print, the line still reached the debugger's output.
        self.assertIn("fatal: D3D12CreateDevice(", start.wine_output.read_text(errors="replace"))

        # From a shell whose streams are redirected: the line, no dialog.
        with self.program(executable=failing, window=None, extra_env=no_device) as program:
            program.expect_exit(1)
        self.assertIn("fatal: D3D12CreateDevice(", program.stderr())

        # A start that succeeds shows no dialog and ends with 0 when closed.
        good = winebench.stage_program(self.scratch("good-"), with_assets=True)
        with winebench.ExplorerStart(good) as start:
            window = start.find_window(*winebench.MAIN_WINDOW)
            self.assertIsNotNone(window, "no main window")
            self.assertIsNone(start.find_window(winebench.MESSAGE_BOX, "Hello Triangle", 0))
            winebench.winctl("post", window, winebench.WM_CLOSE, 0, 0)
            self.assertEqual(start.wait(), 0)

    def test_a_forged_destruction_message_does_not_outlive_the_window(self):
        with self.program() as program:
            program.post(WM_NCDESTROY)

    def test_a_storm_of_messages_from_another_process_is_survived(self):
        with self.program() as program:
            program.wait_for_frames(1)
            log = self.workdir / "storm.txt"
            # One second posts over ten thousand messages, what a thread's queue
            # holds on Windows; Wine holds any number, and the program pumps
            # them all before its next frame, so a longer storm only makes the
            # wait for that frame longer.
            # Replay a failure with: winctl storm HANDLE 20261208 1 LOG
            summary = winebench.winctl("storm", program.window, STORM_SEED, 1, log, timeout=120)
            context = f"storm ({summary.strip()}), last messages:\n" + "\n".join(
                log.read_text().splitlines()[-5:])
            self.assertTrue(program.running(), context)
            program.wait_for_frames(10)


if __name__ == "__main__":
    winebench.main()
