/* Fails chosen calls of the program on request, for tests of its error paths.
 * Shared by the test-only d3d12.dll and dxgi.dll.
 *
 * HT_FAIL_CALL lists the calls to fail, comma-separated, each one of
 *   Name       every call
 *   Name@N     only the Nth call
 *   Name@N+    the Nth call and every later one
 *   Name@frame:N, Name@frame:N+
 *              the same, counting only the calls made after the program's
 *              first successful Present: a failure in the frames that calls
 *              added to start-up do not renumber
 *   Name@N+~MS, Name@frame:N+~MS
 *              the Nth call and every later one for MS milliseconds after
 *              the Nth, then none: a driver that restarts
 * where Name is an export ("D3D12CreateDevice") or a method
 * ("ID3D12CommandQueue::Signal", "IDXGISwapChain::Present") from the proxies'
 * tables. HT_FAIL_HRESULT is the HRESULT a failed call returns, hex (default
 * 80004005); it may be a success code, which the call then returns instead
 * of doing its work. A method that returns a 64-bit value returns a value of
 * more than 8 hex digits whole (FFFFFFFFFFFFFFFF: a removed device's fence).
 *
 * Only calls made from the program's own module count and fail: Wine's
 * Direct3D and DXGI DLLs call the same exports and, through the same
 * vtables, the same methods.
 *
 * A loss code delivered so (removed, hung, reset, the driver's internal
 * error; a fence value of all ones) stays, as on Windows: see lost_devices.h. */
#pragma once

#include <windows.h>

#include <stddef.h>

/* A method by name and vtable slot; returnsValue for one that returns a
 * value (a fence's), not an HRESULT. */
struct MethodSlot {
    const char* name;
    size_t slot;
    BOOL returnsValue;
};

#define ARRAY_COUNT(array) (sizeof(array) / sizeof((array)[0]))

#define METHOD_SLOT(interface, method)                                                             \
    { #interface "::" #method, offsetof(interface##Vtbl, method) / sizeof(void*), FALSE }
#define VALUE_METHOD_SLOT(interface, method)                                                       \
    { #interface "::" #method, offsetof(interface##Vtbl, method) / sizeof(void*), TRUE }

/* Whether the program's call of name made from returnAddress is to fail;
 * then *result is what it returns. Counts the call when it is the program's. */
BOOL failThisCall(const char* name, void* returnAddress, HRESULT* result);

/* Called after each successful Present; the first of the program's starts
 * the frames. */
void markFramesStarted(void* returnAddress);

/* Whether the call that returns to returnAddress came from the program's own
 * module, not from Wine's DLLs or the VR runtime. */
BOOL calledByTheProgram(void* returnAddress);

/* Whether HT_FAIL_CALL asks for any failure at all. */
BOOL anyFailureRequested(void);

/* Puts a counting thunk into the object's vtable for every method of the
 * table, when any failure is asked for: the method fails when asked, and
 * after a loss delivered for the object's device. A vtable serves every
 * object of its class, so each slot is patched once per process. */
void patchMethods(void* object, const struct MethodSlot* methods, size_t count);

/* Writes one slot of a table of functions (a vtable, an import table), which
 * may lie in read-only memory. */
void writeFunctionSlot(void** vtable, size_t slot, void* function);

/* A function of the system directory's DLL of this name (e.g. "d3d12.dll"),
 * returned as a data pointer: callers cast it to the export's own type. */
void* systemFunction(const char* module, const char* name);
