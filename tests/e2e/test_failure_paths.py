"""Every Direct3D 12 and DXGI call whose failure the program checks, failed on
purpose through the test-only d3d12.dll and dxgi.dll: at construction and
during frames, desktop only and with the mock VR runtime."""
# ctest: LABELS program_on_bench  # needs only the program and its bench: runs while the rest builds
# ctest: COST 60  # starts first: its runs take longest
import collections
import concurrent.futures
import sys
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "bench"))
import winebench  # noqa: E402

# Any failure but a lost device's (those are recovered from: below).
FAILED = "80004005"  # E_FAIL
DEVICE_REMOVED, DEVICE_HUNG, DEVICE_RESET = "887A0005", "887A0006", "887A0007"

# (the call to fail as HT_FAIL_CALL names it, the text the fatal line must
# name, the source file of the failing call, whether the mock VR runtime is
# on). "@N" fails the Nth call of start-up, "@frame:N" the Nth call after the
# first Present, so calls added to start-up do not renumber the frame rows;
# "+" fails that one and every later one.
CHECKED_CALLS = [
    # Start-up.
    ("CreateDXGIFactory2", "CreateDXGIFactory2(", "renderer/device.cpp", False),
    ("IDXGIFactory1::EnumAdapters1", "factory->EnumAdapters1(", "renderer/device.cpp", False),
    ("D3D12CreateDevice", "D3D12CreateDevice(", "renderer/device.cpp", False),
    ("ID3D12Device::CreateCommandQueue", "device->CreateCommandQueue(", "renderer/device.cpp", False),
    ("ID3D12Device::CreateCommandQueue", "device->CreateCommandQueue(", "renderer/device.cpp", True),
    ("ID3D12Device::CreateCommandAllocator", "device->CreateCommandAllocator(", "renderer/device.cpp",
     False),
    ("ID3D12Device::CreateFence", "device->CreateFence(", "renderer/device.cpp", False),
    ("IDXGIFactory2::CreateSwapChainForHwnd", "factory->CreateSwapChainForHwnd(", "renderer/device.cpp",
     False),
    ("IDXGISwapChain::QueryInterface", "created->QueryInterface(", "renderer/device.cpp", False),
    ("ID3D12Device::CreateDescriptorHeap@1", "IID_PPV_ARGS(&rtvHeap)", "renderer/device.cpp", False),
    ("IDXGISwapChain::GetBuffer@2", "swapchain->GetBuffer(", "renderer/device.cpp", False),
    ("ID3D12CommandQueue::Signal@1", "commandQueue->Signal(", "renderer/renderer.cpp", False),
    ("ID3D12Device::CreateCommittedResource@1", "IID_PPV_ARGS(&texture)", "vr/eye_targets.cpp",
     True),
    ("ID3D12Device::CreateDescriptorHeap@2", "IID_PPV_ARGS(&eyeRtvHeap)", "vr/eye_targets.cpp",
     True),
    ("ID3D12Device::CreateDescriptorHeap@2", "IID_PPV_ARGS(&uniformBufferHeap)", "renderer/pipeline.cpp",
     False),
    ("ID3D12Device::CreateCommittedResource@1", "IID_PPV_ARGS(&uniformBuffer)", "renderer/pipeline.cpp",
     False),
    ("ID3D12Resource::Map@1", "uniformBuffer->Map(", "renderer/frame.cpp", False),
    ("ID3D12Device::CreateCommandList", "device->CreateCommandList(", "renderer/pipeline.cpp", False),
    ("ID3D12GraphicsCommandList::Close@1", "commandList->Close()", "renderer/pipeline.cpp", False),
    ("ID3D12Device::CreateCommittedResource@2", "IID_PPV_ARGS(&buffer)", "renderer/pipeline.cpp", False),
    ("ID3D12Resource::Map@2", "buffer->Map(", "renderer/pipeline.cpp", False),
    # Frames: the desktop pass, presentation and resizing.
    ("ID3D12CommandAllocator::Reset@frame:1", "commandAllocator->Reset()", "renderer/frame.cpp", False),
    ("ID3D12GraphicsCommandList::Reset@frame:1", "commandList->Reset(", "renderer/frame.cpp", False),
    ("ID3D12GraphicsCommandList::Close@frame:1", "commandList->Close()", "renderer/frame.cpp", False),
    ("ID3D12Resource::Map@frame:8", "uniformBuffer->Map(", "renderer/frame.cpp", False),
    ("ID3D12CommandQueue::Signal@frame:8", "commandQueue->Signal(", "renderer/renderer.cpp", False),
    ("ID3D12Fence::SetEventOnCompletion", "fence->SetEventOnCompletion(", "renderer/renderer.cpp", False),
    ("IDXGISwapChain::Present@3", "swapchain->Present(", "renderer/frame.cpp", False),
    ("IDXGISwapChain::ResizeBuffers@1", "swapchain->ResizeBuffers(", "renderer/device.cpp", False),
    ("ID3D12CommandQueue::Signal@frame:8+", "commandQueue->Signal(", "renderer/renderer.cpp", False),
    ("ID3D12GraphicsCommandList::Close@frame:1+", "commandList->Close()", "renderer/frame.cpp", False),
    # Frames: the eye passes (after the first Present come the first frame's
    # eye passes, then the second frame's desktop pass and eye passes).
    ("ID3D12CommandAllocator::Reset@frame:1", "commandAllocator->Reset()", "vr/eye_rendering.cpp",
     True),
    ("ID3D12GraphicsCommandList::Close@frame:5", "commandList->Close()", "vr/eye_rendering.cpp",
     True),
    ("ID3D12Resource::Map@frame:2", "uniformBuffer->Map(", "renderer/frame.cpp", True),
    ("ID3D12CommandQueue::Signal@frame:5+", "commandQueue->Signal(", "renderer/renderer.cpp", True),
]

