/* A test-only d3d12.dll that forwards every export to the system's d3d12.dll.
 *
 * - It lowers a requested minimum feature level above 11_0 to 11_0, because
 *   the CPU Vulkan driver under Wine offers no more; the program stays as it is.
 * - It fails one named call on request, to test the program's error paths:
 *     HT_D3D12_FAIL          an export ("D3D12CreateDevice") or a device method
 *                            ("ID3D12Device::CreateCommandQueue")
 *     HT_D3D12_FAIL_HRESULT  the HRESULT to return, hex (default 0x80004005)
 * - It logs, when HT_D3D12_TRACE names a file, one line per command-queue
 *   execution: "execute <unix time in ns>", for benchmarks that count frames.
 *
 * Written in C so that the headers' C vtable layouts name the method slots. */
#define COBJMACROS
#include <windows.h>

#include <d3d12.h>

#include <stddef.h>
#include <stdlib.h>
#include <string.h>

typedef HRESULT(WINAPI* CreateDeviceFn)(IUnknown*, D3D_FEATURE_LEVEL, REFIID, void**);
typedef HRESULT(WINAPI* GetDebugInterfaceFn)(REFIID, void**);
typedef HRESULT(WINAPI* SerializeRootSignatureFn)(const D3D12_ROOT_SIGNATURE_DESC*,
                                                  D3D_ROOT_SIGNATURE_VERSION, ID3DBlob**,
                                                  ID3DBlob**);
typedef HRESULT(WINAPI* SerializeVersionedRootSignatureFn)(
    const D3D12_VERSIONED_ROOT_SIGNATURE_DESC*, ID3DBlob**, ID3DBlob**);
typedef HRESULT(WINAPI* CreateDeserializerFn)(const void*, SIZE_T, REFIID, void**);
typedef HRESULT(WINAPI* EnableExperimentalFeaturesFn)(UINT, const IID*, void*, UINT*);

struct DeviceMethod {
    const char* name;
    size_t slot;
};

