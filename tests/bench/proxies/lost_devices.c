#define COBJMACROS
#include "lost_devices.h"

#include <initguid.h> /* defines the interface identifiers used here */

#include <d3d12.h>
#include <dxgi1_2.h>

/* {0b4d6f1c-8e3a-4a7e-b5c2-7d19e4a3c6f8}: the device's loss, an HRESULT. */
static const GUID lossMarkGuid = {
    0x0b4d6f1c, 0x8e3a, 0x4a7e, {0xb5, 0xc2, 0x7d, 0x19, 0xe4, 0xa3, 0xc6, 0xf8}};

BOOL isLossCode(HRESULT result) {
    return result == DXGI_ERROR_DEVICE_REMOVED || result == DXGI_ERROR_DEVICE_HUNG ||
           result == DXGI_ERROR_DEVICE_RESET || result == DXGI_ERROR_DRIVER_INTERNAL_ERROR;
}

/* A swap chain of Direct3D 12 names its device: Wine answers a request for
 * the device, Windows one for the command queue it presents on. */
static IUnknown* deviceOfSwapChain(IDXGIDeviceSubObject* swapChain) {
    IUnknown* device = NULL;
    IUnknown* queue = NULL;
    if (SUCCEEDED(IDXGIDeviceSubObject_GetDevice(swapChain, &IID_ID3D12Device, (void**)&device))) {
        return device;
    }
    if (SUCCEEDED(
            IDXGIDeviceSubObject_GetDevice(swapChain, &IID_ID3D12CommandQueue, (void**)&queue))) {
        device = deviceBehind(queue);
        IUnknown_Release(queue);
    }
    return device;
}

IUnknown* deviceBehind(IUnknown* object) {
    IUnknown* device = NULL;
    ID3D12DeviceChild* child = NULL;
    IDXGIDeviceSubObject* swapChain = NULL;
    if (object == NULL) {
        return NULL;
    }
    if (SUCCEEDED(IUnknown_QueryInterface(object, &IID_ID3D12Device, (void**)&device))) {
        return device;
    }
    if (SUCCEEDED(IUnknown_QueryInterface(object, &IID_ID3D12DeviceChild, (void**)&child))) {
        ID3D12DeviceChild_GetDevice(child, &IID_ID3D12Device, (void**)&device);
        ID3D12DeviceChild_Release(child);
        return device;
    }
    if (SUCCEEDED(IUnknown_QueryInterface(object, &IID_IDXGIDeviceSubObject, (void**)&swapChain))) {
        device = deviceOfSwapChain(swapChain);
        IDXGIDeviceSubObject_Release(swapChain);
    }
    return device;
}

void noteLossDelivered(IUnknown* object, HRESULT reason) {
    ID3D12Device* device = (ID3D12Device*)deviceBehind(object);
    if (device != NULL) {
        ID3D12Device_SetPrivateData(device, &lossMarkGuid, sizeof(reason), &reason);
        ID3D12Device_Release(device);
    }
}

BOOL deviceWasLost(IUnknown* object, HRESULT* reason) {
    ID3D12Device* device = (ID3D12Device*)deviceBehind(object);
    UINT size = sizeof(*reason);
    BOOL lost;
    if (device == NULL) {
        return FALSE;
    }
    lost = SUCCEEDED(ID3D12Device_GetPrivateData(device, &lossMarkGuid, &size, reason)) &&
           size == sizeof(*reason);
    ID3D12Device_Release(device);
    return lost;
}