# Calls that report a lost device once: the device is built again and the
# frames go on. (the call to fail, the text the recovery line must name, the
# result, whether the mock VR runtime is on)
LOST_ONCE = [
    ("IDXGISwapChain::Present@frame:10", "swapchain->Present(", DEVICE_REMOVED, False),
    ("IDXGISwapChain::ResizeBuffers@1", "swapchain->ResizeBuffers(", DEVICE_REMOVED, False),
    ("ID3D12CommandQueue::Signal@frame:8", "commandQueue->Signal(", DEVICE_RESET, False),
    ("ID3D12Fence::SetEventOnCompletion@frame:3", "fence->SetEventOnCompletion(", DEVICE_HUNG,
     False),
    ("ID3D12Resource::Map@frame:8", "uniformBuffer->Map(", DEVICE_REMOVED, False),
    # The fence of a removed device reads UINT64_MAX.
    ("ID3D12Fence::GetCompletedValue@frame:10", "fence->GetCompletedValue() != UINT64_MAX",
     "FFFFFFFFFFFFFFFF", False),
    # With the headset: a Present, the second frame's left eye pass, and a
    # fence wait inside the fourth frame.
    ("IDXGISwapChain::Present@frame:10", "swapchain->Present(", DEVICE_REMOVED, True),
    ("ID3D12CommandQueue::Signal@frame:5", "commandQueue->Signal(", DEVICE_REMOVED, True),
    ("ID3D12Fence::GetCompletedValue@frame:10", "fence->GetCompletedValue() != UINT64_MAX",
     "FFFFFFFFFFFFFFFF", True),
]
# The headset on the bench's second adapter, so that a device made on the
# first one shows.
ON_THE_SECOND_ADAPTER = {"HT_SECOND_ADAPTER": "1",
                         "HT_MOCK_VR_ADAPTER_LUID": hex(winebench.SECOND_ADAPTER_LUID)}
LOST = "The graphics device was lost: "
NOT_REOPENED = "The VR session did not open again after the graphics device was lost: "

# A device that stays lost ends the program with one fatal line: lost again
# before a frame was presented on the new device, or unable to make a new one
# for the ten seconds that rebuilds are tried.
# (the calls to fail, the text the fatal line must name)
LOST_FOR_GOOD = [
    ("IDXGISwapChain::Present@frame:5+", "swapchain->Present("),
    ("IDXGISwapChain::Present@frame:5+,D3D12CreateDevice@frame:1+", "D3D12CreateDevice("),
]


