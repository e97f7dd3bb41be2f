"""The program under the Vulkan validation layer, with synchronization
validation, beneath Wine's Direct3D 12: what a real driver's debug layer would
reject must not pass here either."""
import collections
import re
import sys
import time
import unittest
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "bench"))
import winebench  # noqa: E402

VALIDATION = {
    "VK_INSTANCE_LAYERS": "VK_LAYER_KHRONOS_validation",
    "VK_LAYER_ENABLES": "VK_VALIDATION_FEATURE_ENABLE_SYNCHRONIZATION_VALIDATION_EXT",
}

# Reported while Wine's Direct3D 12 creates its device on the CPU driver, before
# the program makes a call of its own: the translation layer's descriptor
# heaps exceed the driver's update-after-bind limits. Not the program's.
TRANSLATION_LAYER_SET_UP = {
    "VUID-VkPipelineLayoutCreateInfo-descriptorType-03025",
    "VUID-VkPipelineLayoutCreateInfo-descriptorType-03026",
    "VUID-VkPipelineLayoutCreateInfo-pSetLayouts-03041",
    "VUID-VkPipelineLayoutCreateInfo-pSetLayouts-03042",
}
SW_MINIMIZE, SW_RESTORE = 6, 9


def reported_errors(output):
    """The message IDs of every error the layer reported, in order."""
    return re.findall(r"^([\w-]+)\(ERROR / \w+\)", output, re.MULTILINE)


class Validation(winebench.ProgramTestCase):
    def exercise(self, vr_output=None):
        program = self.start_program(extra_env=VALIDATION, vr_output=vr_output)
        window = program.find_window("MainWindow", "Hello Triangle")
        time.sleep(3)
        program.move(window, 40, 30, 600, 450)
        time.sleep(1)
        program.show(window, SW_MINIMIZE)
        time.sleep(1)
        program.show(window, SW_RESTORE)
        time.sleep(2)
        program.post(window, winebench.WM_CLOSE)
        self.assertEqual(program.wait(timeout=60), 0, program.stderr())
        errors = reported_errors(program.stdout())
        # The translation layer's own messages show that the layer was on.
        self.assertTrue(TRANSLATION_LAYER_SET_UP & set(errors), "the validation layer did not run")
        return collections.Counter(e for e in errors if e not in TRANSLATION_LAYER_SET_UP)

    def test_the_desktop_frames_are_validation_clean(self):
        self.assertEqual(self.exercise(), {})

    def test_the_eye_passes_are_validation_clean(self):
        self.assertEqual(self.exercise(vr_output=self.workdir / "vr"), {})


if __name__ == "__main__":
    unittest.main()
