#include "renderer/adapter_choice.h"

namespace {

std::optional<std::size_t> firstUsable(const std::vector<bool>& usable) {
    for (std::size_t index = 0; index < usable.size(); ++index) {
        if (usable[index]) {
            return index;
        }
    }
    return std::nullopt;
}

bool namesUsable(const std::vector<bool>& usable, std::int32_t index) {
    return index >= 0 && static_cast<std::size_t>(index) < usable.size() &&
           usable[static_cast<std::size_t>(index)];
}

} // namespace

AdapterChoice chooseAdapterIndex(const std::vector<bool>& usable,
                                 std::optional<std::int32_t> headsetAdapter) {
    AdapterChoice choice;
    if (headsetAdapter && namesUsable(usable, *headsetAdapter)) {
        choice.index = static_cast<std::size_t>(*headsetAdapter);
        return choice;
    }
    choice.index = firstUsable(usable);
    if (headsetAdapter) {
        const std::string named = *headsetAdapter < 0
                                      ? "The VR runtime names no graphics adapter for the headset"
                                      : "The VR headset's graphics adapter (index " +
                                            std::to_string(*headsetAdapter) +
                                            ") cannot make a Direct3D 12 device";
        choice.notice = named + "; using the first hardware adapter, on which the headset "
                                "may refuse the eye images.";
    }
    return choice;
}
