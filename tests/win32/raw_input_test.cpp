#include "window/raw_input.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

// What the fake reader hands out: a whole mouse record, of which it reports
// `returned` bytes read (or -1) after announcing `announced` bytes.
struct FakeRawInput {
    RAWINPUT record{};
    UINT announced = sizeof(RAWINPUTHEADER) + sizeof(RAWMOUSE);
    UINT returned = sizeof(RAWINPUTHEADER) + sizeof(RAWMOUSE);
} fake;

UINT WINAPI fakeReader(HRAWINPUT, UINT command, LPVOID data, PUINT size, UINT headerSize) {
    EXPECT_EQ(command, static_cast<UINT>(RID_INPUT));
    EXPECT_EQ(headerSize, sizeof(RAWINPUTHEADER));
    if (data == nullptr) {
        *size = fake.announced;
        return 0;
    }
    // The whole record lands in the buffer whatever count is returned, so a
    // reader that trusted the buffer past that count would find a mouse.
    std::memcpy(data, &fake.record, std::min<UINT>(*size, sizeof(fake.record)));
    return fake.returned;
}

class RawInput : public ::testing::Test {
protected:
    void SetUp() override {
        fake = FakeRawInput{};
        fake.record.header.dwType = RIM_TYPEMOUSE;
        fake.record.header.dwSize = fake.announced;
        fake.record.data.mouse.lLastX = 12;
        fake.record.data.mouse.lLastY = -7;
    }
};

TEST_F(RawInput, AWholeMouseRecordGivesItsMotion) {
    const auto motion = readRawMouse(nullptr, fakeReader);
    ASSERT_TRUE(motion.has_value());
    EXPECT_EQ(motion->deltaX, 12);
    EXPECT_EQ(motion->deltaY, -7);
}

TEST_F(RawInput, OtherDevicesGiveNothing) {
    fake.record.header.dwType = RIM_TYPEKEYBOARD;
    EXPECT_FALSE(readRawMouse(nullptr, fakeReader).has_value());
}

TEST_F(RawInput, AFailedOrShortReadGivesNothing) {
    fake.returned = static_cast<UINT>(-1);
    EXPECT_FALSE(readRawMouse(nullptr, fakeReader).has_value());
    fake.returned = sizeof(RAWINPUTHEADER) + 4; // the header and half the motion
    EXPECT_FALSE(readRawMouse(nullptr, fakeReader).has_value());
    fake.returned = 0;
    EXPECT_FALSE(readRawMouse(nullptr, fakeReader).has_value());
}

TEST_F(RawInput, NothingToReadGivesNothing) {
    fake.announced = 0;
    EXPECT_FALSE(readRawMouse(nullptr, fakeReader).has_value());
}

} // namespace
