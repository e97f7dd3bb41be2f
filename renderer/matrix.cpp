#include "renderer/matrix.h"

#include <cmath>

// Every operation works a column of four floats at a time, in float32
// throughout, so the compiler can keep each column in one vector register.

namespace {

// a's columns weighted by w0..w3 and summed in this order into one column.
void weightedColumns(const mat4& a, float w0, float w1, float w2, float w3, float* out) {
    for (int row = 0; row < 4; ++row) {
        out[row] = a.m[row] * w0 + a.m[4 + row] * w1 + a.m[8 + row] * w2 + a.m[12 + row] * w3;
    }
}

// The same over a's first three columns only.
void weightedColumns3(const mat4& a, float w0, float w1, float w2, float* out) {
    for (int row = 0; row < 4; ++row) {
        out[row] = a.m[row] * w0 + a.m[4 + row] * w1 + a.m[8 + row] * w2;
    }
}

struct Minors {
    float s[6]; // 2 x 2 determinants of rows 0 and 1
    float c[6]; // 2 x 2 determinants of rows 2 and 3
};

float minor2(const mat4& m, int r0, int r1, int c0, int c1) {
    return m.at(r0, c0) * m.at(r1, c1) - m.at(r1, c0) * m.at(r0, c1);
}

Minors minorsOf(const mat4& m) {
    Minors minors{};
    const int pairs[6][2] = {{0, 1}, {0, 2}, {0, 3}, {1, 2}, {1, 3}, {2, 3}};
    for (int i = 0; i < 6; ++i) {
        minors.s[i] = minor2(m, 0, 1, pairs[i][0], pairs[i][1]);
        minors.c[i] = minor2(m, 2, 3, pairs[i][0], pairs[i][1]);
    }
    return minors;
}

// Transpose of the cofactor matrix, each cofactor built from a row of the
// matrix and the 2 x 2 determinants of the two rows it does not touch.
mat4 adjugate(const mat4& m) {
    const Minors n = minorsOf(m);
    const float* s = n.s;
    const float* c = n.c;
    mat4 a{};
    a.at(0, 0) = m.at(1, 1) * c[5] - m.at(1, 2) * c[4] + m.at(1, 3) * c[3];
    a.at(0, 1) = -m.at(0, 1) * c[5] + m.at(0, 2) * c[4] - m.at(0, 3) * c[3];
    a.at(0, 2) = m.at(3, 1) * s[5] - m.at(3, 2) * s[4] + m.at(3, 3) * s[3];
    a.at(0, 3) = -m.at(2, 1) * s[5] + m.at(2, 2) * s[4] - m.at(2, 3) * s[3];
    a.at(1, 0) = -m.at(1, 0) * c[5] + m.at(1, 2) * c[2] - m.at(1, 3) * c[1];
    a.at(1, 1) = m.at(0, 0) * c[5] - m.at(0, 2) * c[2] + m.at(0, 3) * c[1];
    a.at(1, 2) = -m.at(3, 0) * s[5] + m.at(3, 2) * s[2] - m.at(3, 3) * s[1];
    a.at(1, 3) = m.at(2, 0) * s[5] - m.at(2, 2) * s[2] + m.at(2, 3) * s[1];
    a.at(2, 0) = m.at(1, 0) * c[4] - m.at(1, 1) * c[2] + m.at(1, 3) * c[0];
    a.at(2, 1) = -m.at(0, 0) * c[4] + m.at(0, 1) * c[2] - m.at(0, 3) * c[0];
    a.at(2, 2) = m.at(3, 0) * s[4] - m.at(3, 1) * s[2] + m.at(3, 3) * s[0];
    a.at(2, 3) = -m.at(2, 0) * s[4] + m.at(2, 1) * s[2] - m.at(2, 3) * s[0];
    a.at(3, 0) = -m.at(1, 0) * c[3] + m.at(1, 1) * c[1] - m.at(1, 2) * c[0];
    a.at(3, 1) = m.at(0, 0) * c[3] - m.at(0, 1) * c[1] + m.at(0, 2) * c[0];
    a.at(3, 2) = -m.at(3, 0) * s[3] + m.at(3, 1) * s[1] - m.at(3, 2) * s[0];
    a.at(3, 3) = m.at(2, 0) * s[3] - m.at(2, 1) * s[1] + m.at(2, 2) * s[0];
    return a;
}

// The determinant by the first column of m and the first row of its adjugate.
float determinantOf(const mat4& m, const mat4& a) {
    return (m.at(0, 0) * a.at(0, 0) + m.at(1, 0) * a.at(0, 1)) +
           (m.at(2, 0) * a.at(0, 2) + m.at(3, 0) * a.at(0, 3));
}

} // namespace

