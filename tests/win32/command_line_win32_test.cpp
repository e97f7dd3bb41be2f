#include "app/wide_to_narrow.h"

#include <gtest/gtest.h>

namespace {

TEST(CrtWideToNarrow, ConvertsASplitCommandLineThroughTheRuntime) {
    const wchar_t* wide[] = {L"C:\\hello_triangle.exe", L"two words", L""};
    NarrowArguments arguments = convertArguments(3, wide, CrtWideToNarrow{});
    ASSERT_EQ(arguments.count, 3);
    EXPECT_STREQ(arguments.vector[0], "C:\\hello_triangle.exe");
    EXPECT_STREQ(arguments.vector[1], "two words");
    EXPECT_STREQ(arguments.vector[2], "");
    freeArguments(arguments);
}

TEST(CrtWideToNarrow, AnArgumentWithNoNarrowFormBecomesEmptyWithoutEndingTheProcess) {
    // Not representable in the C locale's single-byte conversion.
    const wchar_t* wide[] = {L"\u65e5\u672c\u8a9e", L"after"};
    NarrowArguments arguments = convertArguments(2, wide, CrtWideToNarrow{});
    ASSERT_EQ(arguments.count, 2);
    EXPECT_STREQ(arguments.vector[0], "");
    EXPECT_STREQ(arguments.vector[1], "after");
    freeArguments(arguments);
}

} // namespace
