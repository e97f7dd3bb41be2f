#include <windows.h>

#include <d3d12.h>
#include <dxgi1_4.h>

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

using CreateFactory2Fn = HRESULT(WINAPI*)(UINT, REFIID, void**);

// The proxy is loaded by path, like the d3d12.dll proxy in its own tests.
class DxgiProxy : public ::testing::Test {
protected:
    void SetUp() override {
        const char* path = std::getenv("HT_DXGI_PROXY");
        if (path == nullptr) {
            GTEST_SKIP() << "HT_DXGI_PROXY does not name the test-only dxgi.dll";
        }
        const HMODULE module = LoadLibraryA(path);
        ASSERT_NE(module, nullptr) << "cannot load " << path;
        const auto create = reinterpret_cast<CreateFactory2Fn>(
            reinterpret_cast<void*>(GetProcAddress(module, "CreateDXGIFactory2")));
        ASSERT_NE(create, nullptr);
        ASSERT_HRESULT_SUCCEEDED(
            create(0, __uuidof(IDXGIFactory4), reinterpret_cast<void**>(&factory)));
        ASSERT_HRESULT_SUCCEEDED(D3D12CreateDevice(nullptr, D3D_FEATURE_LEVEL_11_0,
                                                   __uuidof(ID3D12Device),
                                                   reinterpret_cast<void**>(&device)));
        D3D12_COMMAND_QUEUE_DESC queueDesc{};
        queueDesc.Type = D3D12_COMMAND_LIST_TYPE_DIRECT;
        ASSERT_HRESULT_SUCCEEDED(device->CreateCommandQueue(
            &queueDesc, __uuidof(ID3D12CommandQueue), reinterpret_cast<void**>(&queue)));
        window = CreateWindowA("STATIC", "swap chain test", WS_OVERLAPPEDWINDOW, 0, 0, 200, 200,
                               nullptr, nullptr, nullptr, nullptr);
        ASSERT_NE(window, nullptr);
    }

    void TearDown() override {
        if (window != nullptr) {
            DestroyWindow(window);
        }
        for (IUnknown* object : {static_cast<IUnknown*>(queue), static_cast<IUnknown*>(device),
                                 static_cast<IUnknown*>(factory)}) {
            if (object != nullptr) {
                object->Release();
            }
        }
    }

    HRESULT makeSwapChain(IDXGISwapChain1** swapChain) {
        DXGI_SWAP_CHAIN_DESC1 desc{};
        desc.Width = 200;
        desc.Height = 200;
        desc.Format = DXGI_FORMAT_R8G8B8A8_UNORM;
        desc.SampleDesc.Count = 1;
        desc.BufferUsage = DXGI_USAGE_RENDER_TARGET_OUTPUT;
        desc.BufferCount = 2;
        desc.SwapEffect = DXGI_SWAP_EFFECT_FLIP_DISCARD;
        return factory->CreateSwapChainForHwnd(queue, window, &desc, nullptr, nullptr, swapChain);
    }

    IDXGIFactory4* factory = nullptr;
    ID3D12Device* device = nullptr;
    ID3D12CommandQueue* queue = nullptr;
    HWND window = nullptr;
};

// Windows refuses a second flip-model swap chain for a window; Wine makes it
// and breaks the first.
TEST_F(DxgiProxy, RefusesASecondSwapChainForAWindowWhileTheFirstLives) {
    IDXGISwapChain1* first = nullptr;
    ASSERT_HRESULT_SUCCEEDED(makeSwapChain(&first));
    IDXGISwapChain1* second = nullptr;
    EXPECT_EQ(makeSwapChain(&second), E_ACCESSDENIED);
    EXPECT_EQ(second, nullptr);
    first->Release();
    IDXGISwapChain1* third = nullptr;
    ASSERT_HRESULT_SUCCEEDED(makeSwapChain(&third));
    third->Release();
}

} // namespace
