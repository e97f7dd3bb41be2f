"""VR output of the real program with the mock headset runtime under Wine."""
import os
import re
import shutil
import sys
import tempfile
import time
import unittest
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "bench"))
import winebench  # noqa: E402

FAILED = "OpenVR initialization failed: "
CLEAR_GREY = 51


def grey(image, x, y):
    width, _, pixels = image
    return pixels[3 * (y * width + x)]


def column_mean(image, x):
    _, height, _ = image
    return sum(grey(image, x, y) for y in range(height)) / height


class VrOutput(winebench.ProgramTestCase):
    def setUp(self):
        super().setUp()
        self.vr = Path(tempfile.mkdtemp(prefix="ht-vr-"))
        self.addCleanup(shutil.rmtree, self.vr, True)

    def start(self, mock=True, **settings):
        env = {f"HT_MOCK_VR_{name.upper()}": str(value) for name, value in settings.items()}
        self.program = self.start_program(extra_env=env, vr_output=self.vr if mock else None)
        return self.program.find_window("MainWindow", "Hello Triangle")

    def log(self):
        path = self.vr / "log.txt"
        return path.read_text().splitlines() if path.exists() else []

    def submissions(self):
        return [line for line in self.log() if " Submit " in line]

    def wait_for_submissions(self, count, after_ns=0, timeout=60):
        deadline = time.time() + timeout
        while time.time() < deadline:
            recent = [line for line in self.submissions() if int(line.split()[0]) > after_ns]
            if len(recent) >= count:
                return recent
            self.assertTrue(self.program.running(), self.program.stderr())
            time.sleep(0.2)
        self.fail(f"fewer than {count} submissions within {timeout} s")

    def frames(self):
        """The VR frames in the log, each its pose wait's fields and its
        submissions' fields."""
        found = []
        for line in self.log():
            fields = dict(re.findall(r"(\w+)=(\S+)", line))
            if " WaitGetPoses " in line:
                found.append({"wait": fields, "submits": []})
            elif " Submit " in line and found:
                found[-1]["submits"].append(fields)
        return found

    def wait_for_frames(self, count, timeout=60):
        """The first count VR frames, once both eyes of each are submitted."""
        self.wait_until(lambda: len([f for f in self.frames() if len(f["submits"]) == 2]) >= count,
                        f"{count} VR frames", timeout)
        return self.frames()[:count]

    def assert_every_image_shows_the_scene(self, frames):
        for number, frame in enumerate(frames, 1):
            for submitted in frame["submits"]:
                self.assertEqual(submitted["result"], "0", (number, submitted))
                self.assertGreater(int(submitted["colours"]), 1, (number, submitted))

    def close_and_expect_shutdown(self, window):
        self.program.post(window, winebench.WM_CLOSE)
        self.assertEqual(self.program.wait(timeout=30), 0, self.program.stderr())
        self.assertTrue(self.log()[-1].endswith("VR_ShutdownInternal"), self.log()[-3:])

    def test_renders_and_submits_both_eyes_and_follows_the_pipe_angle(self):
        window = self.start()
        submitted = self.wait_for_submissions(6)
        self.assertEqual(self.program.stdout().splitlines()[0],
                         "Recommended Render Target Size: 320 x 360")
        self.assertEqual(self.program.stderr(), "")
        for index, line in enumerate(submitted):
            fields = line.split(" ", 1)[1]
            self.assertTrue(fields.startswith(
                f"Submit eye={index % 2} type=4 colorSpace=1 nodeMask=0 size=320x360 "
                "bounds=none flags=0 result=0 saved"), fields)

        before = winebench.read_ppm(self.vr / "left.ppm")
        self.assertEqual(before[:2], (320, 360))
        # The face ahead runs from white at the top to black at the bottom; the
        # view is taller than 90 degrees, so the black top and bottom faces
        # show in the first and last twenty rows.
        self.assertGreater(grey(before, 160, 25), 230)
        self.assertAlmostEqual(grey(before, 160, 180), 128, delta=10)
        self.assertLess(grey(before, 160, 335), 25)
        self.assertLess(grey(before, 160, 5), 10)
        # From the second frame on, the desktop shows the right eye's view too.
        self.assertNotEqual(self.program.client_pixel(window, 380, 20), (CLEAR_GREY,) * 3)

        code, out, err = winebench.angle_server("90")
        self.assertEqual(code, 0, out + err)
        acknowledged = time.time_ns()
        self.wait_for_submissions(4, after_ns=acknowledged)
        after = winebench.read_ppm(self.vr / "left.ppm")
        # Turned a quarter about the eye's X axis, the view ahead meets the
        # all-black bottom face, and only the dark lower edges of the front
        # and back faces reach into the top and bottom rows.
        self.assertLess(grey(after, 160, 180), 10)
        self.assertLess(column_mean(after, 160), 20)
        self.assertGreater(column_mean(before, 160), 100)
        self.close_and_expect_shutdown(window)

    def test_without_a_runtime_it_says_so_once_and_draws_the_desktop(self):
        window = self.start(mock=False)
        self.wait_until(lambda: self.program.stderr().endswith("\n"), "the failure line")
        self.wait_until(lambda: self.program.client_pixel(window, 100, 100) == (CLEAR_GREY,) * 3,
                        "a desktop frame")
        lines = self.program.stderr().splitlines()
        self.assertEqual(len(lines), 1, lines)
        self.assertTrue(lines[0].startswith(FAILED), lines[0])
        self.assertIn("openvr_api.dll", lines[0])
        self.assertNotIn("Recommended", self.program.stdout())
        self.program.post(window, winebench.WM_CLOSE)
        self.assertEqual(self.program.wait(timeout=30), 0)

    def test_a_library_without_the_entry_points_is_reported_and_skipped(self):
        # Any DLL of that name that is not a VR client library will do.
        bin_folder = self.workdir / "bin"
        winebench.stage_program(bin_folder)
        shutil.copy2(os.environ["HT_D3D12_PROXY_DLL"], bin_folder / "openvr_api.dll")
        window = self.start(mock=False)
        self.wait_until(lambda: self.program.client_pixel(window, 100, 100) == (CLEAR_GREY,) * 3,
                        "a desktop frame")
        self.assertEqual(self.program.stderr(), FAILED +
                         "openvr_api.dll lacks the entry point VR_InitInternal2\n")
        self.program.post(window, winebench.WM_CLOSE)
        self.assertEqual(self.program.wait(timeout=30), 0)

    def test_without_a_compositor_the_vr_frame_is_skipped(self):
        window = self.start(null_compositor=1)
        self.wait_until(lambda: self.program.client_pixel(window, 100, 100) == (CLEAR_GREY,) * 3,
                        "a desktop frame")
        time.sleep(1)  # frames on which a VR frame would have submitted
        self.assertIn("Recommended Render Target Size", self.program.stdout())
        self.assertEqual(self.submissions(), [])
        self.assertTrue(self.program.running(), self.program.stderr())
        self.close_and_expect_shutdown(window)

    def test_a_missing_system_interface_reports_error_105_after_shutting_down(self):
        window = self.start(invalid_interfaces="IVRSystem_022")
        self.wait_until(lambda: self.program.stderr().endswith("\n"), "the failure line")
        self.assertEqual(self.program.stderr(), FAILED + "Interface Not Found (105)\n")
        calls = [line.split(" ", 1)[1] for line in self.log()]
        self.assertEqual(calls, ["VR_InitInternal2 type=1",
                                 "VR_IsInterfaceVersionValid IVRSystem_022 -> 0",
                                 "VR_ShutdownInternal"])
        self.program.post(window, winebench.WM_CLOSE)
        self.assertEqual(self.program.wait(timeout=30), 0)

    def test_a_token_change_fetches_the_compositor_again(self):
        window = self.start(token_change_after=3)
        self.wait_for_submissions(10)
        fetches = [line for line in self.log() if "VR_GetGenericInterface IVRCompositor_028" in line]
        self.assertEqual(len(fetches), 2, fetches)
        self.close_and_expect_shutdown(window)

    def test_frames_without_a_valid_head_pose_are_drawn_from_the_last_valid_one(self):
        head = {"head_pose": "0.2,1.6,-0.3", "head_rotation": "30,10,5"}
        window = self.start(**head)
        normal = [[s["hash"] for s in frame["submits"]] for frame in self.wait_for_frames(3)]
        self.close_and_expect_shutdown(window)
        self.assertEqual(normal[1:], normal[:-1])  # a still head gives the same pictures

        self.vr = Path(tempfile.mkdtemp(prefix="ht-vr-", dir=self.workdir))
        window = self.start(untracked_first=3, tracking_lost="7-9", **head)
        frames = self.wait_for_frames(12)
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
        self.close_and_expect_shutdown(window)

    def test_failed_pose_waits_keep_submitting_the_last_picture(self):
        window = self.start(no_focus="3-6")
        frames = self.wait_for_frames(9)
        self.assertEqual([frame["wait"]["result"] for frame in frames],
                         ["0", "0"] + ["101"] * 4 + ["0"] * 3)
        self.assert_every_image_shows_the_scene(frames)
        hashes = [[s["hash"] for s in frame["submits"]] for frame in frames]
        self.assertEqual(hashes, [hashes[0]] * 9)
        self.close_and_expect_shutdown(window)

    def test_non_finite_angles_are_acknowledged_and_keep_the_last_finite_picture(self):
        window = self.start()
        self.wait_for_frames(1)
        code, out, err = winebench.angle_server("90")
        self.assertEqual(code, 0, out + err)
        turned = self.wait_for_submissions(4, after_ns=time.time_ns())[-2:]

        code, out, err = winebench.angle_server("raw:0000C07F", "raw:0000807F")  # NaN, +inf
        self.assertEqual(code, 0, out + err)
        self.assertEqual(out.count("SUCCESS"), 2, out)
        after = self.wait_for_submissions(4, after_ns=time.time_ns())
        picture = [dict(re.findall(r"(\w+)=(\S+)", line))["hash"] for line in turned]
        for line in after:
            fields = dict(re.findall(r"(\w+)=(\S+)", line))
            self.assertEqual(fields["hash"], picture[int(fields["eye"])], line)
        self.close_and_expect_shutdown(window)

    def test_refused_submissions_do_not_stop_the_program(self):
        window = self.start(submit_fail="3-6")
        frames = self.wait_for_frames(6)
        results = [s["result"] for frame in frames for s in frame["submits"]]
        self.assertEqual(results, ["0", "0"] + ["1"] * 4 + ["0"] * 6)
        self.assertTrue(self.program.running(), self.program.stderr())
        self.close_and_expect_shutdown(window)

    def test_a_runtime_library_in_the_working_directory_is_not_loaded(self):
        shutil.copy2(os.environ["HT_MOCK_VR_DLL"], self.workdir / "openvr_api.dll")
        self.program = self.start_program(
            extra_env={"HT_MOCK_VR_OUTPUT": winebench.windows_path(self.vr)})
        window = self.program.find_window("MainWindow", "Hello Triangle")
        self.wait_until(lambda: self.program.stderr().endswith("\n"), "the failure line")
        self.assertEqual(self.program.stderr(), FAILED +
                         "openvr_api.dll was not found (no VR runtime installed)\n")
        self.assertEqual(self.log(), [])
        self.program.post(window, winebench.WM_CLOSE)
        self.assertEqual(self.program.wait(timeout=30), 0)


if __name__ == "__main__":
    unittest.main()
