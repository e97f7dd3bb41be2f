/* A test-only dxgi.dll that forwards the exports the program and Wine's
 * Direct3D 12 use to the system's dxgi.dll.
 * - It fails chosen calls of the program on request (call_failures.h): the
 *   factory exports and the methods of the factory and of the swap chain that
 *   the program checks.
 * - It logs, when HT_PRESENT_TRACE names a file, one line per Present of the
 *   program: "present <unix time in ns>", for tests and benchmarks that count
 *   frames.
 * - Its Present marks the start of the frames, from which "@frame:" failures
 *   count (call_failures.h).
 *
 * Written in C so that the headers' C vtable layouts name the method slots. */
#define COBJMACROS
#include <windows.h>

#include <dxgi1_4.h>

#include "call_failures.h"

typedef HRESULT(WINAPI* CreateFactoryFn)(REFIID, void**);
typedef HRESULT(WINAPI* CreateFactory2Fn)(UINT, REFIID, void**);
typedef HRESULT(WINAPI* GetDebugInterface1Fn)(UINT, REFIID, void**);
typedef HRESULT(STDMETHODCALLTYPE* PresentFn)(IDXGISwapChain*, UINT, UINT);
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
static PresentFn originalPresent;
static HANDLE traceFile = INVALID_HANDLE_VALUE;

static void* realFunction(const char* name) {
    return systemFunction("dxgi.dll", name);
}

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

/* The program's Present: failed on request, traced, and the first one that
 * succeeds marks the start of the frames for the "@frame:" counts. */
static HRESULT STDMETHODCALLTYPE watchedPresent(IDXGISwapChain* swapChain, UINT interval,
                                                UINT flags) {
    void* caller = __builtin_return_address(0);
    char line[64];
    DWORD written;
    HRESULT result;
    if (failThisCall("IDXGISwapChain::Present", caller, &result)) {
        return result;
    }
    if (traceFile != INVALID_HANDLE_VALUE) {
        int length = wsprintfA(line, "present %I64u\r\n", unixTimeNanoseconds());
        WriteFile(traceFile, line, (DWORD)length, &written, NULL);
    }
    result = originalPresent(swapChain, interval, flags);
    if (SUCCEEDED(result)) {
        markFramesStarted(caller);
    }
    return result;
}

/* Wraps Present, once per process, when a trace or a failure is asked for. */
static void watchPresents(IDXGISwapChain1* swapChain) {
    char path[MAX_PATH];
    DWORD length = GetEnvironmentVariableA("HT_PRESENT_TRACE", path, sizeof(path));
    BOOL traced = length > 0 && length < sizeof(path);
    void** vtable = *(void***)swapChain;
    size_t slot = offsetof(IDXGISwapChainVtbl, Present) / sizeof(void*);
    if (originalPresent != NULL || (!traced && !anyFailureRequested())) {
        return;
    }
    if (traced) {
        traceFile = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, NULL, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, NULL);
    }
    originalPresent = (PresentFn)vtable[slot];
    writeVtableSlot(vtable, slot, (void*)watchedPresent);
}

/* Swap chains are reached through the factory that makes them. */
static HRESULT STDMETHODCALLTYPE createSwapChainForHwnd(
    IDXGIFactory2* factory, IUnknown* device, HWND window, const DXGI_SWAP_CHAIN_DESC1* desc,
    const DXGI_SWAP_CHAIN_FULLSCREEN_DESC* fullscreen, IDXGIOutput* output,
    IDXGISwapChain1** swapChain) {
    HRESULT result;
    if (failThisCall("IDXGIFactory2::CreateSwapChainForHwnd", __builtin_return_address(0),
                     &result)) {
        *swapChain = NULL;
        return result;
    }
    result = originalCreateSwapChainForHwnd(factory, device, window, desc, fullscreen, output,
                                            swapChain);
    if (SUCCEEDED(result) && *swapChain != NULL) {
        patchRequestedMethods(*swapChain, swapChainMethods, ARRAY_COUNT(swapChainMethods));
        watchPresents(*swapChain);
    }
    return result;
}

static void patchFactory(void* factory) {
    void** vtable = *(void***)factory;
    size_t slot = offsetof(IDXGIFactory2Vtbl, CreateSwapChainForHwnd) / sizeof(void*);
    patchRequestedMethods(factory, factoryMethods, ARRAY_COUNT(factoryMethods));
    if (originalCreateSwapChainForHwnd == NULL) {
        originalCreateSwapChainForHwnd = (CreateSwapChainForHwndFn)vtable[slot];
        writeVtableSlot(vtable, slot, (void*)createSwapChainForHwnd);
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
