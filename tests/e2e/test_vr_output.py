"""VR output of the real program under Wine, beside the real VR client
library, with the mock runtime behind it in place of a headset."""
# ctest: LABELS program_on_bench  # needs only the program and its bench: runs while the rest builds
# ctest: COST 60  # starts first: its runs take longest
import shutil
import sys
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "bench"))
import winebench  # noqa: E402

FAILED = "OpenVR initialization failed: "
CLEAR_GREY = (51, 51, 51)
COMMON, RENDER_TARGET, PIXEL_SHADER_RESOURCE = 0x0, 0x4, 0x80
NO_COMPOSITOR = "The VR runtime offers no compositor: the headset gets no pictures."
ENDED_BY_THE_RUNTIME = "the application did not exit in time after Quit: ending it"
WM_ENDSESSION = 0x0016


def grey(image, x, y):
    width, _, pixels = image
    return pixels[3 * (y * width + x)]


def column_mean(image, x):
    _, height, _ = image
    return sum(grey(image, x, y) for y in range(height)) / height


class VrOutput(winebench.ProgramTestCase):
    def program_with(self, mock=True, registry=False, env=None, workdir=None, assets_beside=False,
                     **settings):
        """The program beside the real client library, with the mock runtime
        set up by settings (HT_MOCK_VR_*) found through the environment, or
        through the prefix's path registry."""
        mock_settings = {f"HT_MOCK_VR_{name.upper()}": str(value)
                         for name, value in settings.items()}
        self.vr = self.scratch("vr-")
        if registry:
            self.enterContext(winebench.vr_path_registry(self.vr))
        self.current = self.program(workdir, extra_env={**mock_settings, **(env or {})},
                                    vr_output=self.vr if mock else None, vr_registry=registry,
                                    with_vr_client=True, assets_beside=assets_beside)
        return self.current

    def lines(self):
        return winebench.runtime_lines(self.vr / "log.txt")

    def log(self):
        return winebench.mock_runtime_log(self.vr / "log.txt")

    def submissions(self):
        return [entry for entry in self.log() if entry["call"] == "Submit"]

    def frames(self):
        """The VR frames in the log, each its pose wait's fields and its
        submissions' fields."""
        found = []
        for entry in self.log():
            if entry["call"] == "WaitGetPoses":
                found.append({"wait": entry, "submits": []})
            elif entry["call"] == "Submit" and found:
                found[-1]["submits"].append(entry)
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
        """The client library's shutdown reached the runtime."""
        self.assertEqual(self.lines()[-1], "Cleanup", self.lines()[-3:])

    def assert_submitted_as_shader_resources(self, barrier_trace, frames):
        """Each eye texture's barriers chain from its creation state, and each
        submission finds the texture in the state the compositor asks for."""
        barriers = [(line.time, *line.text.split()) for line in winebench.proxy_trace(barrier_trace)]
        for frame in frames:
            for submitted in frame["submits"]:
                mine = [(time, int(before, 16), int(after, 16))
                        for time, resource, before, after in barriers
                        if resource == submitted["resource"]]
                self.assertEqual(mine[0][1], COMMON)
                for (_, _, after), (_, before, _) in zip(mine, mine[1:]):
                    self.assertEqual(after, before)
                state = [after for time, _, after in mine if time < int(submitted["time"])][-1]
                self.assertEqual(state, PIXEL_SHADER_RESOURCE, submitted)

    def test_renders_and_submits_both_eyes_and_follows_the_pipe_angle(self):
        # Found as a runtime's installer registers it.
        barrier_trace = self.workdir / "barriers.txt"
        with self.program_with(registry=True, env={
                "HT_BARRIER_TRACE": winebench.windows_path(barrier_trace)}) as program:
            frames = self.wait_for_vr_frames(program, 3)
            self.assertEqual(self.lines()[:2], ["VRClientCoreFactory IVRClientCore_003",
                                                "Init type=1"])
            self.assertEqual(program.stdout().splitlines()[0],
                             "Recommended Render Target Size: 320 x 360")
            self.assertEqual(program.stderr(), "")
            self.assert_submitted_as_shader_resources(barrier_trace, frames)
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
            # The client library adds a line of its own about the path registry.
            failures = [line for line in program.stderr().splitlines() if FAILED in line]
            self.assertEqual(failures, [FAILED + "Installation path could not be located (110)"])
            self.assertNotIn("Recommended", program.stdout())

    def test_a_library_without_the_entry_points_is_reported_and_skipped(self):
        # Any DLL of that name that is not a VR client library will do.
        program = self.program_with(mock=False)
        shutil.copy2(winebench.paths()["d3d12_proxy"], program.executable.parent / "openvr_api.dll")
        with program:
            program.wait_for_frames(1)
            self.assertEqual(program.stderr(), FAILED +
                             "openvr_api.dll lacks the entry point VR_InitInternal2\n")

    def test_without_a_compositor_the_vr_frame_is_skipped_and_that_is_said_once(self):
        # A runtime that offers no compositor version, and one that offers a
        # version but hands out nothing for it.
        for settings in ({"compositor": "none"}, {"null_compositor": 1}):
            with self.subTest(**settings), self.program_with(**settings) as program:
                program.wait_for_frames(30)  # frames on which a VR frame would have submitted
                self.assertIn("Recommended Render Target Size", program.stdout())
                self.assertEqual(self.submissions(), [])
                self.assertEqual(program.stderr(), NO_COMPOSITOR + "\n")
            self.assert_shut_down()

    def test_a_runtime_with_the_older_compositor_gets_both_eyes_across_a_token_change(self):
        # The mock's "IVRCompositor_027" has that version's six slots only: a
        # call past them ends the program. The init token changes after the
        # third pose wait: the older version is fetched again.
        with self.program_with(compositor="IVRCompositor_027", token_change_after=3) as program:
            self.assert_every_image_shows_the_scene(self.wait_for_vr_frames(program, 5))
            self.assertIn("The VR runtime offers IVRCompositor_027, not IVRCompositor_028: "
                          "using IVRCompositor_027.\n", program.stdout())
            fetches = [call for call in self.lines()
                       if call == "GetGenericInterface IVRCompositor_027"]
            self.assertEqual(len(fetches), 2, self.lines())
            self.assertEqual(program.stderr(), "")
        self.assert_shut_down()

    def test_a_missing_system_interface_reports_error_105_after_shutting_down(self):
        with self.program_with(invalid_interfaces="IVRSystem_022") as program:
            program.wait_for_frames(1)
            self.assertEqual(program.stderr(), FAILED + "Interface Not Found (105)\n")
            self.assertEqual(self.lines(), ["VRClientCoreFactory IVRClientCore_003",
                                            "Init type=1",
                                            "IsInterfaceVersionValid IVRSystem_022 -> 0",
                                            "Cleanup"])

    def test_a_token_change_fetches_the_compositor_again(self):
        # The runtime starts the client library once more after the third pose
        # wait, as another part of the process would: a new init token.
        with self.program_with(token_change_after=3) as program:
            self.wait_for_vr_frames(program, 5)
            self.assertIn("restart: token 2 error 0", self.lines())
            fetches = [call for call in self.lines()
                       if call == "GetGenericInterface IVRCompositor_028"]
            self.assertEqual(len(fetches), 2, fetches)
        self.assert_shut_down()

    def test_the_end_of_the_users_session_shuts_the_session_down_and_releases_the_device(self):
        trace = self.scratch("devices-") / "devices.txt"
        with self.program_with(env={"HT_DEVICE_TRACE": winebench.windows_path(trace)}) as program:
            self.wait_for_vr_frames(program, 2)
            # An end announced and called off ends nothing.
            program.send(WM_ENDSESSION, 0, 0)
            program.wait_for_frames(5)
            # Wine's own way to end a session: the windows are asked and told.
            code, out, err = winebench.run_windows_tool("wineboot", "--end-session")
            self.assertEqual(code, 0, out + err)
            program.expect_exit(0)
        self.assertEqual(self.lines()[-2:], [winebench.RUNTIME_LETS_GO, "Cleanup"])
        self.assertEqual([event.keyword for event in winebench.device_events(trace)],
                         ["made", "gone"])

    def test_the_window_answers_while_the_runtime_takes_seconds_to_open_the_session(self):
        started = self.workdir / "runtime-started"
        with self.program_with(init_when=winebench.windows_path(started)) as program:
            longest_ms = int(winebench.winctl("answers", program.window, 10))
            self.assertLess(longest_ms, 1000)
            self.assertEqual(program.presents(), 0, "the session was open already")
            # A message just before the runtime starts: the window's thread is
            # then in a fresh wait of a second, which only the opening
            # thread's own message ends early.
            program.send(winebench.WM_NULL)
            started.touch()
            self.wait_for_vr_frames(program, 2)
        entries = self.log()
        opened = next(int(e["time"]) for e in entries if e["text"].startswith("Init returns"))
        taken = next(int(e["time"]) for e in entries if e["call"] == "GetRecommendedRenderTargetSize")
        self.assertLess((taken - opened) / 1e6, 300, "the session waited for the window's thread")

    def test_a_window_closed_while_the_session_opens_ends_the_program(self):
        started = self.workdir / "runtime-started"
        with self.program_with(init_when=winebench.windows_path(started)) as program:
            program.post(winebench.WM_CLOSE)
            program.wait_until(lambda: not program.window_exists(), "the window gone")
            started.touch()
            program.expect_exit(0)
            self.assertEqual(program.presents(), 0)
        # The session was closed as soon as it was open, and nothing drawn.
        calls = self.lines()
        self.assertEqual(calls[-1], "Cleanup")
        self.assertNotIn("GetRecommendedRenderTargetSize", calls)

    def test_a_window_closed_while_the_runtime_never_opens_the_session_ends_the_program(self):
        never = self.workdir / "never-started"
        with self.program_with(init_when=winebench.windows_path(never)) as program:
            program.wait_until(lambda: "Init type=1" in self.lines(), "the session opening")
            program.post(winebench.WM_CLOSE)
            program.wait_until(lambda: not program.window_exists(), "the window gone")
            program.expect_exit(0, timeout=5)
        self.assertNotIn("Init returns waited", " ".join(self.lines()))

    def test_ctrl_c_typed_into_its_console_ends_the_program_in_order(self):
        # Wine's console gives Ctrl+Break the same event as Ctrl+C.
        self.vr = self.scratch("vr-")
        program = winebench.stage_program(self.vr / "bin", with_vr_client=True, with_assets=True)
        env = {**winebench.mock_runtime_environment(self.vr),
               "HT_MOCK_VR_OUTPUT": winebench.windows_path(self.vr)}
        with winebench.ConsoleStart(program, env) as started:
            winebench.wait_until(lambda: len(self.submissions()) >= 4, "VR frames")
            started.type_ctrl_c()
            self.assertEqual(started.wait(), 0)
        self.assertEqual(self.lines()[-2:], [winebench.RUNTIME_LETS_GO, "Cleanup"])

    def test_a_quit_from_the_runtime_ends_the_program_in_order(self):
        with self.program_with(quit_after=3) as program:
            program.expect_exit(0)
        calls = self.lines()
        asked = calls.index("PollNextEvent type=700")
        # Acknowledged, nothing more submitted, the session shut down.
        self.assertEqual(calls[asked + 1:],
                         ["AcknowledgeQuit_Exiting", winebench.RUNTIME_LETS_GO, "Cleanup"])
        self.assertEqual(len(self.complete_frames()), 3)
        self.assertIn("The VR runtime asked the program to quit.\n", program.stdout())
        # Not answered in time, the runtime ends the process: the exit 0 above
        # came before the runtime's deadline. (Wine reports the end as 0xDEAD's
        # low byte, or as a crash when the CPU driver's own threads are torn
        # down under it: the log is the evidence.)
        with self.program_with(quit_after=1, quit_timeout_ms=0) as program:
            self.assertNotEqual(program.wait_for_exit(), 0)
        self.assertEqual(self.lines()[-1], ENDED_BY_THE_RUNTIME)

    def test_the_device_is_made_on_the_headsets_adapter(self):
        def adapters_of_a_run(**settings):
            trace = self.scratch("devices-") / "devices.txt"
            env = {"HT_SECOND_ADAPTER": "1", "HT_DEVICE_TRACE": winebench.windows_path(trace)}
            with self.program_with(env=env, **settings) as program:
                self.assert_every_image_shows_the_scene(self.wait_for_vr_frames(program, 1))
                devices = [event.detail for event in winebench.device_events(trace)
                           if event.keyword == "made"]
                return devices, program.stderr()

        devices, errors = adapters_of_a_run(adapter_luid=hex(winebench.SECOND_ADAPTER_LUID))
        self.assertEqual(len(devices), 1, devices)
        self.assertTrue(devices[0].endswith(" (second)"), devices)
        self.assertEqual(errors, "")
        self.assertIn(f"GetOutputDevice type=4 -> {hex(winebench.SECOND_ADAPTER_LUID)}",
                      self.lines())
        # A LUID that names no adapter, and none at all: the first adapter,
        # and a line that says so.
        devices, errors = adapters_of_a_run(adapter_luid="0x1234")
        self.assertFalse(devices[0].endswith(" (second)"), devices)
        self.assertIn("graphics adapter (LUID 0x1234) is not one that can make a Direct3D 12 "
                      "device", errors)
        devices, errors = adapters_of_a_run(adapter_luid=0)
        self.assertFalse(devices[0].endswith(" (second)"), devices)
        self.assertIn("The VR runtime names no graphics adapter for the headset", errors)

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
            self.assertEqual(program.stderr().splitlines(), [
                "The VR compositor refuses pose waits: DoNotHaveFocus (101).",
                "The VR compositor accepts pose waits again."])
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

    def test_refused_submissions_are_said_when_they_start_and_end_and_do_not_stop_the_program(self):
        # As while the runtime's dashboard has the headset: submissions 20 to
        # 120 refused for lack of focus.
        with self.program_with(submit_fail="20-120", submit_error=101) as program:
            frames = self.wait_for_vr_frames(program, 64)
            self.assertEqual(program.stderr().splitlines(), [
                "The VR compositor refuses eye images: DoNotHaveFocus (101).",
                "The VR compositor accepts eye images again."])
        results = [s["result"] for frame in frames for s in frame["submits"]]
        self.assertEqual(results, ["0"] * 19 + ["101"] * 101 + ["0"] * 8)
        self.assert_shut_down()

    def test_started_from_another_folder_the_shaders_beside_the_program_are_used(self):
        elsewhere = self.scratch("elsewhere-")
        with self.program_with(workdir=elsewhere, assets_beside=True) as program:
            self.assert_every_image_shows_the_scene(self.wait_for_vr_frames(program, 2))
            # The bytecode goes beside the sources that were read.
            self.assertTrue((program.executable.parent / "assets" / "triangle.vert.dxbc").exists())
            self.assertFalse((elsewhere / "assets").exists())
        # With assets\ in neither place: the compiler's line, the background
        # in both eyes, and the program keeps running.
        with self.program_with(workdir=self.scratch("elsewhere-")) as program:
            frames = self.wait_for_vr_frames(program, 2)
            self.assertIn("D3DCompileFromFile", program.stdout())
            self.assertIn("0x80070003", program.stdout())
            self.assertEqual({s["colours"] for frame in frames for s in frame["submits"]}, {"1"})

    def test_each_shader_is_found_on_its_own_in_folders_of_any_name(self):
        # Started where an assets folder lacks the shaders: the ones beside
        # the program are used, and their bytecode is written there.
        elsewhere = self.scratch("elsewhere-")
        (elsewhere / "assets").mkdir()
        with self.program_with(workdir=elsewhere, assets_beside=True) as program:
            self.assert_every_image_shows_the_scene(self.wait_for_vr_frames(program, 2))
            self.assertTrue((program.executable.parent / "assets" / "triangle.frag.dxbc").exists())
            self.assertEqual(list((elsewhere / "assets").iterdir()), [])
        # Unpacked into a folder named in letters outside the ANSI code page,
        # and started from another folder.
        folder = self.scratch("elsewhere-") / "Программа 程序"
        staged = winebench.stage_program(folder, with_vr_client=True, with_assets=True)
        self.vr = self.scratch("vr-")
        with self.program(self.scratch("elsewhere-"), executable=staged, vr_output=self.vr) as program:
            self.assert_every_image_shows_the_scene(self.wait_for_vr_frames(program, 2))
            self.assertTrue((folder / "assets" / "triangle.vert.dxbc").exists())

    def test_each_shader_comes_from_the_working_directory_before_the_programs_folder(self):
        # Both folders hold both: the working directory's are compiled, and
        # their bytecode is written there.
        workdir = self.scratch("both-")
        winebench.copy_assets(workdir)
        program = self.program_with(workdir=workdir, assets_beside=True)
        beside = program.executable.parent / "assets"
        with program:
            self.assert_every_image_shows_the_scene(self.wait_for_vr_frames(program, 2))
        self.assertTrue((workdir / "assets" / "triangle.vert.dxbc").exists())
        self.assertFalse((beside / "triangle.vert.dxbc").exists())
        # Each in another folder: the vertex shader only in the working
        # directory, the pixel shader only beside the program.
        workdir = self.scratch("split-")
        (workdir / "assets").mkdir()
        shutil.copy2(self.workdir / "assets" / "triangle.vert.hlsl", workdir / "assets")
        program = self.program_with(workdir=workdir, assets_beside=True)
        beside = program.executable.parent / "assets"
        (beside / "triangle.vert.hlsl").unlink()
        with program:
            self.assert_every_image_shows_the_scene(self.wait_for_vr_frames(program, 2))
        self.assertEqual(sorted(path.name for path in (workdir / "assets").glob("*.dxbc")),
                         ["triangle.vert.dxbc"])
        self.assertEqual(sorted(path.name for path in beside.glob("*.dxbc")),
                         ["triangle.frag.dxbc"])

    def test_started_in_a_folder_named_outside_the_ansi_code_page(self):
        # (A path longer than MAX_PATH cannot be shown here: Wine's own
        # D3DCompileFromFile refuses one, 0x80070003.)
        workdir = self.scratch("named-") / "Рабочая папка 工作文件夹"
        winebench.copy_assets(workdir)
        with self.program_with(workdir=workdir) as program:
            self.assert_every_image_shows_the_scene(self.wait_for_vr_frames(program, 2))
        self.assertTrue((workdir / "assets" / "triangle.frag.dxbc").exists())

    def test_a_client_library_in_the_working_directory_is_not_loaded(self):
        shutil.copy2(winebench.paths()["vr_client"], self.workdir / "openvr_api.dll")
        self.vr = self.scratch("vr-")
        with self.program(vr_output=self.vr, with_vr_client=False) as program:
            program.wait_for_frames(1)
            self.assertEqual(program.stderr(), FAILED +
                             "openvr_api.dll was not found (no VR runtime installed)\n")
            self.assertEqual(self.log(), [])


if __name__ == "__main__":
    winebench.main()
