#include "renderer/renderer.h"
#include "vr/vr_library.h"
#include "window/window.h"

#include <iostream>

namespace {

// VR start-up failures are reported, not thrown: the program goes on as a
// desktop renderer.
void reportVrFailure(const std::string& reason) {
    std::cerr << "OpenVR initialization failed: " << reason << std::endl;
}

std::string describe(const VrEntryPoints& entry, vr::EVRInitError error) {
    const char* text = entry.getErrorDescription(error);
    return text != nullptr ? text : "error " + std::to_string(error);
}

} // namespace

// Opens the VR session; the eye targets come once the device exists.
void Renderer::startVr() {
    std::string reason;
    const VrEntryPoints* entry = loadVrLibrary(reason);
    if (entry == nullptr) {
        reportVrFailure(reason);
        return;
    }
    const VrStart start = startVrRuntime(*entry, vrInterfaceCache());
    vrSystem = start.system;
    if (start.error != vr::VRInitError_None) {
        vrSystem = nullptr;
        reportVrFailure(describe(*entry, start.error));
        return;
    }
    vrSystem->GetRecommendedRenderTargetSize(&eyeWidth, &eyeHeight);
    std::cout << "Recommended Render Target Size: " << eyeWidth << " x " << eyeHeight << std::endl;
}

std::optional<std::int32_t> Renderer::headsetAdapter() const {
    if (vrSystem == nullptr) {
        return std::nullopt;
    }
    std::int32_t index = -1;
    vrSystem->GetDXGIOutputInfo(&index);
    return index;
}

// Drains the runtime's events; true when one of them asks the program to quit.
// Every other event is dropped.
bool Renderer::runtimeAskedToQuit() {
    bool quit = false;
    vr::VREvent_t event{};
    while (vrSystem->PollNextEvent(&event, sizeof(event))) {
        quit = quit || event.eventType == vr::VREvent_Quit;
    }
    return quit;
}

// NOTE: the runtime's events are drained every VR frame, and a Quit ends the
// program: a runtime kills a process that does not exit soon after asking it
// to quit. The program tells the runtime it is exiting, submits nothing more,
// and ends as a closed window ends it, so the teardown (and the session's
// shutdown) runs in order and the exit code is 0.
void Renderer::quitVr() {
    vrSystem->AcknowledgeQuit_Exiting();
    vrQuitting = true;
    std::cout << "The VR runtime asked the program to quit." << std::endl;
    if (!window->requestClose()) {
        std::cerr << "The window could not be asked to close; close it to end the program."
                  << std::endl;
    }
}

void Renderer::stopVr() {
    std::string reason;
    if (const VrEntryPoints* entry = loadVrLibrary(reason)) {
        entry->shutdownInternal();
    }
    vrSystem = nullptr;
}
