#include "traces.h"

#include <stdio.h>

/* Wall-clock time as nanoseconds since 1970, comparable with the host's clock. */
static unsigned long long unixTimeNanoseconds(void) {
    static const unsigned long long epochIn100ns = 116444736000000000ULL;
    FILETIME now;
    ULARGE_INTEGER value;
    GetSystemTimePreciseAsFileTime(&now);
    value.LowPart = now.dwLowDateTime;
    value.HighPart = now.dwHighDateTime;
    return (value.QuadPart - epochIn100ns) * 100ULL;
}

HANDLE openTrace(const char* variable) {
    char path[MAX_PATH];
    DWORD length = GetEnvironmentVariableA(variable, path, sizeof(path));
    if (length == 0 || length >= sizeof(path)) {
        return INVALID_HANDLE_VALUE;
    }
    return CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, NULL, CREATE_ALWAYS,
                       FILE_ATTRIBUTE_NORMAL, NULL);
}

void traceLine(HANDLE trace, const char* keyword, const char* text) {
    char line[512];
    int length;
    DWORD written;
    if (trace == INVALID_HANDLE_VALUE) {
        return;
    }
    length = snprintf(line, sizeof(line), "%s %llu%s%s\r\n", keyword, unixTimeNanoseconds(),
                      text[0] != '\0' ? " " : "", text);
    if (length > 0 && length < (int)sizeof(line)) {
        WriteFile(trace, line, (DWORD)length, &written, NULL);
    }
}
