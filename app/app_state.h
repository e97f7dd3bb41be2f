#pragma once

#include <windows.h>

#include <cstdint>

// What Windows handed to the entry point, recorded once before appMain runs.
struct AppState {
    HINSTANCE instance = nullptr;
    HINSTANCE prevInstance = nullptr; // always null on Win32, stored unchanged
    const char* commandLine = nullptr;
    std::int32_t showCommand = 0;
};

void setAppState(HINSTANCE instance, HINSTANCE prevInstance, const char* commandLine,
                 std::int32_t showCommand);
const AppState& getAppState();
