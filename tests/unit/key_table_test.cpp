#include "window/key_table.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

std::int16_t noKeyState(int) {
    return 0;
}

// Reports a state only for the right-hand keys, and only the toggle bit.
std::int16_t rightKeysToggled(int virtualKey) {
    return (virtualKey == 161 || virtualKey == 163 || virtualKey == 165) ? 0x0001 : 0;
}

std::int16_t rightKeysDown(int virtualKey) {
    return (virtualKey == 161 || virtualKey == 163 || virtualKey == 165)
               ? static_cast<std::int16_t>(0x8000)
               : 0;
}

struct Mapping {
    std::uint32_t virtualKey;
    Key key;
};

// Every listed code whose key does not depend on the key state.
const Mapping fixedMappings[] = {
    {8, Key::Backspace},
    {9, Key::Tab},
    {13, Key::Enter},
    {27, Key::Escape},
    {32, Key::Space},
    {36, Key::Home},
    {37, Key::LeftArrow},
    {38, Key::UpArrow},
    {39, Key::RightArrow},
    {40, Key::DownArrow},
    {46, Key::Delete},
    {48, Key::Digit0},
    {49, Key::Digit1},
    {53, Key::Digit5},
    {57, Key::Digit9},
    {65, Key::A},
    {66, Key::B},
    {73, Key::I},
    {77, Key::M},
    {81, Key::Q},
    {87, Key::W},
    {90, Key::Z},
    {96, Key::Keypad0},
    {97, Key::Keypad1},
    {100, Key::Keypad4},
    {103, Key::Keypad7},
    {105, Key::Keypad9},
    {106, Key::Multiply},
    {107, Key::Add},
    {187, Key::Add},
    {109, Key::Minus},
    {189, Key::Minus},
    {111, Key::Divide},
    {112, Key::F1},
    {116, Key::F5},
    {121, Key::F10},
    {122, Key::F11},
    {123, Key::F12},
    {186, Key::Semicolon},
    {188, Key::Comma},
    {190, Key::Period},
    {191, Key::Backslash},
    {192, Key::Grave},
    {219, Key::LeftBracket},
    {221, Key::RightBracket},
    {222, Key::Apostrophe},
};

TEST(KeyFromVirtualKey, MapsEveryListedCode) {
    for (const Mapping& mapping : fixedMappings) {
        EXPECT_EQ(keyFromVirtualKey(mapping.virtualKey, noKeyState), mapping.key)
            << "virtual key " << mapping.virtualKey;
    }
}

TEST(KeyFromVirtualKey, LettersAndDigitsFollowTheirCodesOneByOne) {
    const char* letters = "ABCDEFGHIJKLMNOPQRSTUVWXYZ";
    for (std::uint32_t code = 65; code <= 90; ++code) {
        const Key key = keyFromVirtualKey(code, noKeyState);
        const char name[2] = {letters[code - 65], '\0'};
        // The name table spells the letter keys with their own letter.
        for (const auto& entry : KeyNameTable) {
            if (std::strcmp(entry.first, name) == 0) {
                EXPECT_EQ(entry.second, key) << name;
            }
        }
    }
    for (std::uint32_t code = 49; code <= 57; ++code) {
        EXPECT_EQ(static_cast<std::uint64_t>(keyFromVirtualKey(code, noKeyState)), code - 48);
    }
}

TEST(KeyFromVirtualKey, UnlistedCodesAreUnmapped) {
    // Caps Lock, Pause, Page Up/Down, End, Print Screen, Insert, the Windows
    // and Applications keys, keypad decimal, F13, Num Lock, Scroll Lock,
    // the backslash key, and codes beyond the table.
    for (std::uint32_t code :
         {0u,  1u,  19u,  20u,  33u,  34u,  35u,  44u,  45u,  47u,  58u,  64u,   91u,
          92u, 93u, 108u, 110u, 124u, 144u, 145u, 220u, 223u, 255u, 256u, 65536u}) {
        EXPECT_EQ(keyFromVirtualKey(code, noKeyState), Key::Unmapped) << "virtual key " << code;
    }
}

