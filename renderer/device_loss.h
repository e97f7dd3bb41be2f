#pragma once

#include <chrono>
#include <cstdint>
#include <optional>

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

// When a rebuild that failed is tried again: a driver that restarts (an
// update, a GPU reset) refuses new devices for seconds. The pauses grow from
// 50 ms, doubling, to 250 ms, so a driver that is back is found within a
// quarter of a second; a failed attempt costs a few milliseconds. The retries
// go on for as long as the failures come less than 10 s after the loss: the
// last attempt fails between 10 and about 10.25 s after it.
class RebuildRetries {
public:
    using Time = std::chrono::steady_clock::time_point;

    static constexpr std::chrono::milliseconds firstPause{50};
    static constexpr std::chrono::milliseconds longestPause{250};
    static constexpr std::chrono::seconds triedFor{10};

    // The device was lost at this time; the pauses start again.
    void start(Time lost);

    // After a rebuild failed at now: when to try again, or nothing when the
    // time for trying is over.
    std::optional<Time> next(Time now);

private:
    Time lost{};
    std::chrono::milliseconds pause = firstPause;
};
