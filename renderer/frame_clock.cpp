#include "renderer/frame_clock.h"

#include <cmath>

namespace {
constexpr float millisecondsToSeconds = 0.001f; // float32 bits 0x3A83126F
constexpr float fullTurn = 6.2831855f;          // float32 bits 0x40C90FDB
} // namespace

float elapsedMilliseconds(SteadyTime from, SteadyTime to) {
    const auto nanoseconds = std::chrono::duration_cast<std::chrono::nanoseconds>(to - from);
    return static_cast<float>(static_cast<long long>(nanoseconds.count())) / 1000000.0f;
}

std::chrono::nanoseconds FrameClock::timeUntilNextFrame() const {
    const float remaining = frameIntervalMilliseconds - elapsedMilliseconds(lastFrameTime, now());
    if (!(remaining > 0.0f)) {
        return std::chrono::nanoseconds(0);
    }
    return std::chrono::nanoseconds(static_cast<long long>(std::ceil(remaining * 1e6)));
}

bool FrameClock::beginFrame() {
    currentTime = now();
    const float elapsed = elapsedMilliseconds(lastFrameTime, currentTime);
    if (frameIntervalMilliseconds > elapsed) {
        return false;
    }
    lastFrameTime = now();
    // Kept although nothing reads it yet: the desktop view carries no
    // rotation.
    animationAngle = std::fmod(elapsed * millisecondsToSeconds + animationAngle, fullTurn);
    return true;
}
