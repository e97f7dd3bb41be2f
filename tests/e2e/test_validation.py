"""The program under the Vulkan validation layer, with synchronization
validation, beneath Wine's Direct3D 12: what a real driver's debug layer would
reject must not pass here either."""
# ctest: LABELS program_on_bench  # needs only the program and its bench: runs while the rest builds
import collections
import re
import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "bench"))
import winebench  # noqa: E402

VALIDATION = {
    "VK_INSTANCE_LAYERS": "VK_LAYER_KHRONOS_validation",
    "VK_LAYER_ENABLES": "VK_VALIDATION_FEATURE_ENABLE_SYNCHRONIZATION_VALIDATION_EXT",
    # Names every layer the loader puts in the chain, on standard error.
    "VK_LOADER_DEBUG": "layer",
}
LAYERS_LOADED = ("VK_LAYER_KHRONOS_validation", "VK_LAYER_HELLO_TRIANGLE_bench_descriptor_limits")


def reported_errors(output):
    """The message IDs of every error the layer reported, in order."""
    return re.findall(r"^([\w-]+)\(ERROR / \w+\)", output, re.MULTILINE)


# One lost device on the way (the 20th Present), built again.
ONE_DEVICE_LOSS = {"HT_FAIL_CALL": "IDXGISwapChain::Present@frame:20", "HT_FAIL_HRESULT": "887A0005"}


# The bench's layer breaks this rule once per Vulkan device when asked, beneath
# the program and above the validation layer.
KNOWN_ERROR = {"HT_BENCH_KNOWN_VALIDATION_ERROR": "1"}
KNOWN_ERROR_ID = "VUID-VkBufferCreateInfo-usage-requiredbitmask"


class Validation(winebench.ProgramTestCase):
    def test_a_known_error_is_seen(self):
        # A clean result means something only while an error would show: a
        # change in how the layer words its messages must fail here.
        with self.program(extra_env={**VALIDATION, **KNOWN_ERROR}) as program:
            program.wait_for_frames(5)
        # Once for each Vulkan device made beneath the program's Direct3D 12.
        self.assertEqual(set(reported_errors(program.stdout())), {KNOWN_ERROR_ID})

    def exercise(self, vr_output=None):
        with self.program(extra_env={**VALIDATION, **ONE_DEVICE_LOSS},
                          vr_output=vr_output) as program:
            program.wait_for_frames(30)
            self.assertIn("The graphics device was lost", program.stderr())
            program.move(40, 30, 600, 450)
            program.wait_for_frames(10)
            program.show(winebench.SW_MINIMIZE)
            program.wait_for_frames(5)
            program.show(winebench.SW_RESTORE)
            program.wait_for_frames(20)
        # Without proof that both layers ran, a clean result would mean nothing.
        for layer in LAYERS_LOADED:
            self.assertIn(f'Insert instance layer "{layer}"', program.stderr())
        return collections.Counter(reported_errors(program.stdout()))

    def test_the_desktop_frames_are_validation_clean(self):
        self.assertEqual(self.exercise(), {})

    def test_the_eye_passes_are_validation_clean(self):
        self.assertEqual(self.exercise(vr_output=self.workdir / "vr"), {})


if __name__ == "__main__":
    winebench.main()
