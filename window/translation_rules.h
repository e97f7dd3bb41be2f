#pragma once

#include "window/event.h"
#include "window/key_table.h"

#include <cstdint>

// The arithmetic of message translation, kept free of Win32 so it can be
// tested natively. Parameters are the raw bits of wParam and lParam.

// Hit-test answers: 0 lets the system decide (frame borders and corners).
constexpr std::intptr_t hitDefault = 0;
constexpr std::intptr_t hitClient = 1;  // HTCLIENT
constexpr std::intptr_t hitCaption = 2; // HTCAPTION

// Classifies a point given relative to the window's top-left corner. For a
// frameless window, the top band of 32 pixels between 260-pixel margins drags
// the window; all comparisons are strict. A window with the native frame gets
// the system's answer everywhere (hitDefault).
std::intptr_t hitTest(std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height,
                      bool maximized, bool nativeFrame);

// Which of the system's modal loops the default processing of a message may
// run for the window: none; one that takes every message from the queue
// (moving and sizing, menus: the system commands, a press on the frame or
// the caption, a context menu); or one that takes only mouse messages (a
// caption button held down, the caption's right button held down). Sent
// messages that only announce a loop (WM_ENTERSIZEMOVE, WM_ENTERMENULOOP)
// run none: any process can send them.
enum class SystemLoop { None, AllMessages, MouseMessagesOnly };
SystemLoop systemLoopOf(std::uint32_t message, std::uint64_t wParam);

// Whole wheel notches: the signed high word of wParam divided by 120,
// truncated toward zero.
double wheelNotches(std::uint64_t wParam);

// Modifiers of mouse messages, from the key flags in the low word of wParam.
ModifierState mouseModifiers(std::uint64_t wParam);

// Modifiers of keyboard messages, from the key state at translation time.
// Caps Lock being on counts as shift.
ModifierState keyboardModifiers(KeyStateQuery keyState);

// The key a keyboard message carries, shifted when the modifiers say so.
Key keyboardKey(std::uint64_t wParam, ModifierState modifiers, KeyStateQuery keyState);

// The first extended button when bit 0x0001 of wParam's high word is set.
PointerButton extendedButton(std::uint64_t wParam);

// A signed 16-bit coordinate from the low (shift 0) or high (shift 16) word.
std::int32_t signedWord(std::uint64_t value, unsigned shift);

// Position within [low, high], edges included; -1 outside.
std::int32_t insideOrMinusOne(std::int32_t position, std::int32_t low, std::int32_t high);

// WM_SIZE: width from the low word, height from bits 16 to 47.
ResizeData clientSizeFromLParam(std::uint64_t lParam);

// A size no larger than the largest a window can have, side by side.
ResizeData withinLargestWindow(ResizeData size, std::uint32_t largestWidth,
                               std::uint32_t largestHeight);

// WM_DPICHANGED: the new vertical DPI in wParam's high word, over 96.
float dpiScale(std::uint64_t wParam);

// Height of the caption band that a frameless window reclaims.
std::int32_t captionHeight(bool maximized, std::uint32_t dpi);

// value * numerator / denominator rounded to the nearest integer, halves away
// from zero, as Win32's MulDiv does; -1 for a zero denominator.
std::int32_t mulDiv(std::int32_t value, std::int32_t numerator, std::int32_t denominator);

// The COLORREF (0x00BBGGRR) of a 0xRRGGBBAA colour; alpha is dropped.
std::uint32_t colorRefFromRgba(std::uint32_t rgba);
