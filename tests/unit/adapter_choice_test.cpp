#include "renderer/adapter_choice.h"

#include <gtest/gtest.h>

namespace {

// The first adapter cannot make a device; the second and third can.
const std::vector<AdapterCandidate> secondAndThirdUsable = {
    {false, 0x10}, {true, 0x2000000011}, {true, 0x12}};

TEST(AdapterChoice, WithoutVrTheFirstUsableAdapterIsTakenSilently) {
    const AdapterChoice choice = chooseAdapterIndex(secondAndThirdUsable, std::nullopt);
    EXPECT_EQ(choice.index, 1u);
    EXPECT_EQ(choice.notice, "");
}

TEST(AdapterChoice, TheHeadsetsAdapterIsFoundByItsLuidEvenWhenAnEarlierOneIsUsable) {
    const AdapterChoice choice = chooseAdapterIndex(secondAndThirdUsable, 0x12);
    EXPECT_EQ(choice.index, 2u);
    EXPECT_EQ(choice.notice, "");
    EXPECT_EQ(chooseAdapterIndex(secondAndThirdUsable, 0x2000000011).index, 1u)
        << "the high part counts";
}

TEST(AdapterChoice, ALuidOfNoUsableAdapterFallsBackAndSaysWhich) {
    for (const std::uint64_t named : {0x10ull, 0x11ull, 0x99ull}) {
        const AdapterChoice choice = chooseAdapterIndex(secondAndThirdUsable, named);
        EXPECT_EQ(choice.index, 1u) << named;
        EXPECT_NE(choice.notice.find("(LUID 0x"), std::string::npos) << choice.notice;
        EXPECT_NE(choice.notice.find("using the first hardware adapter"), std::string::npos);
    }
}

TEST(AdapterChoice, ARuntimeThatNamesNoAdapterFallsBackWithItsOwnNotice) {
    const AdapterChoice choice = chooseAdapterIndex(secondAndThirdUsable, 0);
    EXPECT_EQ(choice.index, 1u);
    EXPECT_EQ(choice.notice.rfind("The VR runtime names no graphics adapter", 0), 0u)
        << choice.notice;
}

TEST(AdapterChoice, WithNoUsableAdapterTheSystemChooses) {
    EXPECT_EQ(chooseAdapterIndex({{false, 1}, {false, 2}}, std::nullopt).index, std::nullopt);
    EXPECT_EQ(chooseAdapterIndex({}, 1).index, std::nullopt);
}

} // namespace
