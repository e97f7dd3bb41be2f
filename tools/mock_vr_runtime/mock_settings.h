#pragma once

#include "vr/openvr_abi.h"

#include <cstdint>
#include <optional>
#include <string>

// A pose that only moves, by (x, y, z) metres.
inline vr::HmdMatrix34_t translation(float x, float y, float z) {
    return {{{1, 0, 0, x}, {0, 1, 0, y}, {0, 0, 1, z}}};
}

// A run of numbered calls, FIRST-LAST inclusive (or a single N), counted
// from 1. Empty unless given.
struct CallRange {
    long first = 0;
    long last = -1;

    bool contains(long call) const { return call >= first && call <= last; }
};

// How the stand-in runtime behaves, read once from HT_MOCK_VR_* variables.
// Every default is that of a runtime with a perfectly tracked, unmoving
// headset whose pose wait returns at once.
struct MockSettings {
    std::uint32_t width = 320;
    std::uint32_t height = 360;
    float eyeOffset = 0.032f;
    vr::HmdMatrix34_t headPose{}; // translation and rotation combined
    int initError = 0;
    int reopenError = 0;  // a session opened again in the same process gets this error
    std::string initWhen; // opening the session waits for this file, as for a runtime's start
    std::string invalidInterfaces; // ",A,B," for a simple search
    long tokenChangeAfter = 0;     // 0: never
    bool nullCompositor = false;
    double refreshHz = 0.0;          // 0: the pose wait returns at once
    long untrackedPoseWaits = 0;     // the first N pose waits have no pose
    CallRange trackingLost;          // pose waits with a stale pose, not valid
    CallRange poseWaitsWithoutFocus; // pose waits that fail, arrays untouched
    CallRange failedSubmissions;     // submissions that are refused, with this error:
    vr::EVRCompositorError submissionError = vr::VRCompositorError_RequestFailed;
    std::string compositorVersion = vr::IVRCompositor_Version; // the one offered; "none"
    std::optional<std::uint64_t> adapterLuid; // the headset's adapter; none: the first one's
    long quitAfter = 0;                       // Quit is queued after this pose wait; 0: never
    std::string quitWhen;                     // or after the first pose wait that finds this file
    unsigned long quitTimeoutMs = 5000;       // then the process is ended this much later
    std::string output;
    bool saveImages = true; // read accepted images back and save them in output

    bool reportsInvalid(const char* version) const;
};

const MockSettings& mockSettings();
