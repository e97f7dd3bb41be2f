#include "tools/common/texture_readback.h"

#include "renderer/d3d_helpers.h"

#include <cstring>

TextureReadback::TextureReadback(ID3D12Device* device) : device(device) {
    device->AddRef();
    device->CreateCommandAllocator(D3D12_COMMAND_LIST_TYPE_DIRECT, IID_PPV_ARGS(&allocator));
    if (allocator != nullptr &&
        SUCCEEDED(device->CreateCommandList(0, D3D12_COMMAND_LIST_TYPE_DIRECT, allocator, nullptr,
                                            IID_PPV_ARGS(&list)))) {
        list->Close();
    }
    device->CreateFence(0, D3D12_FENCE_FLAG_NONE, IID_PPV_ARGS(&fence));
    event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
}

TextureReadback::~TextureReadback() {
    if (event != nullptr) {
        CloseHandle(event);
    }
    releaseAndNull(fence);
    releaseAndNull(list);
    releaseAndNull(allocator);
    releaseAndNull(device);
}

bool TextureReadback::read(ID3D12Resource* texture, D3D12_RESOURCE_STATES state,
                           ID3D12CommandQueue* queue, RgbaImage& image) {
    if (list == nullptr || fence == nullptr || event == nullptr) {
        return false;
    }
    const D3D12_RESOURCE_DESC desc = texture->GetDesc();
    D3D12_PLACED_SUBRESOURCE_FOOTPRINT footprint{};
    UINT rows = 0;
    UINT64 rowBytes = 0;
    UINT64 totalBytes = 0;
    device->GetCopyableFootprints(&desc, 0, 1, 0, &footprint, &rows, &rowBytes, &totalBytes);
    const D3D12_HEAP_PROPERTIES heap = heapProperties(D3D12_HEAP_TYPE_READBACK);
    const D3D12_RESOURCE_DESC bufferDesc = bufferDescription(totalBytes);
    ID3D12Resource* buffer = nullptr;
    if (FAILED(device->CreateCommittedResource(&heap, D3D12_HEAP_FLAG_NONE, &bufferDesc,
                                               D3D12_RESOURCE_STATE_COPY_DEST, nullptr,
                                               IID_PPV_ARGS(&buffer)))) {
        return false;
    }
    void* mapped = nullptr;
    const bool copied = copyAndWait(texture, state, queue, buffer, footprint) &&
                        SUCCEEDED(buffer->Map(0, nullptr, &mapped));
    if (copied) {
        image.width = footprint.Footprint.Width;
        image.height = rows;
        image.pixels.resize(static_cast<std::size_t>(image.width) * rows * 4);
        for (UINT row = 0; row < rows; ++row) {
            std::memcpy(&image.pixels[static_cast<std::size_t>(row) * image.width * 4],
                        static_cast<const std::uint8_t*>(mapped) + footprint.Offset +
                            static_cast<std::size_t>(row) * footprint.Footprint.RowPitch,
                        static_cast<std::size_t>(image.width) * 4);
        }
        buffer->Unmap(0, nullptr);
    }
    buffer->Release();
    return copied;
}

bool TextureReadback::copyAndWait(ID3D12Resource* texture, D3D12_RESOURCE_STATES state,
                                  ID3D12CommandQueue* queue, ID3D12Resource* buffer,
                                  const D3D12_PLACED_SUBRESOURCE_FOOTPRINT& footprint) {
    if (FAILED(allocator->Reset()) || FAILED(list->Reset(allocator, nullptr))) {
        return false;
    }
    const D3D12_RESOURCE_BARRIER toCopy =
        transitionBarrier(texture, state, D3D12_RESOURCE_STATE_COPY_SOURCE);
    list->ResourceBarrier(1, &toCopy);
    D3D12_TEXTURE_COPY_LOCATION destination{};
    destination.pResource = buffer;
    destination.Type = D3D12_TEXTURE_COPY_TYPE_PLACED_FOOTPRINT;
    destination.PlacedFootprint = footprint;
    D3D12_TEXTURE_COPY_LOCATION source{};
    source.pResource = texture;
    source.Type = D3D12_TEXTURE_COPY_TYPE_SUBRESOURCE_INDEX;
    list->CopyTextureRegion(&destination, 0, 0, 0, &source, nullptr);
    const D3D12_RESOURCE_BARRIER back =
        transitionBarrier(texture, D3D12_RESOURCE_STATE_COPY_SOURCE, state);
    list->ResourceBarrier(1, &back);
    if (FAILED(list->Close())) {
        return false;
    }
    ID3D12CommandList* lists[] = {list};
    queue->ExecuteCommandLists(1, lists);
    const std::uint64_t value = ++fenceValue;
    if (FAILED(queue->Signal(fence, value))) {
        return false;
    }
    if (fence->GetCompletedValue() < value) {
        fence->SetEventOnCompletion(value, event);
        WaitForSingleObject(event, INFINITE);
    }
    return true;
}
