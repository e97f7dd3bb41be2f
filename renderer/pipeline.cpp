#include "renderer/d3d_helpers.h"
#include "renderer/renderer.h"

#include <d3dcompiler.h>
#include <direct.h>

#include <cstring>
#include <fstream>
#include <iostream>
#include <string>

namespace {

constexpr std::uint64_t uniformBufferSize = 256; // the granularity of constant-buffer views
constexpr int workingDirectoryBufferSize = 1024;

struct ShaderFiles {
    std::wstring vertexSource;
    std::wstring pixelSource;
    std::string vertexBytecode;
    std::string pixelBytecode;
};

// NOTE: the narrow directory is widened through the ANSI code page rather than
// byte by byte, so a folder name with letters beyond ASCII still finds the
// shaders; for ASCII paths both give the same result.
std::wstring widen(const std::string& narrow) {
    const int length = MultiByteToWideChar(CP_ACP, 0, narrow.c_str(), -1, nullptr, 0);
    std::wstring wide(length > 0 ? static_cast<std::size_t>(length) : 1, L'\0');
    MultiByteToWideChar(CP_ACP, 0, narrow.c_str(), -1, &wide[0], length);
    wide.resize(wide.size() - 1);
    return wide;
}

// The working directory with a trailing backslash; empty when it cannot be read.
std::string workingDirectory() {
    char buffer[workingDirectoryBufferSize];
    if (_getcwd(buffer, workingDirectoryBufferSize) == nullptr) {
        return {};
    }
    return std::string(buffer) + "\\";
}

// The folder of the program's own file with a trailing backslash; empty when
// its path does not fit.
std::string programFolder() {
    char path[MAX_PATH];
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        return {};
    }
    const std::string file(path, length);
    return file.substr(0, file.find_last_of('\\') + 1);
}

bool holdsAssets(const std::string& folder) {
    const DWORD attributes = GetFileAttributesA((folder + "assets").c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// NOTE: the shaders are looked up in assets\ under the working directory, and
// when it has no assets\ folder, under the program's own folder: started from
// another folder (a terminal elsewhere, a shortcut's "Start in"), the program
// found no shaders and drew the background alone, in both eyes too.
std::string shaderFolder() {
    const std::string working = workingDirectory();
    if (!working.empty() && holdsAssets(working)) {
        return working;
    }
    const std::string own = programFolder();
    return !own.empty() && holdsAssets(own) ? own : working;
}

// Paths of the shader sources and of the bytecode written beside them. False
// when the working directory cannot be read and the program's folder has no
// assets\\ either.
bool findShaderFiles(ShaderFiles& files) {
    const std::string directory = shaderFolder();
    if (directory.empty()) {
        std::cout << "The working directory cannot be read or is longer than "
                  << workingDirectoryBufferSize << " bytes; the shaders in assets\\ are not "
                  << "compiled." << std::endl;
        return false;
    }
    files.vertexSource = widen(directory + "assets\\triangle.vert.hlsl");
    files.pixelSource = widen(directory + "assets\\triangle.frag.hlsl");
    files.vertexBytecode = directory + "assets\\triangle.vert.dxbc";
    files.pixelBytecode = directory + "assets\\triangle.frag.dxbc";
    return true;
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

void writeBytecode(const std::string& path, ID3DBlob* shader) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(static_cast<const char*>(shader->GetBufferPointer()),
               static_cast<std::streamsize>(shader->GetBufferSize()));
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
    ShaderFiles files;
    if (!findShaderFiles(files)) {
        return false;
    }
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
