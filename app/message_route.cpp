#include "app/message_route.h"

MessageRoute chooseMessageRoute(const ConsoleProbe& probe) {
    if (probe.standardHandlesUsable()) {
        return MessageRoute::StandardStreams;
    }
    return probe.attachToParentConsole() ? MessageRoute::ParentConsole : MessageRoute::NoConsole;
}

// NOTE: the dialog is decided by the error stream alone, where the fatal line
// goes; with the output stream kept and the error stream dropped, the line
// would reach nobody.
bool fatalNeedsDialog(MessageRoute route, bool errorStreamUsable) {
    return route == MessageRoute::NoConsole ||
           (route == MessageRoute::StandardStreams && !errorStreamUsable);
}

namespace {

bool mentions(const std::string& text, const char* part) {
    return text.find(part) != std::string::npos;
}

} // namespace

std::string fatalExplanation(const std::string& fatalLine) {
    if (mentions(fatalLine, "D3D12CreateDevice")) {
        return "Hello Triangle needs a graphics adapter that supports Direct3D 12 at feature level "
               "12_0, and this computer has none that it can use.\n\nUpdate the graphics driver "
               "(from the maker of your graphics card or laptop), or run the program on a "
               "computer with a Direct3D 12 graphics card.";
    }
    if (mentions(fatalLine, "could not create the window")) {
        return "Hello Triangle could not open its window.\n\nClose some other programs or "
               "restart Windows, then start Hello Triangle again.";
    }
    if (mentions(fatalLine, "HRESULT")) {
        return "The graphics system reported an error that Hello Triangle cannot recover "
               "from.\n\nUpdate the graphics driver and start the program again. If it happens "
               "again, pass on the details below.";
    }
    return "Hello Triangle stopped because of an unexpected error.\n\nStart it again; if it "
           "happens again, pass on the details below.";
}
