#pragma once

#include <windows.h>

// Wall-clock time as nanoseconds since 1970, so that logs of Windows tools
// line up with the host's clock.
inline unsigned long long unixTimeNanoseconds() {
    constexpr unsigned long long epochIn100ns = 116444736000000000ULL;
    FILETIME now;
    GetSystemTimePreciseAsFileTime(&now);
    ULARGE_INTEGER value;
    value.LowPart = now.dwLowDateTime;
    value.HighPart = now.dwHighDateTime;
    return (value.QuadPart - epochIn100ns) * 100ULL;
}
