#include "renderer/device_loss.h"

#include <algorithm>

bool isDeviceLost(std::int32_t hresult) {
    return hresult == deviceRemovedResult || hresult == deviceHungResult ||
           hresult == deviceResetResult;
}

void RebuildRetries::start(Time lostAt) {
    lost = lostAt;
    pause = firstPause;
}

std::optional<RebuildRetries::Time> RebuildRetries::next(Time now) {
    if (now - lost >= triedFor) {
        return std::nullopt;
    }
    const Time attempt = now + pause;
    pause = std::min(pause * 2, longestPause);
    return attempt;
}
