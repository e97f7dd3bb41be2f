#include "app/app_main.h"

#include "app/console_output.h"
#include "app/main_loop.h"
#include "app/pipe_client.h"
#include "renderer/renderer.h"
#include "vr/vr_session.h"
#include "window/event_queue.h"
#include "window/window.h"

#include <windows.h>

#include <iostream>
#include <optional>
#include <stdexcept>

namespace {

WindowDesc mainWindowDescription() {
    WindowDesc desc;
    desc.name = "MainWindow";
    desc.title = "Hello Triangle";
    desc.visible = true;
    desc.width = 774;
    desc.height = 774;
    return desc;
}

// NOTE: the VR session opens on a thread of its own while this thread keeps
// pumping the window's messages. The client library starts an installed
// runtime that is not running and waits for it, seconds at a time; opened
// here, the visible window would answer nothing meanwhile and show as not
// responding. The events queued meanwhile wait, in order, for the main loop;
// the renderer is built once the session is open, so the device is still
// made on the headset's adapter. Nothing, when the window was closed first.
std::optional<VrSessionStart> openVrSessionWhileAnswering(EventQueue& queue, const Window& window) {
    VrSessionOpening opening;
    for (;;) {
        queue.update();
        if (opening.finished()) {
            return opening.take();
        }
        if (window.nativeHandle() == nullptr) {
            return std::nullopt;
        }
        queue.waitForMessages(VrSessionOpening::waitSlice);
    }
}

// NOTE: at the end of the user's session (log-off, shut-down) the system
// tells the window, and may end the process at any moment once it has: the
// teardown of a close (the VR session shut down, the device released) runs
// inside that message, and the process ends there with exit code 0, which
// closes the pipe as the process's end always does. Left to the system, the
// runtime would never hear of the session's end.
void endWithTheSession(Renderer& renderer, Window& window) {
    renderer.shutDown();
    window.close();
    std::cout.flush();
    std::cerr.flush();
    ExitProcess(0);
}

// The session's end handled for as long as the renderer lives.
class SessionEndHandled {
public:
    SessionEndHandled(EventQueue& queue, Renderer& renderer, Window& window) : queue(queue) {
        queue.setSessionEnd([&renderer, &window] { endWithTheSession(renderer, window); });
    }
    ~SessionEndHandled() { queue.setSessionEnd(nullptr); }
    SessionEndHandled(const SessionEndHandled&) = delete;
    SessionEndHandled& operator=(const SessionEndHandled&) = delete;

private:
    EventQueue& queue;
};

} // namespace

int appMain(int, char**) {
    EventQueue eventQueue;
    Window window;
    const WindowDesc desc = mainWindowDescription();
    if (!window.create(desc, eventQueue)) {
        throw std::runtime_error("could not create the window \"" + desc.title + "\"");
    }
    closeOnConsoleControl(window.nativeHandle());
    const std::optional<VrSessionStart> vrSession = openVrSessionWhileAnswering(eventQueue, window);
    if (!vrSession || window.nativeHandle() == nullptr) {
        // Closed before the session was open: there is nothing to draw into.
        if (vrSession) {
            closeVrSession(*vrSession);
        }
        return 0;
    }
    Renderer renderer(window, *vrSession);
    const SessionEndHandled sessionEnd(eventQueue, renderer, window);
    startPipeClient();
    runMainLoop(eventQueue, window, renderer);
    return 0;
}
