/* A test-only d3d12.dll that forwards every export to the system's d3d12.dll.
 *
 * - It lowers a requested minimum feature level above 11_0 to 11_0, because
 *   the CPU Vulkan driver under Wine offers no more; the program stays as it is.
 * - It keeps one device per adapter, as Windows does (device_per_adapter.h),
 *   and keeps a device lost once a loss was delivered for it (lost_devices.h).
 * - With HT_TIMER_TICK_MS set, the program's SetTimer fires on Windows' timer
 *   tick (windows_timer_tick.h).
 * - It fails chosen calls of the program on request (call_failures.h): the
 *   exports, and the methods of the device, command queue, command
 *   allocator, command list, resource and fence that the program checks.
 * - It traces (traces.h) every device made, returned again, refused and gone
 *   (HT_DEVICE_TRACE, device_per_adapter.h) and every transition barrier the
 *   program records (HT_BARRIER_TRACE: "barrier <time> <resource address,
 *   hex> <state before, hex> <state after, hex>").
 *
 * Written in C so that the headers' C vtable layouts name the method slots. */
#define COBJMACROS
#include <windows.h>

#include <initguid.h> /* defines the interface identifiers it uses */

#include <d3d12.h>
#include <dxgi.h>

#include <stdio.h>

#include "call_failures.h"
#include "device_per_adapter.h"
#include "traces.h"
#include "windows_timer_tick.h"

typedef HRESULT(WINAPI* CreateDeviceFn)(IUnknown*, D3D_FEATURE_LEVEL, REFIID, void**);
typedef HRESULT(WINAPI* GetDebugInterfaceFn)(REFIID, void**);
typedef HRESULT(WINAPI* SerializeRootSignatureFn)(const D3D12_ROOT_SIGNATURE_DESC*,
                                                  D3D_ROOT_SIGNATURE_VERSION, ID3DBlob**,
                                                  ID3DBlob**);
typedef HRESULT(WINAPI* SerializeVersionedRootSignatureFn)(
    const D3D12_VERSIONED_ROOT_SIGNATURE_DESC*, ID3DBlob**, ID3DBlob**);
typedef HRESULT(WINAPI* CreateDeserializerFn)(const void*, SIZE_T, REFIID, void**);
typedef HRESULT(WINAPI* EnableExperimentalFeaturesFn)(UINT, const IID*, void*, UINT*);

static const struct MethodSlot deviceMethods[] = {
    METHOD_SLOT(ID3D12Device, CreateCommandQueue),
    METHOD_SLOT(ID3D12Device, CreateCommandAllocator),
    METHOD_SLOT(ID3D12Device, CreateGraphicsPipelineState),
    METHOD_SLOT(ID3D12Device, CreateCommandList),
    METHOD_SLOT(ID3D12Device, CreateDescriptorHeap),
    METHOD_SLOT(ID3D12Device, CreateRootSignature),
    METHOD_SLOT(ID3D12Device, CreateCommittedResource),
    METHOD_SLOT(ID3D12Device, CreateFence),
};
static const struct MethodSlot queueMethods[] = {METHOD_SLOT(ID3D12CommandQueue, Signal)};
static const struct MethodSlot allocatorMethods[] = {METHOD_SLOT(ID3D12CommandAllocator, Reset)};
static const struct MethodSlot listMethods[] = {
    METHOD_SLOT(ID3D12GraphicsCommandList, Reset),
    METHOD_SLOT(ID3D12GraphicsCommandList, Close),
};
static const struct MethodSlot resourceMethods[] = {METHOD_SLOT(ID3D12Resource, Map)};
static const struct MethodSlot fenceMethods[] = {
    METHOD_SLOT(ID3D12Fence, SetEventOnCompletion),
    VALUE_METHOD_SLOT(ID3D12Fence, GetCompletedValue),
};

typedef void(STDMETHODCALLTYPE* ResourceBarrierFn)(ID3D12GraphicsCommandList*, UINT,
                                                   const D3D12_RESOURCE_BARRIER*);
static ResourceBarrierFn originalResourceBarrier;
static HANDLE barrierTrace = INVALID_HANDLE_VALUE;

