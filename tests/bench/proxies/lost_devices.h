/* What Windows does with a device once it was lost, which Wine's Direct3D 12
 * never does (it loses no device): the loss stays. Once a loss was delivered
 * for a device (a call failed on request with a loss code), every later
 * checked call of the program on that device or on what it made fails with
 * the same code, a fence reads UINT64_MAX, and no device can be made on its
 * adapter until every reference to it is gone (device_per_adapter.h).
 *
 * The mark lives on the device itself, as private data, so that both proxies
 * see it: the dxgi.dll proxy delivers Present's losses, the d3d12.dll proxy
 * the others and makes the devices. */
#pragma once

#include <windows.h>

/* Whether the result says the device is gone: removed, hung, reset, or the
 * driver's internal error. */
BOOL isLossCode(HRESULT result);

/* The device behind object (a device, an object a device made, or a swap
 * chain on a device's queue), with a reference; null for anything else. */
IUnknown* deviceBehind(IUnknown* object);

/* Marks the device behind object as lost with reason. */
void noteLossDelivered(IUnknown* object, HRESULT reason);

/* Whether the device behind object was lost; then *reason says how. */
BOOL deviceWasLost(IUnknown* object, HRESULT* reason);
