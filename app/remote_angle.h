#pragma once

#include <atomic>

// The last finite angle in degrees received over the control pipe, 0 at
// start. The pipe thread is its only writer; the eye passes read it.
extern std::atomic<float> remoteAngle;

static_assert(std::atomic<float>::is_always_lock_free, "remoteAngle must be lock-free");
