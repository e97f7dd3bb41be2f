"""Every Direct3D 12 and DXGI call whose failure the program checks, failed on
purpose through the test-only d3d12.dll and dxgi.dll: at construction and
during frames, desktop only and with the mock VR runtime."""
import concurrent.futures
import sys
import unittest
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "bench"))
import winebench  # noqa: E402

DEVICE_REMOVED = "887A0005"
CLEAR_GREY = (51, 51, 51)

# (the call to fail as HT_FAIL_CALL names it, the text the fatal line must
# name, the source file of the failing call, whether the mock VR runtime is
# on). "@N" fails the Nth call of start-up, "@frame:N" the Nth call after the
# first Present, so calls added to start-up do not renumber the frame rows;
# "+" fails that one and every later one (a removed device fails everything).
CHECKED_CALLS = [
    # Start-up.
    ("CreateDXGIFactory2", "CreateDXGIFactory2(", "renderer/device.cpp", False),
    ("IDXGIFactory1::EnumAdapters1", "factory->EnumAdapters1(", "renderer/device.cpp", False),
    ("D3D12CreateDevice", "D3D12CreateDevice(", "renderer/device.cpp", False),
    ("ID3D12Device::CreateCommandQueue", "device->CreateCommandQueue(", "renderer/device.cpp", False),
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


class FailurePaths(winebench.ProgramTestCase):
    def program_failing(self, failure, with_vr=False, window=winebench.MAIN_WINDOW):
        """The program with this call failed, staged afresh (with the mock
        runtime or not) in a folder of its own."""
        output = self.scratch("run-")
        return self.program(output_dir=output, window=window,
                            extra_env={"HT_FAIL_CALL": failure, "HT_FAIL_HRESULT": DEVICE_REMOVED},
                            vr_output=output / "vr" if with_vr else None)

    def run_to_its_end(self, row):
        failure, _, _, with_vr = row
        with self.program_failing(failure, with_vr, window=None) as program:
            program.wait_for_exit()
        return program

    def test_every_checked_call_that_fails_ends_the_program_with_one_line_naming_it(self):
        # The runs share nothing (no window is looked for), so two at a time.
        with concurrent.futures.ThreadPoolExecutor(max_workers=2) as pool:
            runs = list(pool.map(self.run_to_its_end, CHECKED_CALLS))
        for (failure, call, source, with_vr), program in zip(CHECKED_CALLS, runs):
            with self.subTest(failure=failure, vr=with_vr):
                errors = program.stderr().splitlines()
                fatal = [line for line in errors if line.startswith("fatal: ")]
                self.assertEqual(program.exit_code, 1, errors)
                self.assertEqual(len(fatal), 1, errors)
                self.assertEqual(errors[-1], fatal[0])
                self.assertIn(call, fatal[0])
                self.assertIn(f"0x{DEVICE_REMOVED}", fatal[0])
                self.assertIn(f" at {source}:", fatal[0])

    def test_pipeline_failures_are_reported_and_the_program_keeps_clearing(self):
        caught = [
            ("D3D12SerializeVersionedRootSignature", "D3D12SerializeVersionedRootSignature("),
            ("ID3D12Device::CreateRootSignature", "device->CreateRootSignature("),
            ("ID3D12Device::CreateGraphicsPipelineState", "Failed to create Graphics Pipeline!"),
        ]
        for failure, report in caught:
            with self.subTest(failure=failure):
                with self.program_failing(failure) as program:
                    program.wait_until(lambda: program.client_pixel(380, 380) == CLEAR_GREY,
                                       "a cleared frame")
                    program.wait_for_frames(30)
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


if __name__ == "__main__":
    unittest.main()
