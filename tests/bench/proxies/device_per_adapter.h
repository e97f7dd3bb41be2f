/* One Direct3D 12 device per adapter, as Windows keeps it and Wine does not
 * (the remarks of D3D12CreateDevice): while a device made for an adapter
 * (known by its LUID) is alive, making one for that adapter returns it with
 * a reference added; once a loss was delivered for it (lost_devices.h),
 * making one, or asking whether one could be made, fails with
 * DXGI_ERROR_DEVICE_REMOVED until every reference to it is gone. A device's
 * life is watched through the API (life_watch.h), so a reference that the
 * program or the VR runtime keeps shows as it would on Windows.
 *
 * HT_DEVICE_TRACE, when it names a file, gets a line for each device made
 * ("made"), made again by returning the live one ("returned"), refused under
 * this rule ("refused") or on request (HT_FAIL_CALL: "failed"), and gone
 * ("gone"): the keyword, the time, the adapter's LUID in hex and its
 * description (refused and failed: the result instead). */
#pragma once

#include <windows.h>

#include <d3d12.h>

/* An adapter as the program names it: null for the system's default one. */
struct AdapterIdentity {
    LUID luid;
    char description[128]; /* UTF-8 */
};

/* Which adapter D3D12CreateDevice is asked for; FALSE when it cannot be told. */
BOOL identifyAdapter(IUnknown* adapter, struct AdapterIdentity* identity);

/* Answers D3D12CreateDevice from the live device on the adapter, if there is
 * one: TRUE with *result set, or FALSE when a device is to be made. */
BOOL answerFromLiveDevice(const struct AdapterIdentity* identity, REFIID iid, void** device,
                          HRESULT* result);

/* Records a device just made on the adapter, and watches its life. */
void adoptNewDevice(const struct AdapterIdentity* identity, IUnknown* device);

/* Traces a creation failed on request, as a driver that restarts fails it. */
void traceFailedCreation(IUnknown* adapter, HRESULT result);
