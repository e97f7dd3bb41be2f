#include "app/message_route.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// A system whose answers are given, recording which questions were asked.
struct ScriptedConsole {
    bool handlesUsable = false;
    bool attaches = false;
    std::vector<std::string> asked;

    ConsoleProbe probe() {
        return ConsoleProbe{[this] {
                                asked.push_back("handles");
                                return handlesUsable;
                            },
                            [this] {
                                asked.push_back("attach");
                                return attaches;
                            }};
    }
};

TEST(MessageRoute, RedirectedStreamsAreKeptAndNoConsoleIsAttached) {
    ScriptedConsole console{true, true, {}};
    EXPECT_EQ(chooseMessageRoute(console.probe()), MessageRoute::StandardStreams);
    EXPECT_EQ(console.asked, std::vector<std::string>{"handles"});
}

TEST(MessageRoute, WithoutStreamsTheStartingConsoleIsUsed) {
    ScriptedConsole console{false, true, {}};
    EXPECT_EQ(chooseMessageRoute(console.probe()), MessageRoute::ParentConsole);
    EXPECT_EQ(console.asked, (std::vector<std::string>{"handles", "attach"}));
}

TEST(MessageRoute, WithoutStreamsOrConsoleOnlyTheDebuggerAndDialogsRemain) {
    ScriptedConsole console{false, false, {}};
    EXPECT_EQ(chooseMessageRoute(console.probe()), MessageRoute::NoConsole);
}

TEST(MessageRoute, AFatalLineNeedsADialogWhereverTheErrorStreamGoesNowhere) {
    EXPECT_TRUE(fatalNeedsDialog(MessageRoute::NoConsole, false));
    EXPECT_TRUE(fatalNeedsDialog(MessageRoute::StandardStreams, false)) << "output kept alone";
    EXPECT_FALSE(fatalNeedsDialog(MessageRoute::StandardStreams, true)) << "error kept alone";
    EXPECT_FALSE(fatalNeedsDialog(MessageRoute::ParentConsole, false))
        << "the attached console's error stream";
}

TEST(FatalExplanation, NamesTheCommonFirstRunFailuresInPlainWords) {
    const std::string adapter = fatalExplanation(
        "fatal: D3D12CreateDevice(adapter, minimumFeatureLevel, IID_PPV_ARGS(&device)) failed "
        "with HRESULT 0x80070057 at renderer/device.cpp:76");
    EXPECT_NE(adapter.find("Direct3D 12 at feature level 12_0"), std::string::npos) << adapter;
    EXPECT_NE(adapter.find("Update the graphics driver"), std::string::npos) << adapter;

    const std::string window =
        fatalExplanation("fatal: could not create the window \"Hello Triangle\"");
    EXPECT_NE(window.find("could not open its window"), std::string::npos) << window;

    const std::string graphics = fatalExplanation(
        "fatal: commandQueue->Signal(fence, value) failed with HRESULT 0x80004005 at "
        "renderer/renderer.cpp:88");
    EXPECT_NE(graphics.find("graphics system reported an error"), std::string::npos);

    EXPECT_NE(fatalExplanation("fatal: bad allocation").find("unexpected error"),
              std::string::npos);
}

} // namespace
