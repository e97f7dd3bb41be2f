#pragma once

// The part of the VR client library's binary interface that the program uses,
// declared here because no SDK is available to build against. Layouts are
// those of the library's Windows x64 build.

namespace vr {

// Row-major 3 x 4 affine transform acting on column vectors; metres,
// right-handed, +y up, -z forward.
struct HmdMatrix34_t {
    float m[3][4];
};

// Row-major 4 x 4 matrix, such as an eye projection.
struct HmdMatrix44_t {
    float m[4][4];
};

static_assert(sizeof(HmdMatrix34_t) == 48, "HmdMatrix34_t is 48 bytes");
static_assert(sizeof(HmdMatrix44_t) == 64, "HmdMatrix44_t is 64 bytes");

class IVRSystem;

} // namespace vr
