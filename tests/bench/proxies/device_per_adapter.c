#define COBJMACROS
#include "device_per_adapter.h"

#include "call_failures.h"
#include "life_watch.h"
#include "lost_devices.h"
#include "traces.h"

#include <dxgi.h>

#include <stdio.h>
#include <string.h>

#define MAX_ADAPTERS 8

/* A live device; not held (the table would keep it alive), its watcher says
 * when it is gone. The program makes devices on one thread, so a device is
 * never returned while another thread destroys it. */
struct AdapterDevice {
    BOOL used;
    struct AdapterIdentity adapter;
    ID3D12Device* device;
};

static struct AdapterDevice devices[MAX_ADAPTERS];
static SRWLOCK devicesLock = SRWLOCK_INIT;

static HANDLE deviceTrace(void) {
    static HANDLE trace = INVALID_HANDLE_VALUE;
    static BOOL opened;
    if (!opened) {
        trace = openTrace("HT_DEVICE_TRACE");
        opened = TRUE;
    }
    return trace;
}

static unsigned long long luidNumber(const LUID* luid) {
    return (unsigned long long)(unsigned long)luid->HighPart << 32 | luid->LowPart;
}

static void traceDevice(const char* keyword, const struct AdapterIdentity* adapter,
                        const char* detail) {
    char text[256];
    snprintf(text, sizeof(text), "0x%llx %s", luidNumber(&adapter->luid), detail);
    traceLine(deviceTrace(), keyword, text);
}

static const char* resultText(HRESULT result, char* text, size_t size) {
    snprintf(text, size, "%08lx", (unsigned long)result);
    return text;
}

static BOOL describeDxgiAdapter(IDXGIAdapter1* adapter, struct AdapterIdentity* identity) {
    DXGI_ADAPTER_DESC1 desc;
    if (FAILED(IDXGIAdapter1_GetDesc1(adapter, &desc))) {
        return FALSE;
    }
    identity->luid = desc.AdapterLuid;
    WideCharToMultiByte(CP_UTF8, 0, desc.Description, -1, identity->description,
                        sizeof(identity->description), NULL, NULL);
    return TRUE;
}

/* The system's default adapter is the first one its DXGI lists. */
static BOOL identifyDefaultAdapter(struct AdapterIdentity* identity) {
    typedef HRESULT(WINAPI * CreateFactory1Fn)(REFIID, void**);
    CreateFactory1Fn create = (CreateFactory1Fn)systemFunction("dxgi.dll", "CreateDXGIFactory1");
    IDXGIFactory1* factory = NULL;
    IDXGIAdapter1* adapter = NULL;
    BOOL known = FALSE;
    if (create == NULL || FAILED(create(&IID_IDXGIFactory1, (void**)&factory))) {
        return FALSE;
    }
    if (SUCCEEDED(IDXGIFactory1_EnumAdapters1(factory, 0, &adapter))) {
        known = describeDxgiAdapter(adapter, identity);
        IDXGIAdapter1_Release(adapter);
    }
    IDXGIFactory1_Release(factory);
    return known;
}

BOOL identifyAdapter(IUnknown* adapter, struct AdapterIdentity* identity) {
    IDXGIAdapter1* dxgiAdapter = NULL;
    BOOL known;
    memset(identity, 0, sizeof(*identity));
    if (adapter == NULL) {
        return identifyDefaultAdapter(identity);
    }
    if (FAILED(IUnknown_QueryInterface(adapter, &IID_IDXGIAdapter1, (void**)&dxgiAdapter))) {
        return FALSE;
    }
    known = describeDxgiAdapter(dxgiAdapter, identity);
    IDXGIAdapter1_Release(dxgiAdapter);
    return known;
}

