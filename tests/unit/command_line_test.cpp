#include "app/command_line.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

// A converter whose narrow form of every non-ASCII character takes three
// bytes, like a multi-byte code page; '#' stands in for the bytes themselves.
class ThreeBytesPerWideChar : public WideToNarrow {
public:
    std::size_t narrowSize(const wchar_t* text) const override {
        std::size_t size = 1;
        for (; *text != L'\0'; ++text) {
            size += *text < 0x80 ? 1 : 3;
        }
        return size;
    }
    void convert(const wchar_t* text, char* buffer, std::size_t bufferSize) const override {
        std::string narrow;
        for (; *text != L'\0'; ++text) {
            narrow += *text < 0x80 ? std::string(1, static_cast<char>(*text)) : std::string("###");
        }
        ASSERT_LT(narrow.size(), bufferSize);
        std::memcpy(buffer, narrow.c_str(), narrow.size() + 1);
    }
};

const ThreeBytesPerWideChar converter;

int allocationsLeft = 0;

void* failAfterBudget(std::size_t bytes) {
    if (allocationsLeft <= 0) {
        return nullptr;
    }
    --allocationsLeft;
    return std::malloc(bytes);
}

TEST(ConvertArguments, NoArgumentsGiveCountZeroAndNoVector) {
    NarrowArguments arguments = convertArguments(0, nullptr, converter);
    EXPECT_EQ(arguments.count, 0);
    EXPECT_EQ(arguments.vector, nullptr);
    freeArguments(arguments);
}

TEST(ConvertArguments, ConvertsEveryArgumentInOrder) {
    const wchar_t* wide[] = {L"hello_triangle.exe", L"--flag", L""};
    NarrowArguments arguments = convertArguments(3, wide, converter);
    ASSERT_EQ(arguments.count, 3);
    EXPECT_STREQ(arguments.vector[0], "hello_triangle.exe");
    EXPECT_STREQ(arguments.vector[1], "--flag");
    EXPECT_STREQ(arguments.vector[2], "");
    freeArguments(arguments);
    EXPECT_EQ(arguments.vector, nullptr);
}

TEST(ConvertArguments, AnArgumentLongerInNarrowFormIsConvertedWhole) {
    const wchar_t* wide[] = {L"caf\u00e9-\u65e5\u672c"};
    NarrowArguments arguments = convertArguments(1, wide, converter);
    ASSERT_EQ(arguments.count, 1);
    EXPECT_STREQ(arguments.vector[0], "caf###-######");
    freeArguments(arguments);
}

TEST(ConvertArguments, AFailedVectorAllocationGivesCountZero) {
    const wchar_t* wide[] = {L"a", L"b"};
    allocationsLeft = 0;
    NarrowArguments arguments = convertArguments(2, wide, converter, failAfterBudget);
    EXPECT_EQ(arguments.count, 0);
    EXPECT_EQ(arguments.vector, nullptr);
}

TEST(ConvertArguments, AFailedElementAllocationLeavesANullSlot) {
    const wchar_t* wide[] = {L"first", L"second", L"third"};
    allocationsLeft = 2; // the vector and the first element
    NarrowArguments arguments = convertArguments(3, wide, converter, failAfterBudget);
    ASSERT_EQ(arguments.count, 3);
    EXPECT_STREQ(arguments.vector[0], "first");
    EXPECT_EQ(arguments.vector[1], nullptr);
    EXPECT_EQ(arguments.vector[2], nullptr);
    freeArguments(arguments);
}

} // namespace