static void* realFunction(const char* name) {
    return systemFunction("d3d12.dll", name);
}

static void STDMETHODCALLTYPE tracedResourceBarrier(ID3D12GraphicsCommandList* list, UINT count,
                                                    const D3D12_RESOURCE_BARRIER* barriers) {
    UINT i;
    char text[96];
    if (calledByTheProgram(__builtin_return_address(0))) {
        for (i = 0; i < count; ++i) {
            const D3D12_RESOURCE_TRANSITION_BARRIER* transition = &barriers[i].Transition;
            if (barriers[i].Type != D3D12_RESOURCE_BARRIER_TYPE_TRANSITION) {
                continue;
            }
            snprintf(text, sizeof(text), "%llx %x %x",
                     (unsigned long long)(ULONG_PTR)transition->pResource,
                     (unsigned)transition->StateBefore, (unsigned)transition->StateAfter);
            traceLine(barrierTrace, "barrier", text);
        }
    }
    originalResourceBarrier(list, count, barriers);
}

static BOOL barriersTraced(void) {
    return GetEnvironmentVariableA("HT_BARRIER_TRACE", NULL, 0) > 0;
}

/* Once per process: every command list shares the vtable. */
static void traceBarriersOf(ID3D12GraphicsCommandList* list) {
    void** vtable = *(void***)list;
    size_t slot = offsetof(ID3D12GraphicsCommandListVtbl, ResourceBarrier) / sizeof(void*);
    if (originalResourceBarrier != NULL || !barriersTraced()) {
        return;
    }
    barrierTrace = openTrace("HT_BARRIER_TRACE");
    originalResourceBarrier = (ResourceBarrierFn)vtable[slot];
    writeFunctionSlot(vtable, slot, (void*)tracedResourceBarrier);
}

/* The vtables of the objects a device makes are reached through one object
 * of each class, made here and released again: every later object of the
 * class shares the patched vtable. Only done when a failure is asked for or
 * barriers are traced. */
static void patchObjectsOf(ID3D12Device* device) {
    D3D12_COMMAND_QUEUE_DESC queueDesc = {D3D12_COMMAND_LIST_TYPE_DIRECT, 0,
                                          D3D12_COMMAND_QUEUE_FLAG_NONE, 0};
    D3D12_HEAP_PROPERTIES heap = {D3D12_HEAP_TYPE_UPLOAD, D3D12_CPU_PAGE_PROPERTY_UNKNOWN,
                                  D3D12_MEMORY_POOL_UNKNOWN, 1, 1};
    D3D12_RESOURCE_DESC buffer = {D3D12_RESOURCE_DIMENSION_BUFFER,
                                  0,
                                  256,
                                  1,
                                  1,
                                  1,
                                  DXGI_FORMAT_UNKNOWN,
                                  {1, 0},
                                  D3D12_TEXTURE_LAYOUT_ROW_MAJOR,
                                  D3D12_RESOURCE_FLAG_NONE};
    ID3D12CommandQueue* queue = NULL;
    ID3D12CommandAllocator* allocator = NULL;
    ID3D12GraphicsCommandList* list = NULL;
    ID3D12Resource* resource = NULL;
    ID3D12Fence* fence = NULL;

    if (SUCCEEDED(ID3D12Device_CreateCommandQueue(device, &queueDesc, &IID_ID3D12CommandQueue,
                                                  (void**)&queue))) {
        patchMethods(queue, queueMethods, ARRAY_COUNT(queueMethods));
        ID3D12CommandQueue_Release(queue);
    }
    if (SUCCEEDED(ID3D12Device_CreateCommandAllocator(device, D3D12_COMMAND_LIST_TYPE_DIRECT,
                                                      &IID_ID3D12CommandAllocator,
                                                      (void**)&allocator))) {
        patchMethods(allocator, allocatorMethods, ARRAY_COUNT(allocatorMethods));
        if (SUCCEEDED(ID3D12Device_CreateCommandList(
                device, 0, D3D12_COMMAND_LIST_TYPE_DIRECT, allocator, NULL,
                &IID_ID3D12GraphicsCommandList, (void**)&list))) {
            patchMethods(list, listMethods, ARRAY_COUNT(listMethods));
            traceBarriersOf(list);
            ID3D12GraphicsCommandList_Release(list);
        }
        ID3D12CommandAllocator_Release(allocator);
    }
    if (SUCCEEDED(ID3D12Device_CreateCommittedResource(device, &heap, D3D12_HEAP_FLAG_NONE, &buffer,
                                                       D3D12_RESOURCE_STATE_GENERIC_READ, NULL,
                                                       &IID_ID3D12Resource, (void**)&resource))) {
        patchMethods(resource, resourceMethods, ARRAY_COUNT(resourceMethods));
        ID3D12Resource_Release(resource);
    }
    if (SUCCEEDED(ID3D12Device_CreateFence(device, 0, D3D12_FENCE_FLAG_NONE, &IID_ID3D12Fence,
                                           (void**)&fence))) {
        patchMethods(fence, fenceMethods, ARRAY_COUNT(fenceMethods));
        ID3D12Fence_Release(fence);
    }
    patchMethods(device, deviceMethods, ARRAY_COUNT(deviceMethods));
}

