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

bool FrameClock::beginFrame() {
    currentTime = now();
    const float elapsed = elapsedMilliseconds(lastFrameTime, currentTime);
    if (frameIntervalMilliseconds > elapsed) {
        return false;
    }
    lastFrameTime = now();
    // NOTE: kept although nothing reads it yet: the desktop view carries no
    // rotation.
    animationAngle = std::fmod(elapsed * millisecondsToSeconds + animationAngle, fullTurn);
    return true;
}
