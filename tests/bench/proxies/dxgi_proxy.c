/* A test-only dxgi.dll that forwards the exports the program and Wine's
 * Direct3D 12 use to the system's dxgi.dll.
 * - It keeps one swap chain per window, as Windows does
 *   (swap_chain_per_window.h), and delivers Present's losses so that they
 *   stay (lost_devices.h).
 * - It fails chosen calls of the program on request (call_failures.h): the
 *   factory exports and the methods of the factory and of the swap chain that
 *   the program checks.
 * - It logs, when HT_PRESENT_TRACE names a file, one line per Present of the
 *   program: "present <unix time in ns>", for tests and benchmarks that count
 *   frames, or "failed <unix time in ns>" for one it failed on request.
 * - Its Present marks the start of the frames, from which "@frame:" failures
 *   count (call_failures.h).
 * - With HT_SECOND_ADAPTER=1 the factory lists a second adapter for the
 *   program, as on a laptop with two GPUs (below).
 *
 * Written in C so that the headers' C vtable layouts name the method slots. */
#define COBJMACROS
#include <windows.h>

#include <dxgi1_4.h>
#include <stdio.h>

#include "call_failures.h"
#include "lost_devices.h"
#include "swap_chain_per_window.h"
#include "traces.h"

typedef HRESULT(WINAPI* CreateFactoryFn)(REFIID, void**);
typedef HRESULT(WINAPI* CreateFactory2Fn)(UINT, REFIID, void**);
typedef HRESULT(WINAPI* GetDebugInterface1Fn)(UINT, REFIID, void**);
typedef HRESULT(STDMETHODCALLTYPE* PresentFn)(IDXGISwapChain*, UINT, UINT);
typedef HRESULT(STDMETHODCALLTYPE* EnumAdapters1Fn)(IDXGIFactory1*, UINT, IDXGIAdapter1**);
typedef HRESULT(STDMETHODCALLTYPE* CreateSwapChainForHwndFn)(IDXGIFactory2*, IUnknown*, HWND,
                                                             const DXGI_SWAP_CHAIN_DESC1*,
                                                             const DXGI_SWAP_CHAIN_FULLSCREEN_DESC*,
                                                             IDXGIOutput*, IDXGISwapChain1**);

static const struct MethodSlot factoryMethods[] = {METHOD_SLOT(IDXGIFactory1, EnumAdapters1)};
static const struct MethodSlot swapChainMethods[] = {
    METHOD_SLOT(IDXGISwapChain, QueryInterface),
    METHOD_SLOT(IDXGISwapChain, GetBuffer),
    METHOD_SLOT(IDXGISwapChain, ResizeBuffers),
};

static CreateSwapChainForHwndFn originalCreateSwapChainForHwnd;
static EnumAdapters1Fn originalEnumAdapters1;
static PresentFn originalPresent;
static HANDLE traceFile = INVALID_HANDLE_VALUE;

static void* realFunction(const char* name) {
    return systemFunction("dxgi.dll", name);
}

/* "WIDTHxHEIGHT" of the buffers a Present shows, in text. */
static const char* backBufferSize(IDXGISwapChain* swapChain, char* text, size_t size) {
    DXGI_SWAP_CHAIN_DESC desc;
    if (FAILED(swapChain->lpVtbl->GetDesc(swapChain, &desc))) {
        return "";
    }
    snprintf(text, size, "%ux%u", desc.BufferDesc.Width, desc.BufferDesc.Height);
    return text;
}

/* The program's Present: failed on request or on a lost device, traced with
 * the size of its buffers, and the first one that succeeds marks the start of
 * the frames for the "@frame:" counts. */
