#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// Which graphics adapter the device is made on, and what to say about it.
struct AdapterChoice {
    std::optional<std::size_t> index; // none: the system's default adapter
    std::string notice;               // a line for the error stream, or empty
};

// usable[i] says whether adapter i (in enumeration order) is a hardware
// adapter that can make a device of the minimum feature level. With a VR
// session, headsetAdapter is the index the runtime names for the headset: a
// texture made on any other adapter is refused by the compositor, so that one
// is taken when it is usable. Otherwise, and with a notice when the headset's
// index was no good, the first usable adapter.
AdapterChoice chooseAdapterIndex(const std::vector<bool>& usable,
                                 std::optional<std::int32_t> headsetAdapter);