TEST(KeyFromVirtualKey, ModifierKeysAreLeftHandedUnlessTheRightKeyHasAnyState) {
    for (std::uint32_t code : {16u, 160u, 161u}) {
        EXPECT_EQ(keyFromVirtualKey(code, noKeyState), Key::LeftShift);
        EXPECT_EQ(keyFromVirtualKey(code, rightKeysDown), Key::RightShift);
        EXPECT_EQ(keyFromVirtualKey(code, rightKeysToggled), Key::RightShift);
    }
    for (std::uint32_t code : {17u, 162u, 163u}) {
        EXPECT_EQ(keyFromVirtualKey(code, noKeyState), Key::LeftControl);
        EXPECT_EQ(keyFromVirtualKey(code, rightKeysToggled), Key::RightControl);
    }
    for (std::uint32_t code : {18u, 164u, 165u}) {
        EXPECT_EQ(keyFromVirtualKey(code, noKeyState), Key::LeftAlt);
        EXPECT_EQ(keyFromVirtualKey(code, rightKeysToggled), Key::RightAlt);
    }
}

TEST(ShiftedKey, RemapsOnlySemicolonAndApostrophe) {
    EXPECT_EQ(shiftedKey(Key::Semicolon), Key::Colon);
    EXPECT_EQ(shiftedKey(Key::Apostrophe), Key::Quotation);
    for (std::uint64_t value = 0; value <= static_cast<std::uint64_t>(Key::Unmapped); ++value) {
        const Key key = static_cast<Key>(value);
        if (key != Key::Semicolon && key != Key::Apostrophe) {
            EXPECT_EQ(shiftedKey(key), key);
        }
    }
}

TEST(KeyEnumeration, SpansZeroTo106WithFixedLandmarks) {
    EXPECT_EQ(sizeof(Key), 8u);
    EXPECT_EQ(static_cast<int>(Key::Escape), 0);
    EXPECT_EQ(static_cast<int>(Key::Digit0), 10);
    EXPECT_EQ(static_cast<int>(Key::LeftControl), 28);
    EXPECT_EQ(static_cast<int>(Key::Semicolon), 38);
    EXPECT_EQ(static_cast<int>(Key::CapsLock), 59);
    EXPECT_EQ(static_cast<int>(Key::Subtract), 75);
    EXPECT_EQ(static_cast<int>(Key::Decimal), 84);
    EXPECT_EQ(static_cast<int>(Key::Application), 105);
    EXPECT_EQ(static_cast<int>(Key::Unmapped), 106);
}

const char* tableLiteral(const std::string& text) {
    for (const auto& entry : KeyNameTable) {
        if (text == entry.first) {
            return entry.first;
        }
    }
    return nullptr;
}

TEST(KeyNameTable, Holds69EntriesWithTheOddOnesKept) {
    EXPECT_EQ(KeyNameTable.size(), 69u);
    const struct {
        const char* text;
        Key key;
    } odd[] = {{"-", Key::Subtract},       {"\"", Key::Semicolon}, {";", Key::Semicolon},
               {"Captial", Key::CapsLock}, {"e", Key::Escape},     {"/", Key::Slash},
               {"\b", Key::Backspace},     {"\r", Key::Enter},     {"Numlock", Key::NumLock}};
    for (const auto& entry : odd) {
        const char* literal = tableLiteral(entry.text);
        ASSERT_NE(literal, nullptr) << entry.text;
        EXPECT_EQ(KeyNameTable.at(literal), entry.key) << entry.text;
    }
}

TEST(KeyNameTable, KeysWithoutNamesAreAbsent) {
    for (const auto& entry : KeyNameTable) {
        EXPECT_NE(entry.second, Key::Minus);
        EXPECT_NE(entry.second, Key::LeftControl);
        EXPECT_NE(entry.second, Key::Quotation);
        EXPECT_NE(entry.second, Key::Comma);
        // Subtract is the one key past NumLock with a name (through "-").
        if (entry.second != Key::Subtract) {
            EXPECT_LE(static_cast<int>(entry.second), static_cast<int>(Key::NumLock));
        }
    }
}

TEST(KeyNameTable, FindsAnEntryOnlyThroughItsOwnLiteral) {
    const char* literal = tableLiteral("Captial");
    ASSERT_NE(literal, nullptr);
    EXPECT_EQ(KeyNameTable.count(literal), 1u);

    char sameText[] = "Captial";
    ASSERT_NE(static_cast<const char*>(sameText), literal);
    EXPECT_EQ(KeyNameTable.count(sameText), 0u);
}

} // namespace
