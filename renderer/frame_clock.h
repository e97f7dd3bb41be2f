#pragma once

#include <chrono>

using SteadyTime = std::chrono::steady_clock::time_point;
using ClockReading = SteadyTime (*)();

// Frames closer together than this are skipped (float32 bits 0x41855555).
constexpr float frameIntervalMilliseconds = 16.666666f;

// Milliseconds from `from` to `to`, as the frame gate measures them: signed
// 64-bit nanoseconds converted to float32, then divided by a million.
float elapsedMilliseconds(SteadyTime from, SteadyTime to);

// The renderer's frame gate. The clock is injectable so tests can step time.
struct FrameClock {
    explicit FrameClock(ClockReading now = &std::chrono::steady_clock::now) : now(now) {}

    // Starts the first interval.
    void start() { lastFrameTime = now(); }

    // True when a frame is due. Every call records currentTime; a due frame
    // takes a second reading as the start of the next interval, so the time
    // spent rendering counts towards it, and advances animationAngle.
    bool beginFrame();

    // How long from now until beginFrame will let a frame through; zero when
    // one is due. Rounded up, so that waiting this long is always enough.
    std::chrono::nanoseconds timeUntilNextFrame() const;

    SteadyTime lastFrameTime{};
    SteadyTime currentTime{};
    float animationAngle = 0.0f; // radians, kept below 2 pi

private:
    ClockReading now;
};
