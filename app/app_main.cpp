#include "app/app_main.h"

#include "app/console_output.h"
#include "app/main_loop.h"
#include "app/pipe_client.h"
#include "renderer/renderer.h"
#include "vr/vr_session.h"
#include "window/event_queue.h"
#include "window/window.h"

#include <windows.h>

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
// made on the headset's adapter.
VrSessionStart openVrSessionWhileAnswering(EventQueue& queue) {
    VrSessionOpening opening;
    for (;;) {
        queue.update();
        if (opening.finished()) {
            return opening.take();
        }
        queue.waitForMessages(VrSessionOpening::waitSlice);
    }
}

} // namespace

int appMain(int, char**) {
    EventQueue eventQueue;
    Window window;
    const WindowDesc desc = mainWindowDescription();
    if (!window.create(desc, eventQueue)) {
        throw std::runtime_error("could not create the window \"" + desc.title + "\"");
    }
    closeOnConsoleControl(window.nativeHandle());
    const VrSessionStart vrSession = openVrSessionWhileAnswering(eventQueue);
    if (window.nativeHandle() == nullptr) {
        // Closed before the session was open: there is nothing to draw into.
        closeVrSession(vrSession);
        return 0;
    }
    Renderer renderer(window, vrSession);
    startPipeClient();
    runMainLoop(eventQueue, window, renderer);
    return 0;
}