HRESULT WINAPI D3D12CreateDevice(IUnknown* adapter, D3D_FEATURE_LEVEL minimumLevel, REFIID iid,
                                 void** device) {
    CreateDeviceFn real = (CreateDeviceFn)realFunction("D3D12CreateDevice");
    struct AdapterIdentity identity;
    BOOL identified;
    HRESULT result;
    /* Before the program's first frame: its imports are bound by now. */
    applyWindowsTimerTick();
    if (failThisCall("D3D12CreateDevice", __builtin_return_address(0), &result)) {
        traceFailedCreation(adapter, result);
        return result;
    }
    if (real == NULL) {
        return E_NOTIMPL;
    }
    identified = identifyAdapter(adapter, &identity);
    if (identified && answerFromLiveDevice(&identity, iid, device, &result)) {
        return result;
    }
    if (minimumLevel > D3D_FEATURE_LEVEL_11_0) {
        minimumLevel = D3D_FEATURE_LEVEL_11_0;
    }
    result = real(adapter, minimumLevel, iid, device);
    if (SUCCEEDED(result) && device != NULL && *device != NULL) {
        if (identified) {
            adoptNewDevice(&identity, (IUnknown*)*device);
        }
        if (anyFailureRequested() || barriersTraced()) {
            patchObjectsOf((ID3D12Device*)*device);
        }
    }
    return result;
}

HRESULT WINAPI D3D12GetDebugInterface(REFIID iid, void** debug) {
    GetDebugInterfaceFn real = (GetDebugInterfaceFn)realFunction("D3D12GetDebugInterface");
    HRESULT result;
    if (failThisCall("D3D12GetDebugInterface", __builtin_return_address(0), &result)) {
        return result;
    }
    return real != NULL ? real(iid, debug) : E_NOTIMPL;
}

HRESULT WINAPI D3D12SerializeRootSignature(const D3D12_ROOT_SIGNATURE_DESC* desc,
                                           D3D_ROOT_SIGNATURE_VERSION version, ID3DBlob** blob,
                                           ID3DBlob** errors) {
    SerializeRootSignatureFn real =
        (SerializeRootSignatureFn)realFunction("D3D12SerializeRootSignature");
    HRESULT result;
    if (failThisCall("D3D12SerializeRootSignature", __builtin_return_address(0), &result)) {
        return result;
    }
    return real != NULL ? real(desc, version, blob, errors) : E_NOTIMPL;
}

HRESULT WINAPI D3D12SerializeVersionedRootSignature(const D3D12_VERSIONED_ROOT_SIGNATURE_DESC* desc,
                                                    ID3DBlob** blob, ID3DBlob** errors) {
    SerializeVersionedRootSignatureFn real =
        (SerializeVersionedRootSignatureFn)realFunction("D3D12SerializeVersionedRootSignature");
    HRESULT result;
    if (failThisCall("D3D12SerializeVersionedRootSignature", __builtin_return_address(0),
                     &result)) {
        return result;
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
