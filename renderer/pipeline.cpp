#include "renderer/d3d_helpers.h"
#include "renderer/renderer.h"

#include <d3dcompiler.h>

#include <cstring>
#include <iostream>
#include <string>

namespace {

constexpr std::uint64_t uniformBufferSize = 256; // the granularity of constant-buffer views

struct ShaderFiles {
    std::wstring vertexSource;
    std::wstring pixelSource;
    std::wstring vertexBytecode;
    std::wstring pixelBytecode;
};

std::wstring withTrailingBackslash(std::wstring folder) {
    if (!folder.empty() && folder.back() != L'\\') {
        folder += L'\\';
    }
    return folder;
}

// The working directory with a trailing backslash, however long; empty when
// it cannot be read.
std::wstring workingDirectory() {
    const DWORD size = GetCurrentDirectoryW(0, nullptr);
    std::wstring folder(size, L'\0');
    const DWORD length = size > 0 ? GetCurrentDirectoryW(size, &folder[0]) : 0;
    if (length == 0 || length >= size) {
        return {};
    }
    folder.resize(length);
    return withTrailingBackslash(folder);
}

// The folder of the program's own file with a trailing backslash, however
// long; empty when it cannot be read.
std::wstring programFolder() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, &path[0], static_cast<DWORD>(path.size()));
        if (length == 0) {
            return {};
        }
        if (length < path.size()) {
            path.resize(length);
            return path.substr(0, path.find_last_of(L'\\') + 1);
        }
        path.resize(path.size() * 2); // cut off: a longer path than the buffer
    }
}

bool isFile(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// NOTE: each shader source is looked up on its own, in the assets folder
// under the working directory, then in the one beside the program, and its
// bytecode is written beside the source that was read. Started from another
// folder (a terminal elsewhere, a shortcut's "Start in"), or from one whose
// assets folder lacks the shaders, the program otherwise found none and drew
// the background alone, in both eyes too. Every path is wide and of any length:
// a folder named in letters outside the ANSI code page, or deeper than the
// working directory's 1024 bytes, is found like any other.
std::wstring shaderSource(const wchar_t* name) {
    const std::wstring relative = std::wstring(L"assets\\") + name;
    for (const std::wstring& folder : {workingDirectory(), programFolder()}) {
        if (!folder.empty() && isFile(folder + relative)) {
            return folder + relative;
        }
    }
    // Nowhere: the working directory's, which the compiler then reports missing.
    return workingDirectory() + relative;
}

// triangle.vert.hlsl -> triangle.vert.dxbc, in the same folder
std::wstring bytecodeBeside(const std::wstring& source) {
    return source.substr(0, source.find_last_of(L'.')) + L".dxbc";
}

ShaderFiles findShaderFiles() {
    ShaderFiles files;
    files.vertexSource = shaderSource(L"triangle.vert.hlsl");
    files.pixelSource = shaderSource(L"triangle.frag.hlsl");
    files.vertexBytecode = bytecodeBeside(files.vertexSource);
    files.pixelBytecode = bytecodeBeside(files.pixelSource);
    return files;
}

// What a caught failure prints: the error blob's text when there is one,
// otherwise a line naming the failed call.
void reportCaughtFailure(ID3DBlob*& errors, const std::exception& failure) {
    if (errors != nullptr) {
        // NOTE: read no further than the blob, whether or not it ends in a zero.
        const auto* text = static_cast<const char*>(errors->GetBufferPointer());
        std::cout << std::string(text, strnlen(text, errors->GetBufferSize()));
        releaseAndNull(errors);
    } else {
        std::cout << failure.what() << std::endl;
    }
}

// Binary, truncated, others may read and write it meanwhile; a file that
// cannot be opened is not written.
void writeBytecode(const std::wstring& path, ID3DBlob* shader) {
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return;
    }
    DWORD written = 0;
    WriteFile(file, shader->GetBufferPointer(), static_cast<DWORD>(shader->GetBufferSize()),
              &written, nullptr);
    CloseHandle(file);
}

D3D12_SHADER_BYTECODE bytecodeOf(ID3DBlob* shader) {
    return D3D12_SHADER_BYTECODE{shader->GetBufferPointer(), shader->GetBufferSize()};
}

