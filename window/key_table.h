#pragma once

#include "window/key.h"

#include <cstdint>
#include <unordered_map>

// Asks the system for the state of a virtual key (GetKeyState on Win32): the
// high bit is set while the key is down, the low bit while it is toggled on.
using KeyStateQuery = std::int16_t (*)(int virtualKey);

// Maps a Win32 virtual-key code to a Key. For the shift, control and alt codes
// the right-hand key wins when the system reports any state for it at all.
Key keyFromVirtualKey(std::uint32_t virtualKey, KeyStateQuery keyState);

// The key a shifted press stands for: Semicolon becomes Colon and Apostrophe
// becomes Quotation; every other key stays.
Key shiftedKey(Key key);

// Key names keyed by the address of the literal they were built from, so an
// entry is found only through that very literal, never through equal text.
using KeyNameMap = std::unordered_map<const char*, Key>;
extern const KeyNameMap KeyNameTable;
