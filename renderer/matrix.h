#pragma once

#include "vr/openvr_abi.h"

// 4 x 4 single-precision matrices stored as four columns of four floats
// (element (row, column) is float 4 * column + row), acting on column vectors:
// p' = M * p, so A * B applies B first.
struct mat4 {
    float m[16];

    float& at(int row, int column) { return m[4 * column + row]; }
    float at(int row, int column) const { return m[4 * column + row]; }
};

struct vec3 {
    float x;
    float y;
    float z;
};

mat4 identity();
mat4 operator*(const mat4& a, const mat4& b);
mat4 scale(float s); // diag(s, s, s, 1)

// m * R(angle, axis): a turn by angle radians about the axis, counter-clockwise
// when the axis points at the viewer. The axis is normalised; it must not be
// zero.
mat4 rotate(const mat4& m, float angle, const vec3& axis);

// The general inverse by the adjugate; m must not be singular.
mat4 inverse(const mat4& m);

// Whether inverse(m) is finite: every element finite and a determinant whose
// reciprocal is finite too.
bool invertible(const mat4& m);

// Left-handed perspective with clip depth -1 (near) to +1 (far); clip w is the
// view-space z, so +z is in front of the viewer. fovy is in radians.
mat4 perspective(float fovy, float aspect, float nearPlane, float farPlane);

// The runtime's row-major matrices as mat4, mapping vectors exactly as the
// runtime's do; a 3 x 4 pose gains the bottom row (0, 0, 0, 1).
mat4 fromHmdMatrix34(const vr::HmdMatrix34_t& pose);
mat4 fromHmdMatrix44(const vr::HmdMatrix44_t& matrix);