static HRESULT STDMETHODCALLTYPE watchedPresent(IDXGISwapChain* swapChain, UINT interval,
                                                UINT flags) {
    void* caller = __builtin_return_address(0);
    char size[32];
    HRESULT result;
    if (failThisCall("IDXGISwapChain::Present", caller, &result)) {
        if (isLossCode(result)) {
            noteLossDelivered((IUnknown*)swapChain, result);
        }
        traceLine(traceFile, "failed", "");
        return result;
    }
    if (calledByTheProgram(caller) && deviceWasLost((IUnknown*)swapChain, &result)) {
        traceLine(traceFile, "failed", "");
        return result;
    }
    traceLine(traceFile, "present", backBufferSize(swapChain, size, sizeof(size)));
    result = originalPresent(swapChain, interval, flags);
    if (SUCCEEDED(result)) {
        markFramesStarted(caller);
    }
    return result;
}

/* Wraps Present, once per process, when a trace or a failure is asked for. */
static void watchPresents(IDXGISwapChain1* swapChain) {
    BOOL traced = GetEnvironmentVariableA("HT_PRESENT_TRACE", NULL, 0) > 0;
    void** vtable = *(void***)swapChain;
    size_t slot = offsetof(IDXGISwapChainVtbl, Present) / sizeof(void*);
    if (originalPresent != NULL || (!traced && !anyFailureRequested())) {
        return;
    }
    if (traced) {
        traceFile = openTrace("HT_PRESENT_TRACE");
    }
    originalPresent = (PresentFn)vtable[slot];
    writeFunctionSlot(vtable, slot, (void*)watchedPresent);
}

/* Swap chains are reached through the factory that makes them. */
static HRESULT STDMETHODCALLTYPE createSwapChainForHwnd(
    IDXGIFactory2* factory, IUnknown* device, HWND window, const DXGI_SWAP_CHAIN_DESC1* desc,
    const DXGI_SWAP_CHAIN_FULLSCREEN_DESC* fullscreen, IDXGIOutput* output,
    IDXGISwapChain1** swapChain) {
    HRESULT result;
    if (failThisCall("IDXGIFactory2::CreateSwapChainForHwnd", __builtin_return_address(0),
                     &result)) {
        if (isLossCode(result)) {
            noteLossDelivered(device, result);
        }
        *swapChain = NULL;
        return result;
    }
    if (windowHasSwapChain(window)) {
        *swapChain = NULL;
        return E_ACCESSDENIED;
    }
    result = originalCreateSwapChainForHwnd(factory, device, window, desc, fullscreen, output,
                                            swapChain);
    if (SUCCEEDED(result) && *swapChain != NULL) {
        adoptNewSwapChain(window, *swapChain);
        patchMethods(*swapChain, swapChainMethods, ARRAY_COUNT(swapChainMethods));
        watchPresents(*swapChain);
    }
    return result;
}

/* The second adapter: the first one once more, as an object of its own whose
 * description ends in " (second)". Every call but the descriptions goes to
 * the real adapter, and so does a query for any other interface, which is
 * how Direct3D 12 makes a device on it: on the real adapter behind it. */
struct SecondAdapter {
    IDXGIAdapter1 iface;
    IDXGIAdapter1* real;
    LONG references;
};

static struct SecondAdapter* second(IDXGIAdapter1* iface) {
    return (struct SecondAdapter*)iface;
}

static ULONG STDMETHODCALLTYPE secondAddRef(IDXGIAdapter1* iface) {
    return (ULONG)InterlockedIncrement(&second(iface)->references);
}

static ULONG STDMETHODCALLTYPE secondRelease(IDXGIAdapter1* iface) {
    struct SecondAdapter* adapter = second(iface);
    LONG left = InterlockedDecrement(&adapter->references);
    if (left == 0) {
        IDXGIAdapter1_Release(adapter->real);
        HeapFree(GetProcessHeap(), 0, adapter);
    }
    return (ULONG)left;
}

