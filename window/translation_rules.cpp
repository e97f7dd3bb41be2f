#include "window/translation_rules.h"

#include "window/win32_values.h"

#include <algorithm>

namespace {

constexpr std::int32_t captionBand = 32;
constexpr std::int32_t captionMargin = 260;
constexpr std::int32_t borderWidth = 5;
constexpr std::int32_t wheelDelta = 120; // WHEEL_DELTA

// Win32 constants the rules read (winuser.h values).
constexpr std::uint64_t mkShift = 0x0004, mkControl = 0x0008, mkAltOrFirstExtended = 0x0020;
constexpr std::uint64_t xButton1 = 0x0001;
constexpr std::uint16_t keyDown = 0x8000, keyToggled = 0x0001;

bool isDown(KeyStateQuery keyState, std::uint32_t virtualKey) {
    return (static_cast<std::uint16_t>(keyState(static_cast<int>(virtualKey))) & keyDown) != 0;
}

bool isToggled(KeyStateQuery keyState, std::uint32_t virtualKey) {
    return (static_cast<std::uint16_t>(keyState(static_cast<int>(virtualKey))) & keyToggled) != 0;
}

std::uint32_t highWord(std::uint64_t value) {
    return (value >> 16) & 0xFFFF;
}

} // namespace

// NOTE: only a frameless window is classified here; it has no system caption
// and needs one. A window with the native frame is left to the system, which
// knows its caption, buttons, system menu and borders: answered "client"
// there, the close, maximise and minimise buttons did nothing and most of the
// caption could not move the window.
SystemLoop systemLoopOf(std::uint32_t message, std::uint64_t wParam) {
    switch (message) {
    case wmSysCommand: {
        const std::uint64_t command = wParam & 0xFFF0; // the low four bits are the system's
        return command == scMove || command == scSize || command == scKeyMenu ||
                       command == scMouseMenu
                   ? SystemLoop::AllMessages
                   : SystemLoop::None;
    }
    case wmNcLButtonDown:
        return wParam == htMinButton || wParam == htMaxButton || wParam == htClose ||
                       wParam == htHelp
                   ? SystemLoop::MouseMessagesOnly
                   : SystemLoop::AllMessages;
    case wmNcRButtonDown:
        return SystemLoop::MouseMessagesOnly;
    case wmContextMenu:
        return SystemLoop::AllMessages;
    default:
        return SystemLoop::None;
    }
}

std::intptr_t hitTest(std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height,
                      bool maximized, bool nativeFrame) {
    if (nativeFrame) {
        return hitDefault;
    }
    const std::int32_t topMargin = maximized ? 0 : borderWidth;
    if (topMargin < y && y < captionBand && captionMargin < x && x < width - captionMargin) {
        return hitCaption;
    }
    if (borderWidth < x && x < width - borderWidth && borderWidth < y && y < height - borderWidth) {
        return hitClient;
    }
    return hitDefault;
}

double wheelNotches(std::uint64_t wParam) {
    return static_cast<double>(signedWord(wParam, 16) / wheelDelta);
}

ModifierState mouseModifiers(std::uint64_t wParam) {
    ModifierState modifiers;
    modifiers.ctrl = (wParam & mkControl) != 0;
    // 0x0020 is also set while the first extended button is down.
    modifiers.alt = (wParam & mkAltOrFirstExtended) != 0;
    modifiers.shift = (wParam & mkShift) != 0;
    return modifiers;
}

ModifierState keyboardModifiers(KeyStateQuery keyState) {
    ModifierState modifiers;
    modifiers.ctrl = isDown(keyState, vkControl);
    modifiers.alt = isDown(keyState, vkMenu);
    modifiers.shift = isDown(keyState, vkShift) || isToggled(keyState, vkCapital);
    return modifiers;
}

Key keyboardKey(std::uint64_t wParam, ModifierState modifiers, KeyStateQuery keyState) {
    const Key key = keyFromVirtualKey(static_cast<std::uint32_t>(wParam), keyState);
    return modifiers.shift ? shiftedKey(key) : key;
}

PointerButton extendedButton(std::uint64_t wParam) {
    return (highWord(wParam) & xButton1) != 0 ? PointerButton::X1 : PointerButton::X2;
}

std::int32_t signedWord(std::uint64_t value, unsigned shift) {
    return static_cast<std::int16_t>(static_cast<std::uint16_t>((value >> shift) & 0xFFFF));
}

std::int32_t insideOrMinusOne(std::int32_t position, std::int32_t low, std::int32_t high) {
    return (low <= position && position <= high) ? position - low : -1;
}

ResizeData clientSizeFromLParam(std::uint64_t lParam) {
    return ResizeData{static_cast<std::uint32_t>(lParam & 0xFFFF),
                      static_cast<std::uint32_t>(lParam >> 16), false};
}

ResizeData withinLargestWindow(ResizeData size, std::uint32_t largestWidth,
                               std::uint32_t largestHeight) {
    size.width = std::min(size.width, largestWidth);
    size.height = std::min(size.height, largestHeight);
    return size;
}

float dpiScale(std::uint64_t wParam) {
    return static_cast<float>(highWord(wParam)) / static_cast<float>(defaultDpi);
}

std::int32_t captionHeight(bool maximized, std::uint32_t dpi) {
    const std::int32_t height = maximized ? 23 : 32;
    if (dpi == defaultDpi) {
        return height;
    }
    return mulDiv(height, static_cast<std::int32_t>(dpi), static_cast<std::int32_t>(defaultDpi));
}

std::int32_t mulDiv(std::int32_t value, std::int32_t numerator, std::int32_t denominator) {
    if (denominator == 0) {
        return -1;
    }
    const std::int64_t product = static_cast<std::int64_t>(value) * numerator;
    const std::int64_t half = (denominator < 0 ? -denominator : denominator) / 2;
    const bool negative = (product < 0) != (denominator < 0);
    const std::int64_t magnitude = (product < 0 ? -product : product);
    const std::int64_t quotient =
        (magnitude + half) / (denominator < 0 ? -static_cast<std::int64_t>(denominator)
                                              : static_cast<std::int64_t>(denominator));
    return static_cast<std::int32_t>(negative ? -quotient : quotient);
}

std::uint32_t colorRefFromRgba(std::uint32_t rgba) {
    const std::uint32_t red = (rgba >> 24) & 0xFF;
    const std::uint32_t green = (rgba >> 16) & 0xFF;
    const std::uint32_t blue = (rgba >> 8) & 0xFF;
    return red | (green << 8) | (blue << 16);
}
