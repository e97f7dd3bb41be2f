"""VR output of the real program with the mock headset runtime under Wine."""
import re
import shutil
import sys
import time
import unittest
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "bench"))
import winebench  # noqa: E402

FAILED = "OpenVR initialization failed: "
CLEAR_GREY = (51, 51, 51)


def grey(image, x, y):
    width, _, pixels = image
    return pixels[3 * (y * width + x)]


def column_mean(image, x):
    _, height, _ = image
    return sum(grey(image, x, y) for y in range(height)) / height


class VrOutput(winebench.ProgramTestCase):
    def program_with(self, mock=True, **settings):
        """The program with the mock runtime set up by settings (HT_MOCK_VR_*)."""
        env = {f"HT_MOCK_VR_{name.upper()}": str(value) for name, value in settings.items()}
        self.vr = self.scratch("vr-")
        self.current = self.program(extra_env=env, vr_output=self.vr if mock else None)
        return self.current

    def log(self):
        path = self.vr / "log.txt"
        return path.read_text().splitlines() if path.exists() else []

    def submissions(self):
        return [line for line in self.log() if " Submit " in line]

    def frames(self):
        """The VR frames in the log, each its pose wait's fields and its
        submissions' fields."""
        found = []
        for line in self.log():
            fields = dict(re.findall(r"(\w+)=(\S+)", line), time=line.split()[0])
            if " WaitGetPoses " in line:
                found.append({"wait": fields, "submits": []})
            elif " Submit " in line and found:
                found[-1]["submits"].append(fields)
        return found

    def complete_frames(self):
        return [frame for frame in self.frames() if len(frame["submits"]) == 2]

    def wait_for_vr_frames(self, program, count, after_ns=0):
        """count complete VR frames whose pose wait returned after after_ns
        (a frame reads the angle after its pose wait)."""
        def later():
            return [f for f in self.complete_frames() if int(f["wait"]["time"]) > after_ns]
        program.wait_until(lambda: len(later()) >= count, f"{count} VR frames")
        return later()[:count]

    def assert_every_image_shows_the_scene(self, frames):
        for number, frame in enumerate(frames, 1):
            for submitted in frame["submits"]:
                self.assertEqual(submitted["result"], "0", (number, submitted))
                self.assertGreater(int(submitted["colours"]), 1, (number, submitted))

    def assert_shut_down(self):
        self.assertTrue(self.log()[-1].endswith("VR_ShutdownInternal"), self.log()[-3:])

    def test_renders_and_submits_both_eyes_and_follows_the_pipe_angle(self):
        with self.program_with() as program:
            frames = self.wait_for_vr_frames(program, 3)
            self.assertEqual(program.stdout().splitlines()[0],
                             "Recommended Render Target Size: 320 x 360")
            self.assertEqual(program.stderr(), "")
            for frame in frames:
                for eye, submitted in enumerate(frame["submits"]):
                    self.assertEqual((submitted["eye"], submitted["type"], submitted["colorSpace"],
                                      submitted["nodeMask"], submitted["size"], submitted["bounds"],
                                      submitted["flags"], submitted["result"]),
                                     (str(eye), "4", "1", "0", "320x360", "none", "0", "0"))

            before = winebench.read_ppm(self.vr / "left.ppm")
            self.assertEqual(before[:2], (320, 360))
            # The face ahead runs from white at the top to black at the bottom;
            # the view is taller than 90 degrees, so the black top and bottom
            # faces show in the first and last twenty rows.
            self.assertGreater(grey(before, 160, 25), 230)
            self.assertAlmostEqual(grey(before, 160, 180), 128, delta=10)
            self.assertLess(grey(before, 160, 335), 25)
            self.assertLess(grey(before, 160, 5), 10)
            # From the second frame on, the desktop shows the right eye's view too.
            self.assertNotEqual(program.client_pixel(380, 20), CLEAR_GREY)

            self.turn_to("90")
            after = winebench.read_ppm(self.vr / "left.ppm")
            # Turned a quarter about the eye's X axis, the view ahead meets the
            # all-black bottom face, and only the dark lower edges of the front
            # and back faces reach into the top and bottom rows.
            self.assertLess(grey(after, 160, 180), 10)
            self.assertLess(column_mean(after, 160), 20)
            self.assertGreater(column_mean(before, 160), 100)
        self.assert_shut_down()

    def turn_to(self, *angles):
        """Sends the angles and returns the first complete VR frame that read
        the angle after the last was acknowledged."""
        code, out, err = winebench.angle_server(*angles)
        self.assertEqual(code, 0, out + err)
        self.assertEqual(out.count("SUCCESS"), len(angles), out)
        acknowledged = time.time_ns()  # the host's clock, as the runtime's log
        return self.wait_for_vr_frames(self.current, 1, after_ns=acknowledged)[0]

    def test_without_a_runtime_it_says_so_once_and_draws_the_desktop(self):
        with self.program_with(mock=False) as program:
            program.wait_for_frames(1)
            program.wait_until(lambda: program.client_pixel(100, 100) == CLEAR_GREY,
                               "a desktop frame")
            lines = program.stderr().splitlines()
            self.assertEqual(len(lines), 1, lines)
            self.assertTrue(lines[0].startswith(FAILED), lines[0])
            self.assertIn("openvr_api.dll", lines[0])
            self.assertNotIn("Recommended", program.stdout())

    def test_a_library_without_the_entry_points_is_reported_and_skipped(self):
        # Any DLL of that name that is not a VR client library will do.
        program = self.program_with(mock=False)
        shutil.copy2(winebench.paths()["d3d12_proxy"], program.executable.parent / "openvr_api.dll")
        with program:
            program.wait_for_frames(1)
            self.assertEqual(program.stderr(), FAILED +
                             "openvr_api.dll lacks the entry point VR_InitInternal2\n")

    def test_without_a_compositor_the_vr_frame_is_skipped(self):
        with self.program_with(null_compositor=1) as program:
            program.wait_for_frames(30)  # frames on which a VR frame would have submitted
            self.assertIn("Recommended Render Target Size", program.stdout())
            self.assertEqual(self.submissions(), [])
        self.assert_shut_down()

    def test_a_missing_system_interface_reports_error_105_after_shutting_down(self):
        with self.program_with(invalid_interfaces="IVRSystem_022") as program:
            program.wait_for_frames(1)
            self.assertEqual(program.stderr(), FAILED + "Interface Not Found (105)\n")
            calls = [line.split(" ", 1)[1] for line in self.log()]
            self.assertEqual(calls, ["VR_InitInternal2 type=1",
                                     "VR_IsInterfaceVersionValid IVRSystem_022 -> 0",
                                     "VR_ShutdownInternal"])

    def test_a_token_change_fetches_the_compositor_again(self):
        with self.program_with(token_change_after=3) as program:
            self.wait_for_vr_frames(program, 5)
            fetches = [line for line in self.log()
                       if "VR_GetGenericInterface IVRCompositor_028" in line]
            self.assertEqual(len(fetches), 2, fetches)
        self.assert_shut_down()

    def test_frames_without_a_valid_head_pose_are_drawn_from_the_last_valid_one(self):
        head = {"head_pose": "0.2,1.6,-0.3", "head_rotation": "30,10,5"}
        with self.program_with(**head) as program:
            normal = [[s["hash"] for s in f["submits"]] for f in self.wait_for_vr_frames(program, 3)]
        self.assert_shut_down()
        self.assertEqual(normal[1:], normal[:-1])  # a still head gives the same pictures

        with self.program_with(untracked_first=3, tracking_lost="7-9", **head) as program:
            frames = self.wait_for_vr_frames(program, 12)
        self.assert_every_image_shows_the_scene(frames)
        poses = [frame["wait"]["pose"] for frame in frames]
        self.assertEqual(poses, ["untracked"] * 3 + ["valid"] * 3 + ["lost"] * 3 + ["valid"] * 3)
        hashes = [[s["hash"] for s in frame["submits"]] for frame in frames]
        # Before tracking starts the head stays at the origin; from the first
        # valid pose on, and while tracking is lost, the pictures are a normal
        # run's.
        self.assertEqual(hashes[1:3], hashes[:2])
        self.assertNotEqual(hashes[0], normal[0])
        self.assertEqual(hashes[3:], [normal[0]] * 9)
        self.assert_shut_down()

    def test_failed_pose_waits_keep_submitting_the_last_picture(self):
        with self.program_with(no_focus="3-6") as program:
            frames = self.wait_for_vr_frames(program, 9)
        self.assertEqual([frame["wait"]["result"] for frame in frames],
                         ["0", "0"] + ["101"] * 4 + ["0"] * 3)
        self.assert_every_image_shows_the_scene(frames)
        hashes = [[s["hash"] for s in frame["submits"]] for frame in frames]
        self.assertEqual(hashes, [hashes[0]] * 9)
        self.assert_shut_down()

    def test_non_finite_angles_are_acknowledged_and_keep_the_last_finite_picture(self):
        with self.program_with():
            self.wait_for_vr_frames(self.current, 1)
            turned = self.turn_to("90")
            kept = self.turn_to("raw:0000C07F", "raw:0000807F")  # NaN, +inf
        # Compared eye by eye: both eyes of the frame after the NaN and the
        # infinity show what they showed at 90 degrees.
        self.assertEqual([s["eye"] for s in kept["submits"]], ["0", "1"])
        self.assertEqual([s["hash"] for s in kept["submits"]],
                         [s["hash"] for s in turned["submits"]])

    def test_refused_submissions_do_not_stop_the_program(self):
        with self.program_with(submit_fail="3-6") as program:
            frames = self.wait_for_vr_frames(program, 6)
        results = [s["result"] for frame in frames for s in frame["submits"]]
        self.assertEqual(results, ["0", "0"] + ["1"] * 4 + ["0"] * 6)
        self.assert_shut_down()

    def test_a_runtime_library_in_the_working_directory_is_not_loaded(self):
        shutil.copy2(winebench.paths()["mock_vr"], self.workdir / "openvr_api.dll")
        self.vr = self.scratch("vr-")
        with self.program(extra_env={"HT_MOCK_VR_OUTPUT": winebench.windows_path(self.vr)}) as program:
            program.wait_for_frames(1)
            self.assertEqual(program.stderr(), FAILED +
                             "openvr_api.dll was not found (no VR runtime installed)\n")
            self.assertEqual(self.log(), [])


if __name__ == "__main__":
    unittest.main()
