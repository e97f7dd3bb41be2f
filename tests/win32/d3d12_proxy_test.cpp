#include <windows.h>

#include <d3d12.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <vector>

namespace {

using CreateDeviceFn = HRESULT(WINAPI*)(IUnknown*, D3D_FEATURE_LEVEL, REFIID, void**);

// The proxy is loaded by path, so these tests never depend on the DLL search
// order; its location comes from the test's environment.
class D3D12Proxy : public ::testing::Test {
protected:
    void SetUp() override {
        const char* path = std::getenv("HT_D3D12_PROXY");
        if (path == nullptr) {
            GTEST_SKIP() << "HT_D3D12_PROXY does not name the test-only d3d12.dll";
        }
        module = LoadLibraryA(path);
        ASSERT_NE(module, nullptr) << "cannot load " << path;
        createDevice = reinterpret_cast<CreateDeviceFn>(
            reinterpret_cast<void*>(GetProcAddress(module, "D3D12CreateDevice")));
        ASSERT_NE(createDevice, nullptr);
    }

    void TearDown() override {
        SetEnvironmentVariableA("HT_FAIL_CALL", nullptr);
        SetEnvironmentVariableA("HT_FAIL_HRESULT", nullptr);
    }

    ID3D12Device* makeDevice() {
        ID3D12Device* device = nullptr;
        EXPECT_HRESULT_SUCCEEDED(tryToMakeDevice(&device));
        return device;
    }

    HRESULT tryToMakeDevice(ID3D12Device** device) {
        return createDevice(nullptr, D3D_FEATURE_LEVEL_12_0, __uuidof(ID3D12Device),
                            reinterpret_cast<void**>(device));
    }

    HRESULT askWhetherADeviceCouldBeMade() {
        return createDevice(nullptr, D3D_FEATURE_LEVEL_12_0, __uuidof(ID3D12Device), nullptr);
    }

