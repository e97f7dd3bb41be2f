#include "renderer/adapter_choice.h"

#include <gtest/gtest.h>

namespace {

const std::vector<bool> secondAndThirdUsable = {false, true, true};

TEST(AdapterChoice, WithoutVrTheFirstUsableAdapterIsTakenSilently) {
    const AdapterChoice choice = chooseAdapterIndex(secondAndThirdUsable, std::nullopt);
    EXPECT_EQ(choice.index, 1u);
    EXPECT_EQ(choice.notice, "");
}

TEST(AdapterChoice, TheHeadsetsAdapterIsTakenEvenWhenAnEarlierOneIsUsable) {
    const AdapterChoice choice = chooseAdapterIndex(secondAndThirdUsable, 2);
    EXPECT_EQ(choice.index, 2u);
    EXPECT_EQ(choice.notice, "");
}

TEST(AdapterChoice, AHeadsetIndexThatNamesNoUsableAdapterFallsBackAndSaysWhich) {
    for (const std::int32_t named : {0, 3, 1000}) {
        const AdapterChoice choice = chooseAdapterIndex(secondAndThirdUsable, named);
        EXPECT_EQ(choice.index, 1u) << named;
        EXPECT_NE(choice.notice.find("(index " + std::to_string(named) + ")"), std::string::npos)
            << choice.notice;
        EXPECT_NE(choice.notice.find("using the first hardware adapter"), std::string::npos);
    }
}

TEST(AdapterChoice, ARuntimeThatNamesNoAdapterFallsBackWithItsOwnNotice) {
    const AdapterChoice choice = chooseAdapterIndex(secondAndThirdUsable, -1);
    EXPECT_EQ(choice.index, 1u);
    EXPECT_EQ(choice.notice.rfind("The VR runtime names no graphics adapter", 0), 0u)
        << choice.notice;
}

TEST(AdapterChoice, WithNoUsableAdapterTheSystemChooses) {
    EXPECT_EQ(chooseAdapterIndex({false, false}, std::nullopt).index, std::nullopt);
    EXPECT_EQ(chooseAdapterIndex({}, 0).index, std::nullopt);
}

} // namespace
