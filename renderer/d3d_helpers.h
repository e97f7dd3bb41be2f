#pragma once

#include "renderer/graphics_error.h"

#include <d3d12.h>
#include <dxgi.h>

#include <cstdint>

// Evaluates a call returning an HRESULT once and throws a GraphicsError naming
// the call and the result when it failed.
#define CHECK_HRESULT(call)                                                                        \
    do {                                                                                           \
        const HRESULT checkedResult = (call);                                                      \
        if (FAILED(checkedResult)) {                                                               \
            throwGraphicsError(#call, static_cast<std::int32_t>(checkedResult), __FILE__,          \
                               __LINE__);                                                          \
        }                                                                                          \
    } while (0)

// Whether the adapter is one the renderer may choose: its description can be
// read and does not call it a software adapter.
bool isHardwareAdapter(IDXGIAdapter1* adapter);

// An adapter's LUID as one number, its high part in the upper half, as the
// VR runtime names the headset's adapter.
inline std::uint64_t luidValue(const LUID& luid) {
    return static_cast<std::uint64_t>(static_cast<std::uint32_t>(luid.HighPart)) << 32 |
           luid.LowPart;
}

// Releases a COM interface that may never have been made, and forgets it.
template <typename Interface> void releaseAndNull(Interface*& object) {
    if (object != nullptr) {
        object->Release();
        object = nullptr;
    }
}

// A transition of every subresource of one resource.
D3D12_RESOURCE_BARRIER transitionBarrier(ID3D12Resource* resource, D3D12_RESOURCE_STATES before,
                                         D3D12_RESOURCE_STATES after);

// Committed buffers and textures are made on node 1 of the given heap type.
D3D12_HEAP_PROPERTIES heapProperties(D3D12_HEAP_TYPE type);

// A plain buffer of the given width, in row-major layout.
D3D12_RESOURCE_DESC bufferDescription(std::uint64_t width);

// A descriptor heap of count descriptors on node mask 0.
D3D12_DESCRIPTOR_HEAP_DESC descriptorHeapDescription(D3D12_DESCRIPTOR_HEAP_TYPE type,
                                                     std::uint32_t count,
                                                     D3D12_DESCRIPTOR_HEAP_FLAGS flags);

// A CPU descriptor handle moved on by offset bytes.
D3D12_CPU_DESCRIPTOR_HANDLE offsetHandle(D3D12_CPU_DESCRIPTOR_HANDLE handle, std::uint32_t offset);
