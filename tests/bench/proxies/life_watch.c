#include "life_watch.h"

/* {6c1b9d2e-4f0a-4c53-9a57-3f2d8e61b0a4} */
const GUID lifeWatchGuid = {
    0x6c1b9d2e, 0x4f0a, 0x4c53, {0x9a, 0x57, 0x3f, 0x2d, 0x8e, 0x61, 0xb0, 0xa4}};

struct LifeWatcher {
    IUnknown iface;
    LONG references;
    void (*gone)(void* context);
    void* context;
};

static struct LifeWatcher* watcherOf(IUnknown* iface) {
    return (struct LifeWatcher*)iface;
}

static HRESULT STDMETHODCALLTYPE watcherQueryInterface(IUnknown* iface, REFIID iid, void** object) {
    if (IsEqualGUID(iid, &IID_IUnknown)) {
        iface->lpVtbl->AddRef(iface);
        *object = iface;
        return S_OK;
    }
    *object = NULL;
    return E_NOINTERFACE;
}

static ULONG STDMETHODCALLTYPE watcherAddRef(IUnknown* iface) {
    return (ULONG)InterlockedIncrement(&watcherOf(iface)->references);
}

static ULONG STDMETHODCALLTYPE watcherRelease(IUnknown* iface) {
    struct LifeWatcher* watcher = watcherOf(iface);
    LONG left = InterlockedDecrement(&watcher->references);
    if (left == 0) {
        watcher->gone(watcher->context);
        HeapFree(GetProcessHeap(), 0, watcher);
    }
    return (ULONG)left;
}

static IUnknownVtbl watcherMethods = {watcherQueryInterface, watcherAddRef, watcherRelease};

IUnknown* newLifeWatcher(void (*gone)(void* context), void* context) {
    struct LifeWatcher* watcher = HeapAlloc(GetProcessHeap(), 0, sizeof(*watcher));
    if (watcher == NULL) {
        return NULL;
    }
    watcher->iface.lpVtbl = &watcherMethods;
    watcher->references = 1;
    watcher->gone = gone;
    watcher->context = context;
    return &watcher->iface;
}
