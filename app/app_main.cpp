#include "app/app_main.h"

#include "app/main_loop.h"
#include "app/pipe_client.h"
#include "renderer/renderer.h"
#include "window/event_queue.h"
#include "window/window.h"

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

} // namespace

int appMain(int, char**) {
    EventQueue eventQueue;
    Window window;
    const WindowDesc desc = mainWindowDescription();
    if (!window.create(desc, eventQueue)) {
        throw std::runtime_error("could not create the window \"" + desc.title + "\"");
    }
    Renderer renderer(window);
    startPipeClient();
    runMainLoop(eventQueue, window, renderer);
    return 0;
}