D3D12_BLEND_DESC opaqueBlend() {
    D3D12_BLEND_DESC blend{};
    blend.AlphaToCoverageEnable = FALSE;
    blend.IndependentBlendEnable = FALSE;
    for (D3D12_RENDER_TARGET_BLEND_DESC& target : blend.RenderTarget) {
        target.BlendEnable = FALSE;
        target.LogicOpEnable = FALSE;
        target.SrcBlend = D3D12_BLEND_ONE;
        target.DestBlend = D3D12_BLEND_ZERO;
        target.BlendOp = D3D12_BLEND_OP_ADD;
        target.SrcBlendAlpha = D3D12_BLEND_ONE;
        target.DestBlendAlpha = D3D12_BLEND_ZERO;
        target.BlendOpAlpha = D3D12_BLEND_OP_ADD;
        target.LogicOp = D3D12_LOGIC_OP_NOOP;
        target.RenderTargetWriteMask = D3D12_COLOR_WRITE_ENABLE_ALL;
    }
    return blend;
}

// Front faces are culled, not back faces.
D3D12_RASTERIZER_DESC frontCulledRasterizer() {
    D3D12_RASTERIZER_DESC rasterizer{};
    rasterizer.FillMode = D3D12_FILL_MODE_SOLID;
    rasterizer.CullMode = D3D12_CULL_MODE_FRONT;
    rasterizer.FrontCounterClockwise = FALSE;
    rasterizer.DepthBias = 0;
    rasterizer.DepthBiasClamp = 0.0f;
    rasterizer.SlopeScaledDepthBias = 0.0f;
    rasterizer.DepthClipEnable = TRUE;
    rasterizer.MultisampleEnable = FALSE;
    rasterizer.AntialiasedLineEnable = FALSE;
    rasterizer.ForcedSampleCount = 0;
    rasterizer.ConservativeRaster = D3D12_CONSERVATIVE_RASTERIZATION_MODE_OFF;
    return rasterizer;
}

const D3D12_INPUT_ELEMENT_DESC vertexLayout[] = {
    {"POSITION", 0, DXGI_FORMAT_R32G32B32_FLOAT, 0, 0, D3D12_INPUT_CLASSIFICATION_PER_VERTEX_DATA,
     0},
    {"COLOR", 0, DXGI_FORMAT_R32G32B32_FLOAT, 0, 12, D3D12_INPUT_CLASSIFICATION_PER_VERTEX_DATA, 0},
};

void compileShader(const std::wstring& path, const char* target, ID3DBlob*& shader,
                   ID3DBlob*& errors) {
    CHECK_HRESULT(
        D3DCompileFromFile(path.c_str(), nullptr, nullptr, "main", target, 0, 0, &shader, &errors));
}

} // namespace

void Renderer::createPipeline() {
    createRootSignature();
    ID3DBlob* vertexShader = nullptr;
    ID3DBlob* pixelShader = nullptr;
    const bool compiled = compileShaders(vertexShader, pixelShader);
    createUniformBuffer();
    if (compiled) {
        createPipelineState(vertexShader, pixelShader);
    }
    releaseAndNull(vertexShader);
    releaseAndNull(pixelShader);
    createCommandList();
    createGeometryBuffers();
}

