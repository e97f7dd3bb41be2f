#include "windows_timer_tick.h"

#include "call_failures.h"

#include <stdlib.h>

typedef UINT_PTR(WINAPI* SetTimerFn)(HWND, UINT_PTR, UINT, TIMERPROC);

static SetTimerFn realSetTimer;
static double tickMs;

static UINT_PTR WINAPI tickBoundSetTimer(HWND window, UINT_PTR id, UINT elapse, TIMERPROC proc) {
    UINT ticks = (UINT)((elapse + tickMs - 0.001) / tickMs);
    UINT rounded = (UINT)(ticks * tickMs + 0.999);
    return realSetTimer(window, id, rounded > elapse ? rounded : elapse, proc);
}

/* The program's import table entry that holds the function, or null. */
static void** importSlotOf(HMODULE program, void* function) {
    const BYTE* base = (const BYTE*)program;
    const IMAGE_NT_HEADERS* headers =
        (const IMAGE_NT_HEADERS*)(base + ((const IMAGE_DOS_HEADER*)base)->e_lfanew);
    const IMAGE_DATA_DIRECTORY* imports =
        &headers->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    const IMAGE_IMPORT_DESCRIPTOR* module =
        (const IMAGE_IMPORT_DESCRIPTOR*)(base + imports->VirtualAddress);
    if (imports->VirtualAddress == 0) {
        return NULL;
    }
    for (; module->Name != 0; ++module) {
        IMAGE_THUNK_DATA* slot = (IMAGE_THUNK_DATA*)(base + module->FirstThunk);
        for (; slot->u1.Function != 0; ++slot) {
            if ((void*)slot->u1.Function == function) {
                return (void**)&slot->u1.Function;
            }
        }
    }
    return NULL;
}

void applyWindowsTimerTick(void) {
    static BOOL applied;
    char text[32];
    DWORD length = GetEnvironmentVariableA("HT_TIMER_TICK_MS", text, sizeof(text));
    void** slot;
    if (applied || length == 0 || length >= sizeof(text)) {
        return;
    }
    applied = TRUE;
    tickMs = strtod(text, NULL);
    realSetTimer = (SetTimerFn)(void*)GetProcAddress(GetModuleHandleA("user32.dll"), "SetTimer");
    slot = realSetTimer != NULL && tickMs > 0
               ? importSlotOf(GetModuleHandleW(NULL), (void*)realSetTimer)
               : NULL;
    if (slot != NULL) {
        writeFunctionSlot(slot, 0, (void*)tickBoundSetTimer);
    }
}