#define DEVICE_METHOD(method)                                                                      \
    { "ID3D12Device::" #method, offsetof(ID3D12DeviceVtbl, method) / sizeof(void*) }

static const struct DeviceMethod deviceMethods[] = {
    DEVICE_METHOD(CreateCommandQueue),          DEVICE_METHOD(CreateCommandAllocator),
    DEVICE_METHOD(CreateGraphicsPipelineState), DEVICE_METHOD(CreateCommandList),
    DEVICE_METHOD(CreateDescriptorHeap),        DEVICE_METHOD(CreateRootSignature),
    DEVICE_METHOD(CreateCommittedResource),     DEVICE_METHOD(CreateFence),
};
#define DEVICE_METHOD_COUNT (sizeof(deviceMethods) / sizeof(deviceMethods[0]))

/* The one device slot currently patched, to be put back when no longer asked for. */
static void** patchedVtable;
static size_t patchedSlot;
static void* originalMethod;

typedef HRESULT(STDMETHODCALLTYPE* CreateCommandQueueFn)(ID3D12Device*,
                                                         const D3D12_COMMAND_QUEUE_DESC*, REFIID,
                                                         void**);
typedef void(STDMETHODCALLTYPE* ExecuteCommandListsFn)(ID3D12CommandQueue*, UINT,
                                                       ID3D12CommandList* const*);

static CreateCommandQueueFn originalCreateCommandQueue;
static ExecuteCommandListsFn originalExecuteCommandLists;
static HANDLE traceFile = INVALID_HANDLE_VALUE;

static HMODULE realModule(void) {
    static HMODULE module;
    if (module == NULL) {
        char path[MAX_PATH];
        static const char name[] = "\\d3d12.dll";
        UINT length = GetSystemDirectoryA(path, MAX_PATH);
        if (length == 0 || length + sizeof(name) > MAX_PATH) {
            return NULL;
        }
        memcpy(path + length, name, sizeof(name));
        module = LoadLibraryA(path);
    }
    return module;
}

/* Returned as a data pointer: every caller casts it to the export's own type. */
static void* realFunction(const char* name) {
    HMODULE module = realModule();
    return module != NULL ? (void*)GetProcAddress(module, name) : NULL;
}

static BOOL failureRequested(const char* name) {
    char wanted[128];
    DWORD length = GetEnvironmentVariableA("HT_D3D12_FAIL", wanted, sizeof(wanted));
    return length > 0 && length < sizeof(wanted) && strcmp(wanted, name) == 0;
}

static HRESULT injectedResult(void) {
    char text[32];
    DWORD length = GetEnvironmentVariableA("HT_D3D12_FAIL_HRESULT", text, sizeof(text));
    if (length == 0 || length >= sizeof(text)) {
        return E_FAIL;
    }
    return (HRESULT)strtoul(text, NULL, 16);
}

/* Stands in for any device method returning HRESULT: on x64 the caller
 * cleans up its own arguments, so ignoring them is safe. */
static HRESULT STDMETHODCALLTYPE failingMethod(void) {
    return injectedResult();
}

static void writeSlot(void** vtable, size_t slot, void* function) {
    DWORD oldProtection;
    if (VirtualProtect(&vtable[slot], sizeof(void*), PAGE_READWRITE, &oldProtection)) {
        vtable[slot] = function;
        VirtualProtect(&vtable[slot], sizeof(void*), oldProtection, &oldProtection);
    }
}

static void restorePatchedSlot(void) {
    if (patchedVtable != NULL) {
        writeSlot(patchedVtable, patchedSlot, originalMethod);
        patchedVtable = NULL;
    }
}

/* Device vtables are shared by every device of the process, so one patch
 * serves them all until a later device creation no longer asks for it. */
static void applyRequestedMethodFailure(void* device) {
    size_t i;
    restorePatchedSlot();
    for (i = 0; i < DEVICE_METHOD_COUNT; ++i) {
        if (failureRequested(deviceMethods[i].name)) {
            void** vtable = *(void***)device;
            patchedVtable = vtable;
            patchedSlot = deviceMethods[i].slot;
            originalMethod = vtable[patchedSlot];
            writeSlot(vtable, patchedSlot, (void*)failingMethod);
            return;
        }
    }
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

static void STDMETHODCALLTYPE tracedExecuteCommandLists(ID3D12CommandQueue* queue, UINT count,
                                                        ID3D12CommandList* const* lists) {
    char line[64];
    DWORD written;
    int length = wsprintfA(line, "execute %I64u\r\n", unixTimeNanoseconds());
    WriteFile(traceFile, line, (DWORD)length, &written, NULL);
    originalExecuteCommandLists(queue, count, lists);
}

static HRESULT STDMETHODCALLTYPE tracedCreateCommandQueue(ID3D12Device* device,
                                                          const D3D12_COMMAND_QUEUE_DESC* desc,
                                                          REFIID iid, void** queue) {
    HRESULT result = originalCreateCommandQueue(device, desc, iid, queue);
    if (SUCCEEDED(result) && queue != NULL && *queue != NULL &&
        originalExecuteCommandLists == NULL) {
        void** vtable = *(void***)*queue;
        size_t slot = offsetof(ID3D12CommandQueueVtbl, ExecuteCommandLists) / sizeof(void*);
        originalExecuteCommandLists = (ExecuteCommandListsFn)vtable[slot];
        writeSlot(vtable, slot, (void*)tracedExecuteCommandLists);
    }
    return result;
}

/* Wraps queue creation once per process when a trace file is asked for. */
static void startTraceIfRequested(void* device) {
    char path[MAX_PATH];
    DWORD length = GetEnvironmentVariableA("HT_D3D12_TRACE", path, sizeof(path));
    void** vtable = *(void***)device;
    size_t slot = offsetof(ID3D12DeviceVtbl, CreateCommandQueue) / sizeof(void*);
    if (length == 0 || length >= sizeof(path) || traceFile != INVALID_HANDLE_VALUE) {
        return;
    }
    traceFile = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, NULL, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, NULL);
    if (traceFile == INVALID_HANDLE_VALUE) {
        return;
    }
    originalCreateCommandQueue = (CreateCommandQueueFn)vtable[slot];
    writeSlot(vtable, slot, (void*)tracedCreateCommandQueue);
}

HRESULT WINAPI D3D12CreateDevice(IUnknown* adapter, D3D_FEATURE_LEVEL minimumLevel, REFIID iid,
                                 void** device) {
    CreateDeviceFn real = (CreateDeviceFn)realFunction("D3D12CreateDevice");
    HRESULT result;
    if (failureRequested("D3D12CreateDevice")) {
        return injectedResult();
    }
    if (real == NULL) {
        return E_NOTIMPL;
    }
    if (minimumLevel > D3D_FEATURE_LEVEL_11_0) {
        minimumLevel = D3D_FEATURE_LEVEL_11_0;
    }
    result = real(adapter, minimumLevel, iid, device);
    if (SUCCEEDED(result) && device != NULL && *device != NULL) {
        applyRequestedMethodFailure(*device);
        startTraceIfRequested(*device);
    }
    return result;
}

HRESULT WINAPI D3D12GetDebugInterface(REFIID iid, void** debug) {
    GetDebugInterfaceFn real = (GetDebugInterfaceFn)realFunction("D3D12GetDebugInterface");
    if (failureRequested("D3D12GetDebugInterface")) {
        return injectedResult();
    }
    return real != NULL ? real(iid, debug) : E_NOTIMPL;
}

HRESULT WINAPI D3D12SerializeRootSignature(const D3D12_ROOT_SIGNATURE_DESC* desc,
                                           D3D_ROOT_SIGNATURE_VERSION version, ID3DBlob** blob,
                                           ID3DBlob** errors) {
    SerializeRootSignatureFn real =
        (SerializeRootSignatureFn)realFunction("D3D12SerializeRootSignature");
    if (failureRequested("D3D12SerializeRootSignature")) {
        return injectedResult();
    }
    return real != NULL ? real(desc, version, blob, errors) : E_NOTIMPL;
}

HRESULT WINAPI D3D12SerializeVersionedRootSignature(const D3D12_VERSIONED_ROOT_SIGNATURE_DESC* desc,
                                                    ID3DBlob** blob, ID3DBlob** errors) {
    SerializeVersionedRootSignatureFn real =
        (SerializeVersionedRootSignatureFn)realFunction("D3D12SerializeVersionedRootSignature");
    if (failureRequested("D3D12SerializeVersionedRootSignature")) {
        return injectedResult();
    }
    return real != NULL ? real(desc, blob, errors) : E_NOTIMPL;
}

HRESULT WINAPI D3D12CreateRootSignatureDeserializer(const void* data, SIZE_T size, REFIID iid,
                                                    void** deserializer) {
    CreateDeserializerFn real =
        (CreateDeserializerFn)realFunction("D3D12CreateRootSignatureDeserializer");
    return real != NULL ? real(data, size, iid, deserializer) : E_NOTIMPL;
}

HRESULT WINAPI D3D12CreateVersionedRootSignatureDeserializer(const void* data, SIZE_T size,
                                                             REFIID iid, void** deserializer) {
    CreateDeserializerFn real =
        (CreateDeserializerFn)realFunction("D3D12CreateVersionedRootSignatureDeserializer");
    return real != NULL ? real(data, size, iid, deserializer) : E_NOTIMPL;
}

HRESULT WINAPI D3D12EnableExperimentalFeatures(UINT count, const IID* iids, void* configurations,
                                               UINT* sizes) {
    EnableExperimentalFeaturesFn real =
        (EnableExperimentalFeaturesFn)realFunction("D3D12EnableExperimentalFeatures");
    return real != NULL ? real(count, iids, configurations, sizes) : E_NOTIMPL;
}
