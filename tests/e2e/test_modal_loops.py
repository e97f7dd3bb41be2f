"""The window and the headset never wait for each other: the real program
under Wine, beside the real VR client library with the mock runtime behind
it, while the system runs its modal loops for the window (moving, sizing, the
window menu, a caption drag, a caption button held down) and while it is
minimised. (While the runtime takes seconds to open the session: in
test_vr_output.py.)

The bench's displays have no window manager, so Wine frames the window itself
and runs the same move, size and menu loops that Windows runs."""
# ctest: LABELS whole_build  # needs everything built
# ctest: LABELS quiet_machine  # measures the headset's pace: runs last, the machine quiet
# ctest: RUN_SERIAL TRUE  # and alone
import contextlib
import sys
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "bench"))
import winebench  # noqa: E402

WM_SYSCOMMAND, SC_SIZE, SC_MOVE, SC_KEYMENU = 0x0112, 0xF000, 0xF010, 0xF100
WM_KEYDOWN, VK_ESCAPE, VK_RETURN, VK_RIGHT = 0x0100, 0x1B, 0x0D, 0x27
HTCAPTION, HTCLOSE = 2, 20
# The program's timers of the window manager fire on Windows' default timer
# tick, as on Windows (the test-only d3d12.dll), not when Wine would.
WINDOWS_TICK = {"HT_TIMER_TICK_MS": "15.625"}
# A modal loop is held until this many right-eye submissions came during it:
# 2 s at the program's 60 frames a second, about 2.5 s on the bench.
HELD_FOR = 120
# The runtime's deadline after a Quit that nobody acknowledges.
ENDED_BY_THE_RUNTIME = "the application did not exit in time after Quit: ending it"