/* The live device on the adapter, with a reference; or null. */
static ID3D12Device* liveDeviceOn(const LUID* luid) {
    ID3D12Device* found = NULL;
    int i;
    AcquireSRWLockExclusive(&devicesLock);
    for (i = 0; i < MAX_ADAPTERS && found == NULL; ++i) {
        if (devices[i].used && memcmp(&devices[i].adapter.luid, luid, sizeof(*luid)) == 0) {
            found = devices[i].device;
            ID3D12Device_AddRef(found);
        }
    }
    ReleaseSRWLockExclusive(&devicesLock);
    return found;
}

BOOL answerFromLiveDevice(const struct AdapterIdentity* identity, REFIID iid, void** device,
                          HRESULT* result) {
    ID3D12Device* live = liveDeviceOn(&identity->luid);
    HRESULT lossReason;
    char text[32];
    if (live == NULL) {
        return FALSE;
    }
    if (deviceWasLost((IUnknown*)live, &lossReason)) {
        *result = DXGI_ERROR_DEVICE_REMOVED;
        if (device != NULL) {
            *device = NULL;
        }
        traceDevice("refused", identity, resultText(*result, text, sizeof(text)));
    } else if (device == NULL) {
        *result = S_FALSE; /* a support test: one could be made */
    } else {
        *result = ID3D12Device_QueryInterface(live, iid, device);
        traceDevice("returned", identity, identity->description);
    }
    ID3D12Device_Release(live);
    return TRUE;
}

static void forget(struct AdapterDevice* entry) {
    AcquireSRWLockExclusive(&devicesLock);
    entry->used = FALSE;
    ReleaseSRWLockExclusive(&devicesLock);
}

/* A watcher let go without having been set on its device finds the entry
 * forgotten already: that device was never recorded as made. */
static void deviceGone(void* context) {
    struct AdapterDevice* entry = context;
    struct AdapterIdentity adapter;
    BOOL recorded;
    AcquireSRWLockExclusive(&devicesLock);
    recorded = entry->used;
    adapter = entry->adapter;
    entry->used = FALSE;
    ReleaseSRWLockExclusive(&devicesLock);
    if (recorded) {
        traceDevice("gone", &adapter, adapter.description);
    }
}

/* A free entry for the device, or null when the table is full. */
static struct AdapterDevice* claimEntry(const struct AdapterIdentity* identity,
                                        ID3D12Device* device) {
    struct AdapterDevice* entry = NULL;
    int i;
    AcquireSRWLockExclusive(&devicesLock);
    for (i = 0; i < MAX_ADAPTERS && entry == NULL; ++i) {
        if (!devices[i].used) {
            entry = &devices[i];
            entry->used = TRUE;
            entry->adapter = *identity;
            entry->device = device;
        }
    }
    ReleaseSRWLockExclusive(&devicesLock);
    return entry;
}

void adoptNewDevice(const struct AdapterIdentity* identity, IUnknown* made) {
    ID3D12Device* device = NULL;
    struct AdapterDevice* entry;
    IUnknown* watcher;
    if (FAILED(IUnknown_QueryInterface(made, &IID_ID3D12Device, (void**)&device))) {
        return;
    }
    entry = claimEntry(identity, device);
    watcher = entry != NULL ? newLifeWatcher(deviceGone, entry) : NULL;
    if (watcher != NULL &&
        SUCCEEDED(ID3D12Device_SetPrivateDataInterface(device, &lifeWatchGuid, watcher))) {
        traceDevice("made", identity, identity->description);
    } else if (entry != NULL) {
        forget(entry); /* a device whose end cannot be seen is not one to return */
    }
    if (watcher != NULL) {
        IUnknown_Release(watcher);
    }
    ID3D12Device_Release(device); /* the table does not hold it */
}

void traceFailedCreation(IUnknown* adapter, HRESULT result) {
    struct AdapterIdentity identity;
    char text[32];
    if (identifyAdapter(adapter, &identity)) {
        traceDevice("failed", &identity, resultText(result, text, sizeof(text)));
    }
}