def submissions_after(vr_log, time_ns):
    """The mock runtime's accepted or refused submissions logged after time_ns,
    each its fields."""
    return [entry for entry in winebench.mock_runtime_log(vr_log)
            if entry["call"] == "Submit" and int(entry["time"]) > time_ns]


def session_openings(vr_log):
    """How many times the program has begun to open the mock runtime's
    session."""
    return winebench.runtime_lines(vr_log).count("Init type=1")


Ending = collections.namedtuple("Ending", "exit_code errors last_runtime_call")


class FailurePaths(winebench.ProgramTestCase):
    runs_ended = None  # endings() fills it once, with the runs' endings or their failure
    def program_failing(self, failure, with_vr=False, window=winebench.MAIN_WINDOW,
                        result=FAILED, extra_env=None):
        """The program with this call failed with this result, staged afresh
        (with the mock runtime or not) in a folder of its own."""
        output = self.scratch("run-")
        return self.program(output_dir=output, window=window,
                            extra_env={"HT_FAIL_CALL": failure, "HT_FAIL_HRESULT": result,
                                       **(extra_env or {})},
                            vr_output=output / "vr" if with_vr else None)

    def run_to_its_end(self, failure, with_vr=False, result=FAILED):
        """How a run with this failure ended: its exit code, its error lines
        and the mock runtime's last logged call (with the mock)."""
        with self.program_failing(failure, with_vr, window=None, result=result) as program:
            program.wait_for_exit()
        log = winebench.mock_runtime_log(program.output / "vr" / "log.txt") if with_vr else []
        return Ending(program.exit_code, program.stderr().splitlines(),
                      log[-1]["call"] if log else None)

    def endings(self):
        """Every run of this file that ends by itself, run once for the tests
        that judge them, two at a time (they look for no window, so they share
        nothing), the ones that try longest first: a device that stays lost
        is tried again for ten seconds, mostly waiting."""
        if FailurePaths.runs_ended is None:
            rows = ([(failure, DEVICE_REMOVED, False) for failure, _ in reversed(LOST_FOR_GOOD)] +
                    [(failure, FAILED, with_vr) for failure, _, _, with_vr in CHECKED_CALLS])
            try:
                with concurrent.futures.ThreadPoolExecutor(max_workers=2) as pool:
                    ended = pool.map(lambda row: self.run_to_its_end(row[0], row[2], row[1]), rows)
                    FailurePaths.runs_ended = dict(zip(rows, ended))
            except Exception as failure:
                FailurePaths.runs_ended = failure
                raise
        if isinstance(FailurePaths.runs_ended, Exception):
            raise winebench.BenchError("the runs failed in an earlier test (above); "
                                       "not run again") from FailurePaths.runs_ended
        return FailurePaths.runs_ended

    def test_every_checked_call_that_fails_ends_the_program_with_one_line_naming_it(self):
        for failure, call, source, with_vr in CHECKED_CALLS:
            with self.subTest(failure=failure, vr=with_vr):
                ending = self.endings()[(failure, FAILED, with_vr)]
                errors = ending.errors
                fatal = [line for line in errors if line.startswith("fatal: ")]
                self.assertEqual(ending.exit_code, 1, errors)
                self.assertEqual(len(fatal), 1, errors)
                self.assertEqual(errors[-1], fatal[0])
                self.assertIn(call, fatal[0])
                self.assertIn(f"0x{FAILED}", fatal[0])
                self.assertIn(f" at {source}:", fatal[0])
                if with_vr:  # the session was shut down before the program ended
                    self.assertEqual(ending.last_runtime_call, "Cleanup")

    def assert_eye_images_from_the_new_device(self, program, lost_ns):
        """Eye images submitted after the loss, accepted (refused with 104
        were they not on the queue's device) and showing the scene."""
        vr_log = program.output / "vr" / "log.txt"
        program.wait_until(lambda: len(submissions_after(vr_log, lost_ns)) >= 4,
                           "eye images from the new device")
        for submitted in submissions_after(vr_log, lost_ns):
            self.assertEqual(submitted["result"], "0", submitted)
            self.assertGreater(int(submitted["colours"]), 1, submitted)

    def assert_picture_fits_the_window(self, program):
        """The last frame presented has the client area's size."""
        left, top, right, bottom = program.rectangles()["client"]
        self.assertEqual(program.last_present_size(), (right - left, bottom - top))

    def device_trace(self):
        """A fresh file for the test-only d3d12.dll's device trace, and the
        variable that names it."""
        trace = self.scratch("devices-") / "devices.txt"
        return trace, {"HT_DEVICE_TRACE": winebench.windows_path(trace)}

    def assert_rebuilt_once_the_lost_device_was_gone(self, trace):
        """Two devices made, the second only after the first was gone, and
        none refused: a reference to the lost device kept anywhere (the
        program, the runtime) would have made the rebuild fail, as Windows
        makes no new device on an adapter while the lost one lives."""
        events = winebench.device_events(trace)
        made = [event for event in events if event.keyword == "made"]
        self.assertEqual(len(made), 2, events)
        # Failures on request (a driver that restarts) aside.
        self.assertEqual([event.keyword for event in events
                          if event.time < made[1].time and event.keyword != "failed"],
                         ["made", "gone"], events)
        self.assertNotIn("refused", [event.keyword for event in events])
        return made

    def assert_session_closed_around_the_rebuild(self, program, trace):
        """The runtime let go of what it was given and the session was shut
        down before the lost device was gone; the session was opened again
        after that, and the new device was made under it on the headset's
        adapter."""
        log = winebench.mock_runtime_log(program.output / "vr" / "log.txt")
        made = self.assert_rebuilt_once_the_lost_device_was_gone(trace)
        gone = next(event.time for event in winebench.device_events(trace)
                    if event.keyword == "gone")
        inits = [int(entry["time"]) for entry in log if entry["text"] == "Init type=1"]
        texts = [entry["text"] for entry in log]
        shut_down = int(log[texts.index("Cleanup")]["time"])
        self.assertEqual(texts[texts.index("Cleanup") - 1], winebench.RUNTIME_LETS_GO)
        self.assertEqual(len(inits), 2, texts)
        self.assertLess(shut_down, gone)
        self.assertLess(gone, inits[1])
        self.assertLess(inits[1], made[1].time)
        self.assertEqual([event.luid for event in made], [winebench.SECOND_ADAPTER_LUID] * 2)

    def assert_retried_after_short_pauses(self, program, device_events):
        """Each attempt to build the device again (it begins by asking the
        runtime for the headset's adapter) came at most 0.35 s after the last
        creation the driver refused before it: the pauses, not the attempts,
        which a busy machine makes slow, are the program's."""
        log = winebench.mock_runtime_log(program.output / "vr" / "log.txt")
        starts = [int(entry["time"]) for entry in log if entry["call"] == "GetOutputDevice"]
        refusals = [event.time for event in device_events if event.keyword == "failed"]
        pauses = [start - max(t for t in refusals if t < start)
                  for start in starts if start > refusals[0]]
        self.assertGreaterEqual(len(pauses), 2, "retried while the driver was away")
        self.assertLess(max(pauses), 0.35e9, [round(pause / 1e6) for pause in pauses])

    def test_a_lost_device_is_built_again_and_the_frames_go_on(self):
        for failure, call, result, with_vr in LOST_ONCE:
            with self.subTest(failure=failure, vr=with_vr):
                trace, traced = self.device_trace()
                env = {**traced, **(ON_THE_SECOND_ADAPTER if with_vr else {})}
                with self.program_failing(failure, with_vr, result=result,
                                          extra_env=env) as program:
                    program.wait_until(lambda: LOST in program.stderr(), "the recovery line")
                    recovered = time.time_ns()
                    program.wait_for_frames(10)
                    if with_vr:
                        self.assert_eye_images_from_the_new_device(program, recovered)
                line = program.stderr().splitlines()[-1]
                self.assertTrue(line.startswith(LOST), line)
                self.assertIn(call, line)
                self.assertIn("removal reason 0x", line)
                if len(result) == 8:
                    self.assertIn(f"0x{result}", line)
                self.assertNotIn("fatal: ", program.stderr())
                if with_vr:
                    self.assert_session_closed_around_the_rebuild(program, trace)
                else:
                    self.assert_rebuilt_once_the_lost_device_was_gone(trace)

    def test_a_driver_restart_is_waited_for_and_the_frames_come_back_on_the_headsets_adapter(self):
        # For 3 s after the loss, as while a driver restarts, no device can
        # be made, and the window must go on answering.
        restart = "~3000"
        failure = (f"IDXGISwapChain::Present@frame:30+{restart},"
                   f"D3D12CreateDevice@frame:1+{restart}")
        trace, traced = self.device_trace()
        with self.program_failing(failure, with_vr=True, result=DEVICE_REMOVED,
                                  extra_env={**ON_THE_SECOND_ADAPTER, **traced}) as program:
            program.wait_until(lambda: LOST in program.stderr(), "the recovery line")
            lost = time.time_ns()
            # Between attempts the window's messages are answered; an attempt
            # itself takes the thread for up to a second on a busy bench (a
            # DXGI factory costs Wine a tenth of a second or more), a thread
            # held for the whole outage would answer after about 3 s.
            self.assertLess(int(winebench.winctl("answers", program.window, 15)), 2000)
            # Sized while there is no device: the new device gets the new size.
            program.move(40, 30, 600, 450)
            program.wait_for_frames(10)
            self.assert_picture_fits_the_window(program)
            # The driver was away for 3 s from the first creation it refused,
            # the window was asked meanwhile, and the device was made again
            # once the driver was back, the retries having come after short
            # pauses all along.
            failed = program.failed_present_times()[0]
            back = min(t for t in program.present_times() if t > failed)
            events = winebench.device_events(trace)
            refused_first = next(event.time for event in events if event.keyword == "failed")
            made_again = next(event.time for event in events
                              if event.keyword == "made" and event.time > refused_first)
            self.assertGreater(made_again, refused_first + 3e9)
            self.assertGreater(back, made_again)
            self.assert_retried_after_short_pauses(program, events)
            self.assertLess(lost, back - 1e9)
            self.assert_eye_images_from_the_new_device(program, lost)
            errors = program.stderr().splitlines()
            self.assertEqual(len([line for line in errors if line.startswith(LOST)]), 1, errors)
            self.assertNotIn("fatal: ", program.stderr())
        self.assert_session_closed_around_the_rebuild(program, trace)

    def test_a_session_that_does_not_open_again_leaves_the_desktop_going(self):
        with self.program_failing("IDXGISwapChain::Present@frame:10", with_vr=True,
                                  result=DEVICE_REMOVED,
                                  extra_env={"HT_MOCK_VR_REOPEN_ERROR": "301"}) as program:
            program.wait_until(lambda: NOT_REOPENED in program.stderr(), "the line that says so")
            said = time.time_ns()
            program.wait_for_frames(10)
        errors = program.stderr().splitlines()
        self.assertEqual(len(errors), 2, errors)
        self.assertTrue(errors[0].startswith(LOST), errors)
        self.assertEqual(errors[1], NOT_REOPENED + "Connect to VR Server Failed (301). "
                         "The desktop goes on without VR.")
        self.assertEqual(submissions_after(program.output / "vr" / "log.txt", said), [])

    def test_a_quit_from_the_runtime_while_the_driver_restarts_ends_the_program(self):
        restart = "~3000"
        failure = (f"IDXGISwapChain::Present@frame:10+{restart},"
                   f"D3D12CreateDevice@frame:1+{restart}")
        trigger = self.workdir / "quit-now"
        with self.program_failing(failure, with_vr=True, result=DEVICE_REMOVED, extra_env={
                "HT_MOCK_VR_QUIT_WHEN": winebench.windows_path(trigger)}) as program:
            log = program.output / "vr" / "log.txt"
            program.wait_until(lambda: session_openings(log) == 2, "the session opened again")
            trigger.touch()
            program.expect_exit(0)
        failed = program.failed_present_times()[0]
        self.assertEqual([t for t in program.present_times() if t > failed], [],
                         "the Quit came while the driver was away")
        texts = winebench.runtime_lines(log)
        self.assertEqual(texts[texts.index("PollNextEvent type=700") + 1:],
                         ["AcknowledgeQuit_Exiting", "Cleanup"])
        self.assertIn("The VR runtime asked the program to quit.\n", program.stdout())

    def test_a_window_closed_while_the_session_opens_again_ends_the_program(self):
        # Once the program runs, the runtime takes until the file is back to
        # open a session: the one opened again after the loss waits.
        started = self.workdir / "runtime-started"
        started.touch()
        with self.program_failing("IDXGISwapChain::Present@frame:100", with_vr=True,
                                  result=DEVICE_REMOVED, extra_env={
                                      "HT_MOCK_VR_INIT_WHEN": winebench.windows_path(started)
                                  }) as program:
            program.wait_for_frames(1)
            started.unlink()
            slowed = time.time_ns()
            log = program.output / "vr" / "log.txt"
            program.wait_until(lambda: session_openings(log) == 2, "the session opening again")
            program.post(winebench.WM_CLOSE)
            program.wait_until(lambda: not program.window_exists(), "the window gone")
            started.touch()
            program.expect_exit(0)
        self.assertLess(slowed, program.failed_present_times()[0], "slowed before the loss")
        texts = winebench.runtime_lines(log)
        reopened = texts.index("Init type=1", texts.index("Init type=1") + 1)
        # The session opened during the teardown was shut down, never used.
        self.assertEqual(texts[-1], "Cleanup")
        self.assertNotIn("GetRecommendedRenderTargetSize", texts[reopened:])

    def test_a_device_that_stays_lost_ends_the_program_with_one_line(self):
        for failure, call in LOST_FOR_GOOD:
            with self.subTest(failure=failure):
                result = DEVICE_REMOVED
                ending = self.endings()[(failure, result, False)]
                errors = ending.errors
                self.assertEqual(ending.exit_code, 1, errors)
                self.assertEqual(len([line for line in errors if line.startswith(LOST)]), 1,
                                 errors)
                self.assertTrue(errors[-1].startswith("fatal: "), errors)
                self.assertEqual(len([line for line in errors if line.startswith("fatal: ")]), 1)
                self.assertIn(call, errors[-1])
                self.assertIn(f"0x{result}", errors[-1])

    def test_pipeline_failures_are_reported_and_the_program_keeps_clearing(self):
        caught = [
            ("D3D12SerializeVersionedRootSignature", "D3D12SerializeVersionedRootSignature("),
            ("ID3D12Device::CreateRootSignature", "device->CreateRootSignature("),
            ("ID3D12Device::CreateGraphicsPipelineState", "Failed to create Graphics Pipeline!"),
        ]
        # With the headset, whose images show the cube when nothing failed:
        # the eyes get the background alone, as the desktop does.
        for failure, report in caught:
            with self.subTest(failure=failure):
                with self.program_failing(failure, with_vr=True) as program:
                    log = program.output / "vr" / "log.txt"
                    program.wait_until(lambda: len(submissions_after(log, 0)) >= 6, "eye images")
                    program.wait_for_frames(30)
                self.assertEqual({submitted["colours"] for submitted in submissions_after(log, 0)},
                                 {"1"})
                self.assertIn(report, program.stdout())
                self.assertNotIn("fatal: ", program.stderr())

    def test_a_size_from_another_process_is_cut_to_the_largest_window(self):
        forged = 32767 << 16 | 32767
        with self.program() as program:
            program.wait_for_frames(1)
            program.post(winebench.WM_SIZE, 0, forged)
            program.send(winebench.WM_SIZE, 0, forged)
            program.send_rect(winebench.WM_SIZING, winebench.WMSZ_BOTTOMRIGHT, 0, 0, 32767, 32767)
            started = program.presents()
            program.wait_for_frames(30)
            # Frames of a window's size keep the normal rate: 30 frames take
            # about half a second, not the seconds each of 16384 x 16384 would.
            times = program.present_times()[started:]
            self.assertLess((times[-1] - times[0]) / 1e9, 2.0)
            # What was presented is no larger than a window on this monitor
            # can be (its size and frame).
            left, top, right, bottom = program.rectangles()["monitor"]
            width, height = program.last_present_size()
            self.assertLessEqual(width, right - left + 64)
            self.assertLessEqual(height, bottom - top + 64)


if __name__ == "__main__":
    winebench.main()
