#include "tools/mock_vr_runtime/mock_settings.h"

#include <windows.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

std::string environment(const char* name, const char* fallback = "") {
    char value[1024];
    const DWORD length = GetEnvironmentVariableA(name, value, sizeof(value));
    return length > 0 && length < sizeof(value) ? std::string(value, length) : fallback;
}

// Comma-separated floats; empty when any of them is not a number.
std::vector<float> floatList(const std::string& text) {
    std::vector<float> values;
    const char* cursor = text.c_str();
    while (*cursor != '\0') {
        char* end = nullptr;
        values.push_back(std::strtof(cursor, &end));
        if (end == cursor) {
            return {};
        }
        cursor = *end == ',' ? end + 1 : end;
    }
    return values;
}

CallRange callRange(const char* name) {
    CallRange range;
    const std::string text = environment(name);
    long first = 0;
    long last = 0;
    const int read = std::sscanf(text.c_str(), "%ld-%ld", &first, &last);
    if (read >= 1 && first > 0) {
        range.first = first;
        range.last = read == 2 ? last : first;
    }
    return range;
}

using Matrix3 = std::array<std::array<float, 3>, 3>;

Matrix3 product(const Matrix3& a, const Matrix3& b) {
    Matrix3 result{};
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c) {
            for (int k = 0; k < 3; ++k) {
                result[r][c] += a[r][k] * b[k][c];
            }
        }
    }
    return result;
}

// Yaw about +y, then pitch about +x, then roll about +z, each counter-clockwise
// seen from the axis' tip: R = Ry(yaw) * Rx(pitch) * Rz(roll).
Matrix3 headRotation(float yawDegrees, float pitchDegrees, float rollDegrees) {
    const float toRadians = 3.14159265f / 180.0f;
    const float y = yawDegrees * toRadians;
    const float p = pitchDegrees * toRadians;
    const float r = rollDegrees * toRadians;
    const Matrix3 yaw = {
        {{std::cos(y), 0, std::sin(y)}, {0, 1, 0}, {-std::sin(y), 0, std::cos(y)}}};
    const Matrix3 pitch = {
        {{1, 0, 0}, {0, std::cos(p), -std::sin(p)}, {0, std::sin(p), std::cos(p)}}};
    const Matrix3 roll = {
        {{std::cos(r), -std::sin(r), 0}, {std::sin(r), std::cos(r), 0}, {0, 0, 1}}};
    return product(product(yaw, pitch), roll);
}

// The head translation (x,y,z) or a whole pose (12 floats, row-major), turned
// by the head rotation (yaw,pitch,roll in degrees) about its own position.
vr::HmdMatrix34_t configuredHeadPose() {
    const std::vector<float> values = floatList(environment("HT_MOCK_VR_HEAD_POSE"));
    vr::HmdMatrix34_t pose = translation(0, 0, 0);
    if (values.size() == 3) {
        pose = translation(values[0], values[1], values[2]);
    } else if (values.size() == 12) {
        for (int i = 0; i < 12; ++i) {
            pose.m[i / 4][i % 4] = values[static_cast<std::size_t>(i)];
        }
    }
    const std::vector<float> angles = floatList(environment("HT_MOCK_VR_HEAD_ROTATION"));
    if (angles.size() != 3) {
        return pose;
    }
    Matrix3 base{};
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c) {
            base[r][c] = pose.m[r][c];
        }
    }
    const Matrix3 turned = product(headRotation(angles[0], angles[1], angles[2]), base);
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c) {
            pose.m[r][c] = turned[r][c];
        }
    }
    return pose;
}

MockSettings readSettings() {
    MockSettings settings;
    unsigned width = 0;
    unsigned height = 0;
    if (std::sscanf(environment("HT_MOCK_VR_SIZE", "320x360").c_str(), "%ux%u", &width, &height) ==
            2 &&
        width > 0 && height > 0) {
        settings.width = width;
        settings.height = height;
    }
    settings.eyeOffset =
        std::strtof(environment("HT_MOCK_VR_EYE_OFFSET", "0.032").c_str(), nullptr);
    settings.headPose = configuredHeadPose();
    settings.initError = std::atoi(environment("HT_MOCK_VR_INIT_ERROR", "0").c_str());
    settings.reopenError = std::atoi(environment("HT_MOCK_VR_REOPEN_ERROR", "0").c_str());
    settings.initWhen = environment("HT_MOCK_VR_INIT_WHEN");
    settings.invalidInterfaces = "," + environment("HT_MOCK_VR_INVALID_INTERFACES") + ",";
    settings.tokenChangeAfter = std::atol(environment("HT_MOCK_VR_TOKEN_CHANGE_AFTER").c_str());
    settings.nullCompositor = environment("HT_MOCK_VR_NULL_COMPOSITOR") == "1";
    settings.refreshHz = std::strtod(environment("HT_MOCK_VR_REFRESH_HZ", "0").c_str(), nullptr);
    settings.untrackedPoseWaits = std::atol(environment("HT_MOCK_VR_UNTRACKED_FIRST").c_str());
    settings.trackingLost = callRange("HT_MOCK_VR_TRACKING_LOST");
    settings.poseWaitsWithoutFocus = callRange("HT_MOCK_VR_NO_FOCUS");
    settings.failedSubmissions = callRange("HT_MOCK_VR_SUBMIT_FAIL");
    settings.submissionError = static_cast<vr::EVRCompositorError>(
        std::atoi(environment("HT_MOCK_VR_SUBMIT_ERROR", "1").c_str()));
    settings.compositorVersion = environment("HT_MOCK_VR_COMPOSITOR", vr::IVRCompositor_Version);
    const std::string luid = environment("HT_MOCK_VR_ADAPTER_LUID");
    if (!luid.empty()) {
        settings.adapterLuid = std::strtoull(luid.c_str(), nullptr, 0);
    }
    settings.quitAfter = std::atol(environment("HT_MOCK_VR_QUIT_AFTER").c_str());
    settings.quitWhen = environment("HT_MOCK_VR_QUIT_WHEN");
    settings.quitTimeoutMs =
        std::strtoul(environment("HT_MOCK_VR_QUIT_TIMEOUT_MS", "5000").c_str(), nullptr, 10);
    settings.output = environment("HT_MOCK_VR_OUTPUT");
    settings.saveImages = environment("HT_MOCK_VR_IMAGES", "1") != "0";
    return settings;
}

} // namespace

bool MockSettings::reportsInvalid(const char* version) const {
    return invalidInterfaces.find("," + std::string(version) + ",") != std::string::npos;
}

const MockSettings& mockSettings() {
    static const MockSettings settings = readSettings();
    return settings;
}
