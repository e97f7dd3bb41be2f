#include "vr/vr_session.h"

#include "renderer/renderer.h"
#include "window/window.h"

#include <windows.h>

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

VrSessionStart openVrSession() {
    VrSessionStart session;
    session.entry = loadVrLibrary(session.libraryFailure);
    if (session.entry != nullptr) {
        session.start = startVrRuntime(*session.entry, vrInterfaceCache());
    }
    return session;
}

void closeVrSession(const VrSessionStart& session) {
    if (session.open()) {
        session.entry->shutdownInternal();
    }
}

std::string vrSessionFailure(const VrSessionStart& session) {
    return session.entry == nullptr ? session.libraryFailure
                                    : describe(*session.entry, session.start.error);
}

VrSessionOpening::VrSessionOpening() {
    std::promise<VrSessionStart> opened;
    session = opened.get_future();
    const DWORD askingThread = GetCurrentThreadId();
    opening = std::thread([opened = std::move(opened), askingThread]() mutable {
        try {
            opened.set_value(openVrSession());
        } catch (...) {
            opened.set_exception(std::current_exception());
        }
        PostThreadMessageA(askingThread, WM_NULL, 0, 0);
    });
}

// NOTE: a session that nobody takes any more (the window was closed while it
// opened, at start or after a lost device) is waited for a few seconds and
// closed if it opens by then; an opening still under way after that, a
// runtime that is stuck or slow to start, is left to run on and ends with
// the process, which ends at once. Waited for without end, it kept a process
// without a window alive for as long as the runtime took.
VrSessionOpening::~VrSessionOpening() {
    if (!taken && session.wait_for(abandonAfter) != std::future_status::ready) {
        opening.detach();
        return;
    }
    opening.join();
    if (!taken) {
        try {
            closeVrSession(session.get());
        } catch (...) {
            // An opening that failed left no session to close.
        }
    }
}

bool VrSessionOpening::finished() const {
    return session.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
}

VrSessionStart VrSessionOpening::take() {
    taken = true;
    return session.get();
}

// Takes over the opened VR session, or says why there is none; the eye
// targets come once the device exists.
void Renderer::startVr(const VrSessionStart& session) {
    if (session.entry == nullptr) {
        reportVrFailure(session.libraryFailure);
        return;
    }
    if (!session.open()) {
        reportVrFailure(vrSessionFailure(session));
        return;
    }
    vrSystem = session.start.system;
    if (std::string(session.start.compositorVersion) != vr::IVRCompositor_Version) {
        std::cout << "The VR runtime offers " << session.start.compositorVersion << ", not "
                  << vr::IVRCompositor_Version << ": using " << session.start.compositorVersion
                  << "." << std::endl;
    }
    vrSystem->GetRecommendedRenderTargetSize(&eyeWidth, &eyeHeight);
    std::cout << "Recommended Render Target Size: " << eyeWidth << " x " << eyeHeight << std::endl;
}

// The identifier (LUID) of the adapter the headset is connected to, as the
// runtime names it for Direct3D 12; nothing without a session.
std::optional<std::uint64_t> Renderer::headsetAdapter() const {
    if (vrSystem == nullptr) {
        return std::nullopt;
    }
    std::uint64_t luid = 0;
    vrSystem->GetOutputDevice(&luid, vr::TextureType_DirectX12, nullptr);
    return luid;
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
