#define COBJMACROS
#include "swap_chain_per_window.h"

#include "life_watch.h"

#define MAX_WINDOWS 8

static HWND windows[MAX_WINDOWS];
static SRWLOCK windowsLock = SRWLOCK_INIT;

BOOL windowHasSwapChain(HWND window) {
    BOOL found = FALSE;
    int i;
    AcquireSRWLockShared(&windowsLock);
    for (i = 0; i < MAX_WINDOWS && !found; ++i) {
        found = window != NULL && windows[i] == window;
    }
    ReleaseSRWLockShared(&windowsLock);
    return found;
}

static void swapChainGone(void* context) {
    HWND* entry = context;
    AcquireSRWLockExclusive(&windowsLock);
    *entry = NULL;
    ReleaseSRWLockExclusive(&windowsLock);
}

static HWND* claimEntry(HWND window) {
    HWND* entry = NULL;
    int i;
    AcquireSRWLockExclusive(&windowsLock);
    for (i = 0; i < MAX_WINDOWS && entry == NULL; ++i) {
        if (windows[i] == NULL) {
            entry = &windows[i];
            *entry = window;
        }
    }
    ReleaseSRWLockExclusive(&windowsLock);
    return entry;
}

void adoptNewSwapChain(HWND window, IDXGISwapChain1* swapChain) {
    HWND* entry = claimEntry(window);
    IUnknown* watcher = entry != NULL ? newLifeWatcher(swapChainGone, entry) : NULL;
    if (watcher == NULL) {
        if (entry != NULL) {
            swapChainGone(entry);
        }
        return;
    }
    /* Set or not, the watcher's own reference goes: a watcher that could not
     * be set clears the entry at once, so a swap chain whose end cannot be
     * seen never blocks the next one. */
    IDXGISwapChain1_SetPrivateDataInterface(swapChain, &lifeWatchGuid, watcher);
    IUnknown_Release(watcher);
}