    HMODULE module = nullptr;
    CreateDeviceFn createDevice = nullptr;
};

TEST_F(D3D12Proxy, CreatesADeviceWhenFeatureLevel12IsAskedFor) {
    ID3D12Device* device = makeDevice();
    ASSERT_NE(device, nullptr);
    EXPECT_HRESULT_SUCCEEDED(
        createDevice(nullptr, D3D_FEATURE_LEVEL_12_0, __uuidof(ID3D12Device), nullptr));
    device->Release();
}

TEST_F(D3D12Proxy, FailsDeviceCreationWithTheRequestedResult) {
    SetEnvironmentVariableA("HT_FAIL_CALL", "D3D12CreateDevice");
    SetEnvironmentVariableA("HT_FAIL_HRESULT", "887A0004");
    ID3D12Device* device = nullptr;
    EXPECT_EQ(createDevice(nullptr, D3D_FEATURE_LEVEL_12_0, __uuidof(ID3D12Device),
                           reinterpret_cast<void**>(&device)),
              static_cast<HRESULT>(0x887A0004));
    EXPECT_EQ(device, nullptr);
}

TEST_F(D3D12Proxy, FailsANamedDeviceMethodUntilADeviceIsMadeWithoutTheRequest) {
    D3D12_COMMAND_QUEUE_DESC queueDesc{};
    queueDesc.Type = D3D12_COMMAND_LIST_TYPE_DIRECT;

    SetEnvironmentVariableA("HT_FAIL_CALL", "ID3D12Device::CreateCommandQueue");
    ID3D12Device* failing = makeDevice();
    ASSERT_NE(failing, nullptr);
    ID3D12CommandQueue* queue = nullptr;
    EXPECT_EQ(failing->CreateCommandQueue(&queueDesc, __uuidof(ID3D12CommandQueue),
                                          reinterpret_cast<void**>(&queue)),
              E_FAIL);
    ID3D12CommandAllocator* allocator = nullptr;
    EXPECT_HRESULT_SUCCEEDED(failing->CreateCommandAllocator(D3D12_COMMAND_LIST_TYPE_DIRECT,
                                                             __uuidof(ID3D12CommandAllocator),
                                                             reinterpret_cast<void**>(&allocator)));
    allocator->Release();
    failing->Release();

    SetEnvironmentVariableA("HT_FAIL_CALL", nullptr);
    ID3D12Device* healthy = makeDevice();
    ASSERT_NE(healthy, nullptr);
    EXPECT_HRESULT_SUCCEEDED(healthy->CreateCommandQueue(&queueDesc, __uuidof(ID3D12CommandQueue),
                                                         reinterpret_cast<void**>(&queue)));
    queue->Release();
    healthy->Release();
}

TEST_F(D3D12Proxy, FailsOnlyTheNthCallOrTheNthAndEveryLaterOne) {
    const auto allocatorResults = [this](const char* failure) {
        SetEnvironmentVariableA("HT_FAIL_CALL", failure);
        ID3D12Device* device = makeDevice();
        std::vector<HRESULT> results;
        for (int call = 0; call < 3; ++call) {
            ID3D12CommandAllocator* allocator = nullptr;
            results.push_back(device->CreateCommandAllocator(D3D12_COMMAND_LIST_TYPE_DIRECT,
                                                             __uuidof(ID3D12CommandAllocator),
                                                             reinterpret_cast<void**>(&allocator)));
            if (allocator != nullptr) {
                allocator->Release();
            }
        }
        device->Release();
        return results;
    };
    EXPECT_EQ(allocatorResults("ID3D12Device::CreateCommandAllocator@2"),
              (std::vector<HRESULT>{S_OK, E_FAIL, S_OK}));
    EXPECT_EQ(allocatorResults("ID3D12Device::CreateCommandAllocator@2+"),
              (std::vector<HRESULT>{S_OK, E_FAIL, E_FAIL}));
}

TEST_F(D3D12Proxy, FailsMethodsOfTheObjectsADeviceMakes) {
    SetEnvironmentVariableA("HT_FAIL_CALL", "ID3D12GraphicsCommandList::Close@2");
    ID3D12Device* device = makeDevice();
    ID3D12CommandAllocator* allocator = nullptr;
    ASSERT_HRESULT_SUCCEEDED(device->CreateCommandAllocator(D3D12_COMMAND_LIST_TYPE_DIRECT,
                                                            __uuidof(ID3D12CommandAllocator),
                                                            reinterpret_cast<void**>(&allocator)));
    ID3D12GraphicsCommandList* list = nullptr;
    ASSERT_HRESULT_SUCCEEDED(device->CreateCommandList(0, D3D12_COMMAND_LIST_TYPE_DIRECT, allocator,
                                                       nullptr, __uuidof(ID3D12GraphicsCommandList),
                                                       reinterpret_cast<void**>(&list)));
    EXPECT_HRESULT_SUCCEEDED(list->Close());
    EXPECT_HRESULT_SUCCEEDED(list->Reset(allocator, nullptr));
    EXPECT_EQ(list->Close(), E_FAIL);
    list->Release();
    allocator->Release();
    device->Release();
}

// Windows keeps one device per adapter; a bench that made a new one at every
// call would let a reference that outlives a lost device pass unseen.
TEST_F(D3D12Proxy, MakesOneDevicePerAdapterAndReturnsItWhileItLives) {
    ID3D12Device* first = makeDevice();
    ID3D12Device* second = makeDevice();
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(second, first);
    second->Release();
    first->Release();
}

TEST_F(D3D12Proxy, ALossStaysAndNoDeviceIsMadeUntilTheLastReferenceToTheLostOneIsGone) {
    SetEnvironmentVariableA("HT_FAIL_CALL", "ID3D12CommandQueue::Signal@1");
    SetEnvironmentVariableA("HT_FAIL_HRESULT", "887A0006"); // hung
    ID3D12Device* device = makeDevice();
    ASSERT_NE(device, nullptr);
    D3D12_COMMAND_QUEUE_DESC queueDesc{};
    queueDesc.Type = D3D12_COMMAND_LIST_TYPE_DIRECT;
    ID3D12CommandQueue* queue = nullptr;
    ID3D12Fence* fence = nullptr;
    ASSERT_HRESULT_SUCCEEDED(device->CreateCommandQueue(&queueDesc, __uuidof(ID3D12CommandQueue),
                                                        reinterpret_cast<void**>(&queue)));
    ASSERT_HRESULT_SUCCEEDED(device->CreateFence(0, D3D12_FENCE_FLAG_NONE, __uuidof(ID3D12Fence),
                                                 reinterpret_cast<void**>(&fence)));
    const HRESULT hung = static_cast<HRESULT>(0x887A0006);
    EXPECT_EQ(queue->Signal(fence, 1), hung); // delivered on request
    EXPECT_EQ(queue->Signal(fence, 2), hung); // and kept, as a lost device keeps it
    EXPECT_EQ(fence->GetCompletedValue(), UINT64_MAX);
    ID3D12Device* another = nullptr;
    EXPECT_EQ(tryToMakeDevice(&another), DXGI_ERROR_DEVICE_REMOVED);
    EXPECT_EQ(another, nullptr);
    EXPECT_EQ(askWhetherADeviceCouldBeMade(), DXGI_ERROR_DEVICE_REMOVED);

    queue->Release();
    device->Release();
    EXPECT_EQ(tryToMakeDevice(&another), DXGI_ERROR_DEVICE_REMOVED) << "the fence holds the device";
    fence->Release();
    ID3D12Device* fresh = makeDevice();
    ASSERT_NE(fresh, nullptr);
    ASSERT_HRESULT_SUCCEEDED(fresh->CreateCommandQueue(&queueDesc, __uuidof(ID3D12CommandQueue),
                                                       reinterpret_cast<void**>(&queue)));
    ASSERT_HRESULT_SUCCEEDED(fresh->CreateFence(0, D3D12_FENCE_FLAG_NONE, __uuidof(ID3D12Fence),
                                                reinterpret_cast<void**>(&fence)));
    EXPECT_HRESULT_SUCCEEDED(queue->Signal(fence, 1));
    fence->Release();
    queue->Release();
    fresh->Release();
}

// Windows fires a 10 ms timer of the window manager on its 15.625 ms tick;
// asked to, the proxy makes the program's SetTimer do so under Wine too.
TEST_F(D3D12Proxy, ThePrograms10MillisecondTimerFiresOnWindowsTickWhenAskedTo) {
    SetEnvironmentVariableA("HT_TIMER_TICK_MS", "15.625");
    ID3D12Device* device = makeDevice(); // the proxy applies the tick at its first device
    ASSERT_NE(device, nullptr);
    device->Release();
    const UINT_PTR timer = SetTimer(nullptr, 0, 10, nullptr);
    ASSERT_NE(timer, 0u);
    std::vector<std::chrono::steady_clock::time_point> fired;
    MSG msg{};
    while (fired.size() < 9 && GetMessageA(&msg, nullptr, 0, 0) > 0) {
        if (msg.message == WM_TIMER && msg.wParam == timer) {
            fired.push_back(std::chrono::steady_clock::now());
        }
    }
    KillTimer(nullptr, timer);
    SetEnvironmentVariableA("HT_TIMER_TICK_MS", nullptr);
    // On average: one tick that came late brings the next one closer.
    ASSERT_EQ(fired.size(), 9u);
    EXPECT_GE((fired.back() - fired.front()) / 8, std::chrono::milliseconds(15));
}

} // namespace
