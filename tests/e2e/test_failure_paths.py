"""Every Direct3D 12 and DXGI call whose failure the program checks, failed on
purpose through the test-only d3d12.dll and dxgi.dll: at construction and
during frames, desktop only and with the mock VR runtime."""
import sys
import time
import unittest
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "bench"))
import winebench  # noqa: E402

DEVICE_REMOVED = "887A0005"
CLEAR_GREY = 51
TERMINATED = 3  # what this C runtime's std::terminate and abort exit with

# (the call to fail as HT_FAIL_CALL names it, the text the fatal line must
# name, whether the mock VR runtime is on). "@N" fails the Nth call only,
# "@N+" that one and every later one (a removed device fails everything).
CHECKED_CALLS = [
    # Construction.
    ("CreateDXGIFactory2", "CreateDXGIFactory2(", False),
    ("IDXGIFactory1::EnumAdapters1", "factory->EnumAdapters1(", False),
    ("D3D12CreateDevice", "D3D12CreateDevice(", False),
    ("ID3D12Device::CreateCommandQueue", "device->CreateCommandQueue(", False),
    ("ID3D12Device::CreateCommandAllocator", "device->CreateCommandAllocator(", False),
    ("ID3D12Device::CreateFence", "device->CreateFence(", False),
    ("IDXGIFactory2::CreateSwapChainForHwnd", "factory->CreateSwapChainForHwnd(", False),
    ("IDXGISwapChain::QueryInterface", "created->QueryInterface(", False),
    ("ID3D12Device::CreateDescriptorHeap@1", "IID_PPV_ARGS(&rtvHeap)", False),
    ("IDXGISwapChain::GetBuffer@2", "swapchain->GetBuffer(", False),
    ("ID3D12CommandQueue::Signal@1", "commandQueue->Signal(", False),
    ("ID3D12Device::CreateCommittedResource@1", "IID_PPV_ARGS(&texture)", True),
    ("ID3D12Device::CreateDescriptorHeap@2", "IID_PPV_ARGS(&eyeRtvHeap)", True),
    ("ID3D12Device::CreateDescriptorHeap@2", "IID_PPV_ARGS(&uniformBufferHeap)", False),
    ("ID3D12Device::CreateCommittedResource@1", "IID_PPV_ARGS(&uniformBuffer)", False),
    ("ID3D12Resource::Map@1", "uniformBuffer->Map(", False),
    ("ID3D12Device::CreateCommandList", "device->CreateCommandList(", False),
    ("ID3D12GraphicsCommandList::Close@1", "commandList->Close()", False),
    ("ID3D12Device::CreateCommittedResource@2", "IID_PPV_ARGS(&buffer)", False),
    ("ID3D12Resource::Map@2", "buffer->Map(", False),
    # Frames: the desktop pass, presentation and resizing.
    ("ID3D12CommandAllocator::Reset@3", "commandAllocator->Reset()", False),
    ("ID3D12GraphicsCommandList::Reset@3", "commandList->Reset(", False),
    ("ID3D12GraphicsCommandList::Close@3", "commandList->Close()", False),
    ("ID3D12Resource::Map@10", "uniformBuffer->Map(", False),
    ("ID3D12CommandQueue::Signal@10", "commandQueue->Signal(", False),
    ("ID3D12Fence::SetEventOnCompletion", "fence->SetEventOnCompletion(", False),
    ("IDXGISwapChain::Present@3", "swapchain->Present(", False),
    ("IDXGISwapChain::ResizeBuffers@1", "swapchain->ResizeBuffers(", False),
    ("ID3D12CommandQueue::Signal@10+", "commandQueue->Signal(", False),
    ("ID3D12GraphicsCommandList::Close@3+", "commandList->Close()", False),
    # Frames: the eye passes (per frame: desktop, left eye, right eye).
    ("ID3D12CommandAllocator::Reset@7", "commandAllocator->Reset()", True),
    ("ID3D12GraphicsCommandList::Close@13", "commandList->Close()", True),
    ("ID3D12Resource::Map@12", "uniformBuffer->Map(", True),
    ("ID3D12CommandQueue::Signal@12+", "commandQueue->Signal(", True),
]


class FailurePaths(winebench.ProgramTestCase):
    def start(self, failure, with_vr=False):
        env = {"HT_FAIL_CALL": failure, "HT_FAIL_HRESULT": DEVICE_REMOVED}
        # Each start stages the program afresh, with the mock runtime or not.
        output = self.workdir / f"run-{time.monotonic_ns()}"
        output.mkdir()
        vr = output / "vr" if with_vr else None
        return self.start_program(output_dir=output, extra_env=env, vr_output=vr)

    def test_every_checked_call_that_fails_ends_the_program_with_one_line_naming_it(self):
        table = []
        for failure, call, with_vr in CHECKED_CALLS:
            with self.subTest(failure=failure, vr=with_vr):
                started = time.monotonic()
                program = self.start(failure, with_vr)
                code = program.wait(timeout=30)
                seconds = time.monotonic() - started
                errors = program.stderr().splitlines()
                fatal = [line for line in errors if line.startswith("fatal: ")]
                table.append((failure + (" (VR)" if with_vr else ""), code, fatal, seconds))
                self.assertNotEqual(code, TERMINATED, errors)
                self.assertEqual(code, 1, errors)
                self.assertEqual(len(fatal), 1, errors)
                self.assertEqual(errors[-1], fatal[0])
                self.assertIn(call, fatal[0])
                self.assertIn(f"0x{DEVICE_REMOVED}", fatal[0])
        for failure, code, fatal, seconds in table:
            print(f"{failure:48} exit {code} {seconds:4.1f} s {fatal}", file=sys.stderr)

    def test_pipeline_failures_are_reported_and_the_program_keeps_clearing(self):
        caught = [
            ("D3D12SerializeVersionedRootSignature", "D3D12SerializeVersionedRootSignature("),
            ("ID3D12Device::CreateRootSignature", "device->CreateRootSignature("),
            ("ID3D12Device::CreateGraphicsPipelineState", "Failed to create Graphics Pipeline!"),
        ]
        for failure, report in caught:
            with self.subTest(failure=failure):
                program = self.start(failure)
                window = program.find_window("MainWindow", "Hello Triangle")
                self.wait_until(lambda: program.client_pixel(window, 380, 380) == (CLEAR_GREY,) * 3,
                                "a cleared frame")
                time.sleep(1)
                self.assertTrue(program.running(), program.stderr())
                program.post(window, winebench.WM_CLOSE)
                self.assertEqual(program.wait(timeout=30), 0, program.stderr())
                self.assertIn(report, program.stdout())
                self.assertNotIn("fatal: ", program.stderr())

    def test_a_size_message_beyond_the_largest_texture_is_survived(self):
        program = self.start_program()
        window = program.find_window("MainWindow", "Hello Triangle")
        self.wait_until(lambda: program.client_pixel(window, 100, 100) == (CLEAR_GREY,) * 3,
                        "a first frame")
        program.post(window, 0x0005, 0, 32767 << 16 | 32767)  # WM_SIZE from another process
        time.sleep(3)
        if program.running():
            program.post(window, winebench.WM_CLOSE)
            self.assertEqual(program.wait(timeout=60), 0, program.stderr())
        else:
            # Buffers of 16384 x 16384 may not fit a real GPU's memory: then the
            # refusal is reported like any other.
            self.assertEqual(program.wait(), 1, program.stderr())
            self.assertIn("fatal: swapchain->ResizeBuffers(", program.stderr())


if __name__ == "__main__":
    unittest.main()
