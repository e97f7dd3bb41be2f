#include "renderer/matrix.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>

namespace {

std::uint32_t bitsOf(float value) {
    std::uint32_t bits;
    std::memcpy(&bits, &value, sizeof(bits));
    return bits;
}

void expectNear(const mat4& actual, const mat4& expected, float tolerance = 1e-5f) {
    for (int i = 0; i < 16; ++i) {
        EXPECT_NEAR(actual.m[i], expected.m[i], tolerance) << "element " << i;
    }
}

mat4 translation(float x, float y, float z) {
    mat4 result = identity();
    result.at(0, 3) = x;
    result.at(1, 3) = y;
    result.at(2, 3) = z;
    return result;
}

TEST(Matrix, StorageIsColumnMajorAndProductsApplyTheRightOperandFirst) {
    const mat4 moved = translation(1, 2, 3);
    EXPECT_EQ(moved.m[12], 1.0f); // column 3, row 0
    EXPECT_EQ(moved.m[14], 3.0f);
    // Scale, then move: the translation is not scaled.
    const mat4 product = moved * scale(2.0f);
    EXPECT_EQ(product.at(0, 0), 2.0f);
    EXPECT_EQ(product.at(0, 3), 1.0f);
    const mat4 other = scale(2.0f) * moved;
    EXPECT_EQ(other.at(0, 3), 2.0f);
}

TEST(Rotate, ByZeroReturnsTheMatrixExactly) {
    const mat4 m = translation(4, 5, 6) * scale(3.0f);
    const mat4 turned = rotate(m, 0.0f, vec3{0, 0, 1});
    EXPECT_EQ(std::memcmp(turned.m, m.m, sizeof(m.m)), 0);
}

TEST(Rotate, AboutXHasTheTextbookRows) {
    const float theta = 0.7f;
    const mat4 r = rotate(identity(), theta, vec3{1, 0, 0});
    const float c = std::cos(theta);
    const float s = std::sin(theta);
    const float rows[4][4] = {{1, 0, 0, 0}, {0, c, -s, 0}, {0, s, c, 0}, {0, 0, 0, 1}};
    for (int row = 0; row < 4; ++row) {
        for (int column = 0; column < 4; ++column) {
            EXPECT_FLOAT_EQ(r.at(row, column), rows[row][column]) << row << "," << column;
        }
    }
}

TEST(Rotate, NormalisesTheAxisAndTurnsCounterClockwise) {
    expectNear(rotate(identity(), 1.2f, vec3{0, 2, 0}), rotate(identity(), 1.2f, vec3{0, 1, 0}));
    // A quarter turn about +z takes +x to +y.
    const mat4 quarter = rotate(identity(), 1.5707964f, vec3{0, 0, 1});
    EXPECT_NEAR(quarter.at(1, 0), 1.0f, 1e-6f);
    EXPECT_NEAR(quarter.at(0, 0), 0.0f, 1e-6f);
}

TEST(Inverse, UndoesRigidTransforms) {
    const mat4 rigid[] = {
        translation(0.5f, -2.0f, 3.25f) * rotate(identity(), 0.9f, vec3{1, 2, 3}),
        rotate(translation(-7, 1, 0), -2.5f, vec3{0, 1, 0}),
        identity(),
    };
    for (const mat4& m : rigid) {
        expectNear(inverse(m) * m, identity());
        expectNear(m * inverse(m), identity());
    }
}

TEST(Inverse, OfAGeneralMatrix) {
    mat4 m = translation(1, 2, 3) * scale(4.0f);
    m.at(3, 0) = 0.5f; // a projective row, so every cofactor matters
    m.at(0, 1) = -1.5f;
    expectNear(inverse(m) * m, identity(), 1e-5f);
    EXPECT_NEAR(inverse(scale(4.0f)).at(1, 1), 0.25f, 1e-7f);
}

TEST(Perspective, TheDesktopArgumentsGiveTheKnownDepthElements) {
    const float halfTangent = std::tan(22.5f);
    const mat4 p = perspective(45.0f, 1.0f, 0.01f, 1024.0f);
    EXPECT_NEAR(p.m[0], 1.792591f, 1e-5f);
    EXPECT_NEAR(p.m[5], 1.0f / halfTangent, 1e-6f);
    EXPECT_EQ(bitsOf(p.m[10]), 0x3F8000A4u);
    EXPECT_EQ(p.m[11], 1.0f);
    EXPECT_EQ(bitsOf(p.m[14]), 0xBCA3D773u);
    for (int i : {1, 2, 3, 4, 6, 7, 8, 9, 12, 13, 15}) {
        EXPECT_EQ(p.m[i], 0.0f) << "element " << i;
    }
    EXPECT_NEAR(perspective(45.0f, 2.0f, 0.01f, 1024.0f).m[0], 1.792591f / 2, 1e-5f);
}

TEST(HmdConversion, ThreeByFourPoseKeepsItsTranslationInColumnThree) {
    const vr::HmdMatrix34_t identityPose = {{{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}}};
    EXPECT_EQ(std::memcmp(fromHmdMatrix34(identityPose).m, identity().m, sizeof(mat4)), 0);

    const vr::HmdMatrix34_t pose = {{{0, -1, 0, 0.1f}, {1, 0, 0, 1.6f}, {0, 0, 1, -0.3f}}};
    const mat4 m = fromHmdMatrix34(pose);
    EXPECT_EQ(m.m[12], 0.1f);
    EXPECT_EQ(m.m[13], 1.6f);
    EXPECT_EQ(m.m[14], -0.3f);
    EXPECT_EQ(m.m[15], 1.0f);
    EXPECT_EQ(m.at(0, 1), -1.0f);
    EXPECT_EQ(m.at(3, 0), 0.0f);
}

TEST(HmdConversion, FourByFourIsARelayoutNotATransposition) {
    vr::HmdMatrix44_t matrix{};
    for (int row = 0; row < 4; ++row) {
        for (int column = 0; column < 4; ++column) {
            matrix.m[row][column] = static_cast<float>(10 * row + column);
        }
    }
    const mat4 m = fromHmdMatrix44(matrix);
    for (int row = 0; row < 4; ++row) {
        for (int column = 0; column < 4; ++column) {
            EXPECT_EQ(m.at(row, column), matrix.m[row][column]);
        }
    }
    EXPECT_EQ(m.m[1], 10.0f); // column 0 holds the first element of each row
}

} // namespace