static HRESULT STDMETHODCALLTYPE secondQueryInterface(IDXGIAdapter1* iface, REFIID iid,
                                                      void** object) {
    if (IsEqualGUID(iid, &IID_IUnknown) || IsEqualGUID(iid, &IID_IDXGIObject) ||
        IsEqualGUID(iid, &IID_IDXGIAdapter) || IsEqualGUID(iid, &IID_IDXGIAdapter1)) {
        secondAddRef(iface);
        *object = iface;
        return S_OK;
    }
    return IDXGIAdapter1_QueryInterface(second(iface)->real, iid, object);
}

static HRESULT STDMETHODCALLTYPE secondSetPrivateData(IDXGIAdapter1* iface, REFGUID guid, UINT size,
                                                      const void* data) {
    return IDXGIAdapter1_SetPrivateData(second(iface)->real, guid, size, data);
}

static HRESULT STDMETHODCALLTYPE secondSetPrivateDataInterface(IDXGIAdapter1* iface, REFGUID guid,
                                                               const IUnknown* object) {
    return IDXGIAdapter1_SetPrivateDataInterface(second(iface)->real, guid, object);
}

static HRESULT STDMETHODCALLTYPE secondGetPrivateData(IDXGIAdapter1* iface, REFGUID guid,
                                                      UINT* size, void* data) {
    return IDXGIAdapter1_GetPrivateData(second(iface)->real, guid, size, data);
}

static HRESULT STDMETHODCALLTYPE secondGetParent(IDXGIAdapter1* iface, REFIID iid, void** parent) {
    return IDXGIAdapter1_GetParent(second(iface)->real, iid, parent);
}

static HRESULT STDMETHODCALLTYPE secondEnumOutputs(IDXGIAdapter1* iface, UINT index,
                                                   IDXGIOutput** output) {
    return IDXGIAdapter1_EnumOutputs(second(iface)->real, index, output);
}

/* The second adapter's LUID, which the tests name (tests/bench/winebench.py). */
#define SECOND_ADAPTER_LUID 0x00005EC000000002ULL

/* The second adapter's description ends in " (second)" and it has a LUID of
 * its own, so that a test can name it. */
static void markSecond(WCHAR* description, LUID* luid) {
    static const WCHAR suffix[] = L" (second)";
    size_t length = wcslen(description);
    if (length + ARRAY_COUNT(suffix) <= 128) {
        memcpy(description + length, suffix, sizeof(suffix));
    }
    luid->LowPart = (DWORD)(SECOND_ADAPTER_LUID & 0xFFFFFFFFu);
    luid->HighPart = (LONG)(SECOND_ADAPTER_LUID >> 32);
}

static HRESULT STDMETHODCALLTYPE secondGetDesc(IDXGIAdapter1* iface, DXGI_ADAPTER_DESC* desc) {
    HRESULT result = IDXGIAdapter1_GetDesc(second(iface)->real, desc);
    if (SUCCEEDED(result)) {
        markSecond(desc->Description, &desc->AdapterLuid);
    }
    return result;
}

static HRESULT STDMETHODCALLTYPE secondCheckInterfaceSupport(IDXGIAdapter1* iface, REFGUID guid,
                                                             LARGE_INTEGER* version) {
    return IDXGIAdapter1_CheckInterfaceSupport(second(iface)->real, guid, version);
}

static HRESULT STDMETHODCALLTYPE secondGetDesc1(IDXGIAdapter1* iface, DXGI_ADAPTER_DESC1* desc) {
    HRESULT result = IDXGIAdapter1_GetDesc1(second(iface)->real, desc);
    if (SUCCEEDED(result)) {
        markSecond(desc->Description, &desc->AdapterLuid);
    }
    return result;
}

static IDXGIAdapter1Vtbl secondAdapterMethods = {
    secondQueryInterface,
    secondAddRef,
    secondRelease,
    secondSetPrivateData,
    secondSetPrivateDataInterface,
    secondGetPrivateData,
    secondGetParent,
    secondEnumOutputs,
    secondGetDesc,
    secondCheckInterfaceSupport,
    secondGetDesc1,
};

/* The program's adapters, with the second one at index 1 when asked for;
 * the adapters after the first move up by one. */
