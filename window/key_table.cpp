#include "window/key_table.h"

#include "window/win32_values.h"

namespace {

Key offsetKey(Key first, std::uint32_t offset) {
    return static_cast<Key>(static_cast<std::uint64_t>(first) + offset);
}

// Any nonzero state counts, the toggle bit included, so a right-hand key
// that was merely toggled at some point still claims the press.
Key handedKey(KeyStateQuery keyState, std::uint32_t rightVirtualKey, Key left, Key right) {
    return keyState(static_cast<int>(rightVirtualKey)) != 0 ? right : left;
}

// Letters and digits come in runs whose Key order differs from the code order.
Key letterKey(std::uint32_t virtualKey) {
    static constexpr Key letters[] = {Key::A, Key::B, Key::C, Key::D, Key::E, Key::F, Key::G,
                                      Key::H, Key::I, Key::J, Key::K, Key::L, Key::M, Key::N,
                                      Key::O, Key::P, Key::Q, Key::R, Key::S, Key::T, Key::U,
                                      Key::V, Key::W, Key::X, Key::Y, Key::Z};
    return letters[virtualKey - vkLetterA];
}

Key digitKey(std::uint32_t virtualKey) {
    return virtualKey == vkDigit0 ? Key::Digit0 : offsetKey(Key::Digit1, virtualKey - vkDigit0 - 1);
}

Key keypadKey(std::uint32_t virtualKey) {
    static constexpr Key keypad[] = {Key::Keypad0, Key::Keypad1, Key::Keypad2, Key::Keypad3,
                                     Key::Keypad4, Key::Keypad5, Key::Keypad6, Key::Keypad7,
                                     Key::Keypad8, Key::Keypad9};
    return keypad[virtualKey - vkNumpad0];
}

Key rangeKey(std::uint32_t virtualKey) {
    if (virtualKey >= vkDigit0 && virtualKey <= vkDigit9) {
        return digitKey(virtualKey);
    }
    if (virtualKey >= vkLetterA && virtualKey <= vkLetterZ) {
        return letterKey(virtualKey);
    }
    if (virtualKey >= vkNumpad0 && virtualKey <= vkNumpad9) {
        return keypadKey(virtualKey);
    }
    if (virtualKey >= vkF1 && virtualKey <= vkF10) {
        return offsetKey(Key::F1, virtualKey - vkF1);
    }
    return Key::Unmapped;
}

Key singleKey(std::uint32_t virtualKey) {
    switch (virtualKey) {
    case vkBack:
        return Key::Backspace;
    case vkTab:
        return Key::Tab;
    case vkReturn:
        return Key::Enter;
    case vkEscape:
        return Key::Escape;
    case vkSpace:
        return Key::Space;
    case vkHome:
        return Key::Home;
    case vkLeft:
        return Key::LeftArrow;
    case vkUp:
        return Key::UpArrow;
    case vkRight:
        return Key::RightArrow;
    case vkDown:
        return Key::DownArrow;
    case vkDelete:
        return Key::Delete;
    case vkMultiply:
        return Key::Multiply;
    // The equals key gives Add and the main minus key gives Minus, like
    // their keypad twins; Equals and Subtract never come out of this mapping.
    case vkAdd:
    case vkOemPlus:
        return Key::Add;
    case vkSubtract:
    case vkOemMinus:
        return Key::Minus;
    case vkDivide:
        return Key::Divide;
    case vkF11:
        return Key::F11;
    case vkF12:
        return Key::F12;
    case vkOem1:
        return Key::Semicolon;
    case vkOemComma:
        return Key::Comma;
    case vkOemPeriod:
        return Key::Period;
    // The '/' key is reported as Backslash, and the real backslash key
    // (220) is unmapped.
    case vkOem2:
        return Key::Backslash;
    case vkOem3:
        return Key::Grave;
    case vkOem4:
        return Key::LeftBracket;
    case vkOem6:
        return Key::RightBracket;
    case vkOem7:
        return Key::Apostrophe;
    default:
        return rangeKey(virtualKey);
    }
}

} // namespace

Key keyFromVirtualKey(std::uint32_t virtualKey, KeyStateQuery keyState) {
    switch (virtualKey) {
    case vkShift:
    case vkLShift:
    case vkRShift:
        return handedKey(keyState, vkRShift, Key::LeftShift, Key::RightShift);
    case vkControl:
    case vkLControl:
    case vkRControl:
        return handedKey(keyState, vkRControl, Key::LeftControl, Key::RightControl);
    case vkMenu:
    case vkLMenu:
    case vkRMenu:
        return handedKey(keyState, vkRMenu, Key::LeftAlt, Key::RightAlt);
    default:
        return singleKey(virtualKey);
    }
}

Key shiftedKey(Key key) {
    switch (key) {
    case Key::Semicolon:
        return Key::Colon;
    case Key::Apostrophe:
        return Key::Quotation;
    default:
        return key;
    }
}

// The odd entries are deliberate and kept as they are: "-" names the
// keypad Subtract, the double quote names Semicolon, and CapsLock is spelt
// "Captial".
const KeyNameMap KeyNameTable = {
    {"e", Key::Escape},
    {"1", Key::Digit1},
    {"2", Key::Digit2},
    {"3", Key::Digit3},
    {"4", Key::Digit4},
    {"5", Key::Digit5},
    {"6", Key::Digit6},
    {"7", Key::Digit7},
    {"8", Key::Digit8},
    {"9", Key::Digit9},
    {"0", Key::Digit0},
    {"-", Key::Subtract},
    {"=", Key::Equals},
    {"\b", Key::Backspace},
    {"\t", Key::Tab},
    {"Q", Key::Q},
    {"W", Key::W},
    {"E", Key::E},
    {"R", Key::R},
    {"T", Key::T},
    {"Y", Key::Y},
    {"U", Key::U},
    {"I", Key::I},
    {"O", Key::O},
    {"P", Key::P},
    {"[", Key::LeftBracket},
    {"]", Key::RightBracket},
    {"\r", Key::Enter},
    {"A", Key::A},
    {"S", Key::S},
    {"D", Key::D},
    {"F", Key::F},
    {"G", Key::G},
    {"H", Key::H},
    {"J", Key::J},
    {"K", Key::K},
    {"L", Key::L},
    {";", Key::Semicolon},
    {":", Key::Colon},
    {"'", Key::Apostrophe},
    {"\"", Key::Semicolon},
    {"`", Key::Grave},
    {"Left Shift", Key::LeftShift},
    {"\\", Key::Backslash},
    {"Z", Key::Z},
    {"X", Key::X},
    {"C", Key::C},
    {"V", Key::V},
    {"B", Key::B},
    {"N", Key::N},
    {"M", Key::M},
    {".", Key::Period},
    {"/", Key::Slash},
    {"Right Shift", Key::RightShift},
    {"*", Key::Multiply},
    {"Left Alt", Key::LeftAlt},
    {" ", Key::Space},
    {"Captial", Key::CapsLock},
    {"F1", Key::F1},
    {"F2", Key::F2},
    {"F3", Key::F3},
    {"F4", Key::F4},
    {"F5", Key::F5},
    {"F6", Key::F6},
    {"F7", Key::F7},
    {"F8", Key::F8},
    {"F9", Key::F9},
    {"F10", Key::F10},
    {"Numlock", Key::NumLock},
};
