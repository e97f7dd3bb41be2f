"""The program's pipe client against real named pipes served by angle_server."""
# ctest: LABELS program_on_bench  # needs only the program and its bench: runs while the rest builds
import subprocess
import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "bench"))
import winebench  # noqa: E402

CONNECTED = "Connected to the pipe."


class AnglePipe(winebench.ProgramTestCase):
    def serve(self, *items):
        code, out, err = winebench.angle_server(*items)
        self.assertEqual(code, 0, out + err)
        return out

    def test_serves_late_servers_split_frames_and_restarts(self):
        with self.program() as program:
            program.wait_for_frames(30)  # no server yet: nothing is printed and rendering goes on
            self.assertNotIn(CONNECTED, program.stdout())

            out = self.serve("90")  # a server started late is connected to
            self.assertIn("90 -> 1 x SUCCESS", out)

            # Two frames in one write: two replies (90.0 and -45.5 degrees).
            self.assertIn("raw:0000B442000036C2 -> 2 x SUCCESS", self.serve("raw:0000B442000036C2"))

            # A short write makes the client drop the connection and come back.
            out = self.serve("raw:0000", "reconnect", "45")
            self.assertIn("reconnected", out)
            self.assertIn("45 -> 1 x SUCCESS", out)

            for angle in ("10", "20", "30"):  # a server restarted three times
                self.assertIn(f"{angle} -> 1 x SUCCESS", self.serve(angle))

            self.assertEqual(program.stdout().count(CONNECTED), 1, program.stdout())

    def test_companion_server_reports_bad_input_and_a_taken_pipe(self):
        with self.program():
            code, out, err = winebench.angle_server("12", "twelve")
            self.assertEqual(code, 2)
            self.assertIn("'twelve' is not a number", err)

            code, out, err = winebench.angle_server("--stdin", stdin_text="5\n7.5\nseven\n")
            self.assertEqual(code, 2, out + err)
            self.assertIn("5 -> 1 x SUCCESS", out)  # acknowledged before the bad line
            self.assertIn("7.5 -> 1 x SUCCESS", out)
            self.assertIn("'seven' is not a number", err)

            first_output = self.workdir / "first-server.txt"
            with first_output.open("wb") as output:
                first = subprocess.Popen(
                    [winebench.wine_run(), winebench.paths()["angle_server"], "--stdin"],
                    stdin=subprocess.PIPE, stdout=output, stderr=subprocess.DEVNULL)
            try:
                winebench.wait_until(lambda: "waiting for the client" in first_output.read_text(),
                                     "the first server's pipe")
                code, out, err = winebench.angle_server("1")
                self.assertEqual(code, 3, out + err)
                self.assertIn("already exists", err)
            finally:
                first.communicate(input=b"", timeout=60)
            self.assertEqual(first.returncode, 0)


if __name__ == "__main__":
    winebench.main()