// One descriptor table holding the constant buffer at b0, for the vertex
// shader. A failure is reported and construction goes on without it.
void Renderer::createRootSignature() {
    D3D12_DESCRIPTOR_RANGE1 range{};
    range.RangeType = D3D12_DESCRIPTOR_RANGE_TYPE_CBV;
    range.NumDescriptors = 1;
    range.BaseShaderRegister = 0;
    range.RegisterSpace = 0;
    range.Flags = D3D12_DESCRIPTOR_RANGE_FLAG_NONE;
    range.OffsetInDescriptorsFromTableStart = 0;

    D3D12_ROOT_PARAMETER1 parameter{};
    parameter.ParameterType = D3D12_ROOT_PARAMETER_TYPE_DESCRIPTOR_TABLE;
    parameter.ShaderVisibility = D3D12_SHADER_VISIBILITY_VERTEX;
    parameter.DescriptorTable.NumDescriptorRanges = 1;
    parameter.DescriptorTable.pDescriptorRanges = &range;

    D3D12_VERSIONED_ROOT_SIGNATURE_DESC desc{};
    desc.Version = D3D_ROOT_SIGNATURE_VERSION_1_1;
    desc.Desc_1_1.NumParameters = 1;
    desc.Desc_1_1.pParameters = &parameter;
    desc.Desc_1_1.NumStaticSamplers = 0;
    desc.Desc_1_1.Flags = D3D12_ROOT_SIGNATURE_FLAG_ALLOW_INPUT_ASSEMBLER_INPUT_LAYOUT;

    ID3DBlob* signature = nullptr;
    ID3DBlob* errors = nullptr;
    try {
        CHECK_HRESULT(D3D12SerializeVersionedRootSignature(&desc, &signature, &errors));
        CHECK_HRESULT(device->CreateRootSignature(0, signature->GetBufferPointer(),
                                                  signature->GetBufferSize(),
                                                  IID_PPV_ARGS(&rootSignature)));
        rootSignature->SetName(L"Hello Triangle Root Signature");
    } catch (const std::exception& failure) {
        reportCaughtFailure(errors, failure);
    }
    releaseAndNull(signature);
    releaseAndNull(errors);
}

// Compiles both shaders and writes their bytecode beside the sources. A
// failure is reported and leaves the program without a pipeline state; a
// failed vertex shader means the pixel shader is not compiled.
bool Renderer::compileShaders(ID3DBlob*& vertexShader, ID3DBlob*& pixelShader) {
    const ShaderFiles files = findShaderFiles();
    ID3DBlob* errors = nullptr;
    try {
        compileShader(files.vertexSource, "vs_5_0", vertexShader, errors);
        releaseAndNull(errors); // warnings only
        compileShader(files.pixelSource, "ps_5_0", pixelShader, errors);
        releaseAndNull(errors);
    } catch (const std::exception& failure) {
        reportCaughtFailure(errors, failure);
        releaseAndNull(vertexShader);
        releaseAndNull(pixelShader);
        return false;
    }
    writeBytecode(files.vertexBytecode, vertexShader);
    writeBytecode(files.pixelBytecode, pixelShader);
    return true;
}

// The constant buffer, its shader-visible heap with one view, and a first copy
// of the uniforms.
void Renderer::createUniformBuffer() {
    const D3D12_DESCRIPTOR_HEAP_DESC heapDesc = descriptorHeapDescription(
        D3D12_DESCRIPTOR_HEAP_TYPE_CBV_SRV_UAV, 1, D3D12_DESCRIPTOR_HEAP_FLAG_SHADER_VISIBLE);
    CHECK_HRESULT(device->CreateDescriptorHeap(&heapDesc, IID_PPV_ARGS(&uniformBufferHeap)));

    const D3D12_HEAP_PROPERTIES upload = heapProperties(D3D12_HEAP_TYPE_UPLOAD);
    const D3D12_RESOURCE_DESC bufferDesc = bufferDescription(uniformBufferSize);
    CHECK_HRESULT(device->CreateCommittedResource(&upload, D3D12_HEAP_FLAG_NONE, &bufferDesc,
                                                  D3D12_RESOURCE_STATE_GENERIC_READ, nullptr,
                                                  IID_PPV_ARGS(&uniformBuffer)));
    uniformBufferHeap->SetName(L"Constant Buffer Upload Resource Heap");

    D3D12_CONSTANT_BUFFER_VIEW_DESC viewDesc{};
    viewDesc.BufferLocation = uniformBuffer->GetGPUVirtualAddress();
    viewDesc.SizeInBytes = static_cast<UINT>(uniformBufferSize);
    device->CreateConstantBufferView(&viewDesc,
                                     uniformBufferHeap->GetCPUDescriptorHandleForHeapStart());
    uploadUniforms();
}

