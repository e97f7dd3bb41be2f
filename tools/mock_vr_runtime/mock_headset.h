#pragma once

#include "tools/mock_vr_runtime/mock_settings.h"
#include "vr/openvr_abi.h"

#include <string>

// One line, with a timestamp, in the runtime's log (HT_MOCK_VR_OUTPUT).
void logCall(const std::string& text);

// The headset's clock starts when an application opens the runtime; closing
// it stops the quit timer and releases what the compositor holds of the
// application's device.
void openHeadset();
void closeHeadset();

// The one system and compositor object of the process, and the compositor as
// "IVRCompositor_027" offers it: its six slots only, the others trapping.
vr::IVRSystem* headsetSystem();
vr::IVRCompositor* headsetCompositor();
void* headsetCompositor027();
