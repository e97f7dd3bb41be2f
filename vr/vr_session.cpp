#include "renderer/renderer.h"
#include "vr/vr_library.h"

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
    createEyeTextures();
}

void Renderer::stopVr() {
    std::string reason;
    if (const VrEntryPoints* entry = loadVrLibrary(reason)) {
        entry->shutdownInternal();
    }
    vrSystem = nullptr;
}
