#pragma once

#include "vr/vr_library.h"

#include <string>

// What opening the VR session came to: the runtime's system interface, or
// why there is none (no usable client library, or the runtime's error).
struct VrSessionStart {
    const VrEntryPoints* entry = nullptr; // null: libraryFailure says why
    std::string libraryFailure;
    VrStart start;

    bool open() const { return entry != nullptr && start.system != nullptr; }
};

// Loads the client library and opens the runtime as a scene application. The
// client library starts an installed runtime that is not running and waits
// for it first, which can take seconds. Any thread may call it, once, while
// no other uses the VR runtime.
VrSessionStart openVrSession();

// Closes a session that no renderer took over.
void closeVrSession(const VrSessionStart& session);