void Renderer::createPipelineState(ID3DBlob* vertexShader, ID3DBlob* pixelShader) {
    D3D12_GRAPHICS_PIPELINE_STATE_DESC desc{};
    desc.pRootSignature = rootSignature;
    desc.VS = bytecodeOf(vertexShader);
    desc.PS = bytecodeOf(pixelShader);
    desc.BlendState = opaqueBlend();
    desc.SampleMask = 0xFFFFFFFF;
    desc.RasterizerState = frontCulledRasterizer();
    desc.DepthStencilState = D3D12_DEPTH_STENCIL_DESC{}; // no depth, no stencil
    desc.InputLayout = D3D12_INPUT_LAYOUT_DESC{vertexLayout, 2};
    desc.IBStripCutValue = D3D12_INDEX_BUFFER_STRIP_CUT_VALUE_DISABLED;
    desc.PrimitiveTopologyType = D3D12_PRIMITIVE_TOPOLOGY_TYPE_TRIANGLE;
    desc.NumRenderTargets = 1;
    desc.RTVFormats[0] = DXGI_FORMAT_R8G8B8A8_UNORM;
    desc.DSVFormat = DXGI_FORMAT_UNKNOWN;
    desc.SampleDesc.Count = 1;
    desc.SampleDesc.Quality = 0;
    desc.NodeMask = 0;
    desc.Flags = D3D12_PIPELINE_STATE_FLAG_NONE;
    try {
        CHECK_HRESULT(device->CreateGraphicsPipelineState(&desc, IID_PPV_ARGS(&pipelineState)));
    } catch (const std::exception&) {
        std::cout << "Failed to create Graphics Pipeline!";
    }
}

// Created closed; every frame resets and records it anew.
void Renderer::createCommandList() {
    CHECK_HRESULT(device->CreateCommandList(0, D3D12_COMMAND_LIST_TYPE_DIRECT, commandAllocator,
                                            pipelineState, IID_PPV_ARGS(&commandList)));
    commandList->SetName(L"Hello Triangle Command List");
    CHECK_HRESULT(commandList->Close());
}

// The geometry stays in upload heaps for the whole run; there is no
// copy to default-heap memory.
void Renderer::createGeometryBuffers() {
    constexpr UINT vertexBytes = sizeof(Vertex) * cubeVertexCount;
    constexpr UINT indexBytes = sizeof(std::uint32_t) * cubeIndexCount;
    vertexBuffer = createUploadBuffer(vertexBytes, vertexData.data());
    vertexBufferView =
        D3D12_VERTEX_BUFFER_VIEW{vertexBuffer->GetGPUVirtualAddress(), vertexBytes, sizeof(Vertex)};
    indexBuffer = createUploadBuffer(indexBytes, indexData.data());
    indexBufferView = D3D12_INDEX_BUFFER_VIEW{indexBuffer->GetGPUVirtualAddress(), indexBytes,
                                              DXGI_FORMAT_R32_UINT};
}

ID3D12Resource* Renderer::createUploadBuffer(std::uint64_t size, const void* content) {
    const D3D12_HEAP_PROPERTIES upload = heapProperties(D3D12_HEAP_TYPE_UPLOAD);
    const D3D12_RESOURCE_DESC desc = bufferDescription(size);
    ID3D12Resource* buffer = nullptr;
    CHECK_HRESULT(device->CreateCommittedResource(&upload, D3D12_HEAP_FLAG_NONE, &desc,
                                                  D3D12_RESOURCE_STATE_GENERIC_READ, nullptr,
                                                  IID_PPV_ARGS(&buffer)));
    const D3D12_RANGE nothingRead{0, 0};
    void* mapped = nullptr;
    try {
        CHECK_HRESULT(buffer->Map(0, &nothingRead, &mapped));
    } catch (...) {
        buffer->Release();
        throw;
    }
    std::memcpy(mapped, content, static_cast<std::size_t>(size));
    buffer->Unmap(0, nullptr);
    return buffer;
}

// A null event with a last error of zero is not taken as a failure.
void Renderer::createFenceEvent() {
    fenceValue = 1;
    fenceEvent = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    const DWORD error = GetLastError();
    if (fenceEvent == nullptr && error != 0) {
        throwGraphicsError("CreateEventA(nullptr, FALSE, FALSE, nullptr)",
                           static_cast<std::int32_t>(HRESULT_FROM_WIN32(error)), __FILE__,
                           __LINE__);
    }
}
