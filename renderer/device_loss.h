#pragma once

#include <cstdint>

// The results by which Direct3D and DXGI say the device is gone: removed
// (a driver update or restart, a GPU switch), hung, or reset.
constexpr std::int32_t deviceRemovedResult = static_cast<std::int32_t>(0x887A0005);
constexpr std::int32_t deviceHungResult = static_cast<std::int32_t>(0x887A0006);
constexpr std::int32_t deviceResetResult = static_cast<std::int32_t>(0x887A0007);

bool isDeviceLost(std::int32_t hresult);

// How often a lost device may be built again: once, and again only after a
// frame has been presented on the new one. A device that is lost again before
// that, a driver that cannot keep one, ends the program instead of making it
// rebuild for ever.
class DeviceLossBudget {
public:
    bool mayRecover() const { return presentedSinceRecovery; }
    void recovering() { presentedSinceRecovery = false; }
    void framePresented() { presentedSinceRecovery = true; }

private:
    bool presentedSinceRecovery = true;
};
