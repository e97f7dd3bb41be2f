#pragma once

#include "vr/vr_runtime.h"

#include <string>

// Loads the VR client library (openvr_api.dll) once per process, from the
// program's own folder first, then the system's folders (never the working
// directory), and resolves its six entry points. Null, with the reason, when the library or an
// entry point is missing: the program then runs without VR.
const VrEntryPoints* loadVrLibrary(std::string& reason);

// The process-wide interface cache of the runtime connection.
VrInterfaceCache& vrInterfaceCache();
