#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// What the choice needs to know of one adapter, in enumeration order.
struct AdapterCandidate {
    bool usable = false;    // a hardware adapter that can make a device of the minimum level
    std::uint64_t luid = 0; // its locally unique identifier, high part in the upper half
};

// Which graphics adapter the device is made on, and what to say about it.
struct AdapterChoice {
    std::optional<std::size_t> index; // none: the system's default adapter
    std::string notice;               // a line for the error stream, or empty
};

// With a VR session, headsetLuid is the identifier the runtime names for the
// headset's adapter (0 when it cannot tell): a texture made on any other
// adapter is refused by the compositor, so that one is taken when it is
// usable. Otherwise, and with a notice when the headset's adapter was no
// good, the first usable adapter.
AdapterChoice chooseAdapterIndex(const std::vector<AdapterCandidate>& adapters,
                                 std::optional<std::uint64_t> headsetLuid);
