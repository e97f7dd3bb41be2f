/* How the proxies see an object of Direct3D 12 or DXGI destroyed, through
 * the API alone: a small COM object set on it as a private data interface,
 * which the object lets go of when it is destroyed (Windows and Wine alike). */
#pragma once

#include <windows.h>

/* The watcher: calls gone(context) once, when its last reference goes. The
 * caller sets it on the watched object (SetPrivateDataInterface with
 * lifeWatchGuid) and then releases its own reference. Null when out of memory. */
IUnknown* newLifeWatcher(void (*gone)(void* context), void* context);

extern const GUID lifeWatchGuid;
