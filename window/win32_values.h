#pragma once

#include <cstdint>

// Win32 values that the window layer's platform-independent rules name, as
// winuser.h defines them; kept here so those rules build without windows.h.

// The DPI at which a window is not scaled (USER_DEFAULT_SCREEN_DPI).
constexpr std::uint32_t defaultDpi = 96;

// Virtual-key codes.
constexpr std::uint32_t vkBack = 8, vkTab = 9, vkReturn = 13, vkShift = 16, vkControl = 17,
                        vkMenu = 18, vkCapital = 20, vkEscape = 27, vkSpace = 32, vkHome = 36,
                        vkLeft = 37, vkUp = 38, vkRight = 39, vkDown = 40, vkDelete = 46,
                        vkDigit0 = 48, vkDigit9 = 57, vkLetterA = 65, vkLetterZ = 90,
                        vkNumpad0 = 96, vkNumpad9 = 105, vkMultiply = 106, vkAdd = 107,
                        vkSubtract = 109, vkDivide = 111, vkF1 = 112, vkF10 = 121, vkF11 = 122,
                        vkF12 = 123, vkLShift = 160, vkRShift = 161, vkLControl = 162,
                        vkRControl = 163, vkLMenu = 164, vkRMenu = 165, vkOem1 = 186,
                        vkOemPlus = 187, vkOemComma = 188, vkOemMinus = 189, vkOemPeriod = 190,
                        vkOem2 = 191, vkOem3 = 192, vkOem4 = 219, vkOem6 = 221, vkOem7 = 222;

// Messages whose default processing may run one of the system's modal loops,
// the system commands that do, and the caption buttons' hit-test codes.
constexpr std::uint32_t wmContextMenu = 0x007B, wmNcLButtonDown = 0x00A1, wmNcRButtonDown = 0x00A4,
                        wmSysCommand = 0x0112;
constexpr std::uint64_t scSize = 0xF000, scMove = 0xF010, scMouseMenu = 0xF090, scKeyMenu = 0xF100;
constexpr std::uint64_t htMinButton = 8, htMaxButton = 9, htClose = 20, htHelp = 21;
