#pragma once

#include "vr/vr_library.h"

#include <chrono>
#include <future>
#include <string>
#include <thread>

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

// Why a session is not open, in the runtime's words where it has them.
std::string vrSessionFailure(const VrSessionStart& session);

// Opens the VR session on a thread of its own, so that the thread that asked
// goes on answering its window meanwhile: the client library waits for a
// runtime that is starting, seconds at a time. That thread gets a WM_NULL
// message when the opening has finished, so a wait for its messages ends.
class VrSessionOpening {
public:
    // How long the asking thread need wait for its messages at a time; the
    // opening's own message ends the wait sooner.
    static constexpr std::chrono::seconds waitSlice{1};
    // How long the end of an opening is waited for when nobody takes it.
    static constexpr std::chrono::seconds abandonAfter{2};

    VrSessionOpening();
    // Closes a session nobody took, once it is open; an opening that is
    // still under way after abandonAfter is left to run on (see the source).
    ~VrSessionOpening();
    VrSessionOpening(const VrSessionOpening&) = delete;
    VrSessionOpening& operator=(const VrSessionOpening&) = delete;

    bool finished() const;

    // The session, or why there is none, once finished; the caller owns it.
    VrSessionStart take();

private:
    std::future<VrSessionStart> session;
    std::thread opening;
    bool taken = false;
};