mat4 identity() {
    return scale(1.0f);
}

mat4 operator*(const mat4& a, const mat4& b) {
    mat4 result{};
    for (int column = 0; column < 4; ++column) {
        weightedColumns(a, b.at(0, column), b.at(1, column), b.at(2, column), b.at(3, column),
                        &result.m[4 * column]);
    }
    return result;
}

mat4 scale(float s) {
    mat4 result{};
    result.at(0, 0) = s;
    result.at(1, 1) = s;
    result.at(2, 2) = s;
    result.at(3, 3) = 1.0f;
    return result;
}

mat4 rotate(const mat4& m, float angle, const vec3& axis) {
    const float c = std::cos(angle);
    const float s = std::sin(angle);
    const float reciprocal = 1.0f / std::sqrt(axis.y * axis.y + axis.x * axis.x + axis.z * axis.z);
    const vec3 u{axis.x * reciprocal, axis.y * reciprocal, axis.z * reciprocal};
    const float t = 1.0f - c;
    const vec3 temp{t * u.x, t * u.y, t * u.z};

    const float r[3][3] = {
        // r[column][row]
        {temp.x * u.x + c, temp.x * u.y + s * u.z, temp.x * u.z - s * u.y},
        {temp.y * u.x - s * u.z, temp.y * u.y + c, temp.y * u.z + s * u.x},
        {temp.z * u.x + s * u.y, temp.z * u.y - s * u.x, temp.z * u.z + c},
    };
    mat4 result = m;
    for (int column = 0; column < 3; ++column) {
        weightedColumns3(m, r[column][0], r[column][1], r[column][2], &result.m[4 * column]);
    }
    return result;
}

mat4 inverse(const mat4& m) {
    const mat4 a = adjugate(m);
    const float reciprocal = 1.0f / determinantOf(m, a);
    mat4 result{};
    for (int i = 0; i < 16; ++i) {
        result.m[i] = a.m[i] * reciprocal;
    }
    return result;
}

bool invertible(const mat4& m) {
    for (float element : m.m) {
        if (!std::isfinite(element)) {
            return false;
        }
    }
    const float determinant = determinantOf(m, adjugate(m));
    return std::isfinite(determinant) && std::isfinite(1.0f / determinant);
}

mat4 perspective(float fovy, float aspect, float nearPlane, float farPlane) {
    const float halfTangent = std::tan(fovy / 2.0f);
    mat4 result{};
    result.at(0, 0) = 1.0f / (aspect * halfTangent);
    result.at(1, 1) = 1.0f / halfTangent;
    result.at(2, 2) = (farPlane + nearPlane) / (farPlane - nearPlane);
    result.at(3, 2) = 1.0f;
    result.at(2, 3) = -(2.0f * farPlane * nearPlane) / (farPlane - nearPlane);
    return result;
}

mat4 fromHmdMatrix34(const vr::HmdMatrix34_t& pose) {
    mat4 result = identity();
    for (int row = 0; row < 3; ++row) {
        for (int column = 0; column < 4; ++column) {
            result.at(row, column) = pose.m[row][column];
        }
    }
    return result;
}

mat4 fromHmdMatrix44(const vr::HmdMatrix44_t& matrix) {
    mat4 result{};
    for (int row = 0; row < 4; ++row) {
        for (int column = 0; column < 4; ++column) {
            result.at(row, column) = matrix.m[row][column];
        }
    }
    return result;
}