class HeadsetAndWindow(winebench.ProgramTestCase):
    def program_with(self, env=None, **settings):
        """The program beside the real client library, the mock runtime set
        up by settings (HT_MOCK_VR_*), with env besides."""
        self.vr = self.scratch("vr-")
        mock = {f"HT_MOCK_VR_{name.upper()}": str(value) for name, value in settings.items()}
        return self.program(extra_env={**mock, **(env or {})}, vr_output=self.vr)

    def log(self):
        return winebench.mock_runtime_log(self.vr / "log.txt")

    def call_names(self):
        return winebench.runtime_call_names(self.vr / "log.txt")

    def lines(self):
        return winebench.runtime_lines(self.vr / "log.txt")

    def right_eye_submissions(self):
        return winebench.submission_times(self.vr / "log.txt", eye=1)

    def wait_for_submissions(self, program, count, after_ns):
        program.wait_until(
            lambda: len([t for t in self.right_eye_submissions() if t > after_ns]) >= count,
            f"{count} right-eye submissions")

    def enter(self, program, loop, start):
        """Starts the loop with start() and waits until the system reports the
        window's thread inside it; the host's time by then (the runtime's log
        uses the same clock)."""
        start()
        program.wait_until(lambda: program.modal_loop() == loop, f"the {loop} loop")
        return time.time_ns()

    def leave(self, program):
        """Ends a move, size or menu loop as a person does, with Esc (a menu
        takes one per level), pressed again at each look until it has ended."""
        def ended():
            if program.modal_loop() == "none":
                return True
            program.post(WM_KEYDOWN, VK_ESCAPE, 0)
            return False
        program.wait_until(ended, "the loop's end after Esc")

    def assert_paced_as_before(self, before, during, what, rate_share=0.8, usual_gap_share=1.3):
        """The pace during a loop against the pace before it. The longest gap
        is one scheduling hiccup of a busy machine and can only show a stall;
        frames that wait for a timer tick show in most gaps, so the gap that
        95 in 100 stay within is what is compared."""
        self.assertGreaterEqual(during.rate, rate_share * before.rate,
                                f"{what}: {during}, before: {before}")
        self.assertLessEqual(during.usual_longest_gap_ms,
                             usual_gap_share * before.usual_longest_gap_ms,
                             f"{what}: {during}, before: {before}")
        self.assertLessEqual(during.longest_gap_ms, 100, f"{what}: {during}")

    def pacing_since(self, start):
        # The time first: every submission before it is in the log by then.
        now = time.time_ns()
        return winebench.Pacing(self.right_eye_submissions(), start, now)

    def pacing_before(self):
        times = self.right_eye_submissions()[-HELD_FOR:]
        return winebench.Pacing(times, times[0], times[-1])

    def held(self, program, loop, start, meanwhile=lambda entered: None, end=None):
        """Starts a loop, does meanwhile(entered) inside it and holds it until
        HELD_FOR submissions came during it, then ends it with end() (Esc by
        default); the pacing before and during."""
        before = self.pacing_before()
        entered = self.enter(program, loop, start)
        meanwhile(entered)
        self.wait_for_submissions(program, HELD_FOR, entered)
        during = self.pacing_since(entered)
        self.assertEqual(program.modal_loop(), loop, "the loop ended early")
        (end or (lambda: self.leave(program)))()
        program.wait_until(lambda: program.modal_loop() == "none", f"the end of the {loop} loop")
        return before, during

    def press(self, program, *keys):
        for key in keys:
            program.post(WM_KEYDOWN, key, 0)

    def test_frames_go_on_while_the_window_is_moved_sized_minimised_or_its_menu_is_open(self):
        # The pace alone is judged: the runtime reads no image back and writes
        # none, whose copies and files would take the machine's time.
        with self.program_with(images=0, env=WINDOWS_TICK) as program:
            self.wait_for_submissions(program, HELD_FOR, 0)

            def command(number, parameter=0):
                return lambda: program.post(WM_SYSCOMMAND, number, parameter)

            def edge_chosen_halfway(entered):
                # Until an arrow picks an edge, the size loop takes messages
                # without dispatching them; the next arrows move the edge.
                self.wait_for_submissions(program, HELD_FOR // 2, entered)
                self.press(program, VK_RIGHT, VK_RIGHT, VK_RIGHT)

            client_before = program.rectangles()["client"]
            for what, loop, start, meanwhile, end in [
                    ("moved from its menu", "move-size", command(SC_MOVE), None, None),
                    ("sized from its menu", "move-size", command(SC_SIZE), edge_chosen_halfway,
                     lambda: self.press(program, VK_RETURN)),
                    ("its menu open", "menu", command(SC_KEYMENU, ord(" ")), None, None)]:
                before, during = self.held(program, loop, start, meanwhile or (lambda _: None), end)
                self.assert_paced_as_before(before, during, what)
            self.assertGreater(program.rectangles()["client"][2], client_before[2], "not sized")
            self.assert_picture_fits_the_window(program)

            # Dragged by its caption with the mouse moving all the while, so
            # that the system's loop always has a message to take: the frames
            # keep the pace they had with the mouse moving over the window
            # just before, gaps included.
            left, top, right, bottom = program.rectangles()["client"]
            with winebench.mouse_moving((left + right) // 2, (top + bottom) // 2):
                self.wait_for_submissions(program, HELD_FOR, time.time_ns())
            left, top, _, _ = program.rectangles()["window"]
            x, y = program.hit_point(HTCAPTION)
            with contextlib.ExitStack() as moving:
                before, during = self.held(
                    program, "move-size",
                    lambda: winebench.mouse("mousemove", x, y, "mousedown", 1),
                    lambda _: moving.enter_context(winebench.mouse_moving(x - 40, y + 30)),
                    end=lambda: (moving.close(), winebench.mouse("mouseup", 1)))
            self.assert_paced_as_before(before, during, "dragged with the mouse moving",
                                        rate_share=0.95, usual_gap_share=1.2)
            self.assertEqual(program.rectangles()["window"][:2], (left - 40, top + 30))

            before = self.pacing_before()
            program.show(winebench.SW_MINIMIZE)
            program.wait_until(program.minimised, "the window minimised")
            minimised = time.time_ns()
            self.wait_for_submissions(program, HELD_FOR, minimised)
            self.assert_paced_as_before(before, self.pacing_since(minimised), "minimised")

    def assert_picture_fits_the_window(self, program):
        """The buffers presented after a size loop have the client area's
        size: the picture is not stretched."""
        program.wait_for_frames(2)
        left, top, right, bottom = program.rectangles()["client"]
        self.assertEqual(program.last_present_size(), (right - left, bottom - top))

    def test_frames_go_on_while_the_close_button_is_held_and_its_release_ends_the_program(self):
        # The system's loop for a held caption button takes only mouse
        # messages.
        with self.program_with(images=0, env=WINDOWS_TICK) as program:
            self.wait_for_submissions(program, HELD_FOR, 0)
            x, y = program.hit_point(HTCLOSE)
            before = self.pacing_before()
            try:
                entered = self.enter(program, "captured",
                                     lambda: winebench.mouse("mousemove", x, y, "mousedown", 1))
                self.wait_for_submissions(program, HELD_FOR, entered)
                during = self.pacing_since(entered)
            finally:
                winebench.mouse("mouseup", 1)
            program.expect_exit(0)
        self.assert_paced_as_before(before, during, "the close button held")

    def test_a_quit_from_the_runtime_during_a_caption_drag_ends_the_program_with_the_mouse_held(self):
        trigger = self.workdir / "quit-now"
        with self.program_with(quit_when=winebench.windows_path(trigger)) as program:
            self.wait_for_submissions(program, 10, 0)
            x, y = program.hit_point(HTCAPTION)
            try:
                self.enter(program, "move-size", lambda: winebench.mouse(
                    "mousemove", x, y, "mousedown", 1, "mousemove", x + 30, y + 20))
                trigger.touch()
                program.expect_exit(0, timeout=30)
            finally:
                winebench.mouse("mouseup", 1)
        self.assertNotIn(ENDED_BY_THE_RUNTIME, self.lines())
        calls = self.call_names()
        after = calls[calls.index("Quit") + 1:]
        # Polled at the next VR frame, acknowledged at once, nothing submitted
        # after it, the session shut down.
        self.assertEqual(after[-4:-2], ["PollNextEvent", "AcknowledgeQuit_Exiting"])
        self.assertEqual(self.lines()[-2:], [winebench.RUNTIME_LETS_GO, "Cleanup"])
        self.assertNotIn("WaitGetPoses", after)
        self.assertEqual(after.count("Submit"), 2, "only the frame the Quit came in")
        self.assertIn("The VR runtime asked the program to quit.\n", program.stdout())

    def test_a_close_during_a_move_loop_ends_the_program(self):
        with self.program_with() as program:
            self.wait_for_submissions(program, 10, 0)
            self.enter(program, "move-size", lambda: program.post(WM_SYSCOMMAND, SC_MOVE, 0))
            program.close()
        self.assertEqual(self.call_names()[-1], "Cleanup")



if __name__ == "__main__":
    winebench.main()
