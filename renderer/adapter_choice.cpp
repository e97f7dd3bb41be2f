#include "renderer/adapter_choice.h"

#include <cstdio>

namespace {

std::optional<std::size_t> firstUsable(const std::vector<AdapterCandidate>& adapters) {
    for (std::size_t index = 0; index < adapters.size(); ++index) {
        if (adapters[index].usable) {
            return index;
        }
    }
    return std::nullopt;
}

std::optional<std::size_t> usableWithLuid(const std::vector<AdapterCandidate>& adapters,
                                          std::uint64_t luid) {
    for (std::size_t index = 0; index < adapters.size(); ++index) {
        if (adapters[index].usable && adapters[index].luid == luid) {
            return index;
        }
    }
    return std::nullopt;
}

std::string hex(std::uint64_t value) {
    char text[24];
    std::snprintf(text, sizeof(text), "0x%llx", static_cast<unsigned long long>(value));
    return text;
}

} // namespace

AdapterChoice chooseAdapterIndex(const std::vector<AdapterCandidate>& adapters,
                                 std::optional<std::uint64_t> headsetLuid) {
    AdapterChoice choice;
    if (headsetLuid && *headsetLuid != 0) {
        choice.index = usableWithLuid(adapters, *headsetLuid);
        if (choice.index) {
            return choice;
        }
    }
    choice.index = firstUsable(adapters);
    if (headsetLuid) {
        const std::string named =
            *headsetLuid == 0 ? "The VR runtime names no graphics adapter for the headset"
                              : "The VR headset's graphics adapter (LUID " + hex(*headsetLuid) +
                                    ") is not one that can make a Direct3D 12 device";
        choice.notice = named + "; using the first hardware adapter, on which the headset "
                                "may refuse the eye images.";
    }
    return choice;
}