static HRESULT STDMETHODCALLTYPE enumAdapters1(IDXGIFactory1* factory, UINT index,
                                               IDXGIAdapter1** adapter) {
    struct SecondAdapter* made;
    HRESULT result;
    if (GetEnvironmentVariableA("HT_SECOND_ADAPTER", NULL, 0) == 0 ||
        !calledByTheProgram(__builtin_return_address(0)) || index == 0) {
        return originalEnumAdapters1(factory, index, adapter);
    }
    if (index > 1) {
        return originalEnumAdapters1(factory, index - 1, adapter);
    }
    made = HeapAlloc(GetProcessHeap(), 0, sizeof(*made));
    if (made == NULL) {
        return E_OUTOFMEMORY;
    }
    result = originalEnumAdapters1(factory, 0, &made->real);
    if (FAILED(result)) {
        HeapFree(GetProcessHeap(), 0, made);
        return result;
    }
    made->iface.lpVtbl = &secondAdapterMethods;
    made->references = 1;
    *adapter = &made->iface;
    return S_OK;
}

static void patchFactory(void* factory) {
    void** vtable = *(void***)factory;
    size_t slot = offsetof(IDXGIFactory2Vtbl, CreateSwapChainForHwnd) / sizeof(void*);
    size_t enumSlot = offsetof(IDXGIFactory1Vtbl, EnumAdapters1) / sizeof(void*);
    /* Before the failure thunks, which then wrap it. */
    if (originalEnumAdapters1 == NULL) {
        originalEnumAdapters1 = (EnumAdapters1Fn)vtable[enumSlot];
        writeFunctionSlot(vtable, enumSlot, (void*)enumAdapters1);
    }
    patchMethods(factory, factoryMethods, ARRAY_COUNT(factoryMethods));
    if (originalCreateSwapChainForHwnd == NULL) {
        originalCreateSwapChainForHwnd = (CreateSwapChainForHwndFn)vtable[slot];
        writeFunctionSlot(vtable, slot, (void*)createSwapChainForHwnd);
    }
}

/* Every factory export: fails on request, otherwise patches what it made. */
static HRESULT madeFactory(HRESULT result, void** factory) {
    if (SUCCEEDED(result) && factory != NULL && *factory != NULL) {
        patchFactory(*factory);
    }
    return result;
}

HRESULT WINAPI CreateDXGIFactory(REFIID iid, void** factory) {
    CreateFactoryFn real = (CreateFactoryFn)realFunction("CreateDXGIFactory");
    HRESULT result;
    if (failThisCall("CreateDXGIFactory", __builtin_return_address(0), &result)) {
        return result;
    }
    return real != NULL ? madeFactory(real(iid, factory), factory) : E_NOTIMPL;
}

HRESULT WINAPI CreateDXGIFactory1(REFIID iid, void** factory) {
    CreateFactoryFn real = (CreateFactoryFn)realFunction("CreateDXGIFactory1");
    HRESULT result;
    if (failThisCall("CreateDXGIFactory1", __builtin_return_address(0), &result)) {
        return result;
    }
    return real != NULL ? madeFactory(real(iid, factory), factory) : E_NOTIMPL;
}

HRESULT WINAPI CreateDXGIFactory2(UINT flags, REFIID iid, void** factory) {
    CreateFactory2Fn real = (CreateFactory2Fn)realFunction("CreateDXGIFactory2");
    HRESULT result;
    if (failThisCall("CreateDXGIFactory2", __builtin_return_address(0), &result)) {
        return result;
    }
    return real != NULL ? madeFactory(real(flags, iid, factory), factory) : E_NOTIMPL;
}

HRESULT WINAPI DXGIGetDebugInterface1(UINT flags, REFIID iid, void** debug) {
    GetDebugInterface1Fn real = (GetDebugInterface1Fn)realFunction("DXGIGetDebugInterface1");
    return real != NULL ? real(flags, iid, debug) : E_NOTIMPL;
}
