#pragma once

#include "window/event.h"

#include <windows.h>

#include <optional>

// Reads a raw-input record as GetRawInputData does; tests put a fake here.
using RawInputReader = UINT(WINAPI*)(HRAWINPUT input, UINT command, LPVOID data, PUINT size,
                                     UINT headerSize);

// The relative motion a mouse reported through WM_INPUT. Nothing for other
// devices, a failed read, or one too short for a mouse record: the buffer is
// never read past what arrived. A read whose size differs from the size asked
// for is noted on the debug output.
std::optional<RawMouseData> readRawMouse(HRAWINPUT input, RawInputReader reader = GetRawInputData);
