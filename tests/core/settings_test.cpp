#include <gtest/gtest.h>

#include "frame/main_frame.h"
#include "platform/headless/headless_platform.h"
#include "tests/support/settings_numbers.h"

namespace qm {
namespace {

using Binary = HeadlessPlatform::Binary;

TEST(Settings, EmptyProfileGivesDefaultsAndStoresAllElevenWithTypes) {
    ScopedHeadless h;
    h.platform.currentDirectory = "/start/here";
    CMainFrame frame;

    EXPECT_EQ(frame.Directory, "/start/here");
    EXPECT_EQ(test::NumbersOf(frame), test::kDefaultNumbers);

    const auto& config = h.platform.profile["Config"];
    ASSERT_EQ(config.size(), 11u);
    EXPECT_EQ(frame.Subfolders, 0);
    EXPECT_EQ(frame.EachMonitor, 0);
    for (const char* n : {"AutoChange", "Display", "Height", "Width", "Random", "Stretch", "Time",
                          "When", "Subfolders", "EachMonitor"}) {
        EXPECT_TRUE(std::holds_alternative<std::uint32_t>(config.at(n))) << n;
    }
    EXPECT_EQ(std::get<std::string>(config.at("Directory")), "/start/here");
    EXPECT_EQ(h.platform.profileWrites,
              (std::vector<std::string>{"AutoChange", "Stretch", "Display", "Height", "Width",
                                        "When", "Random", "Time", "Directory", "Subfolders",
                                        "EachMonitor"}));
}

TEST(Settings, StoredValuesWinAndLaterStartsKeepTheFirstFolder) {
    ScopedHeadless h;
    auto& config = h.platform.profile["Config"];
    config["Time"] = std::uint32_t{5};
    config["When"] = std::uint32_t{5};  // any nonzero unit means hours; kept as is
    config["Width"] = static_cast<std::uint32_t>(-7);  // out of range, used unchanged
    config["Directory"] = std::string("C:\\Pics");
    h.platform.currentDirectory = "/elsewhere";

    CMainFrame frame;
    EXPECT_EQ(frame.Time, 5);
    EXPECT_EQ(frame.When, 5);
    EXPECT_EQ(frame.Width, -7);
    EXPECT_EQ(frame.Height, 301);
    EXPECT_EQ(frame.Directory, "C:\\Pics");
}

TEST(Settings, ValuesOfTheWrongTypeCountAsMissing) {
    ScopedHeadless h;
    auto& config = h.platform.profile["Config"];
    config["Time"] = std::string("30");
    config["Display"] = Binary{{1, 0, 0, 0}};
    config["Directory"] = std::uint32_t{12};
    config["Random"] = Binary{};
    h.platform.currentDirectory = "/cwd";

    CMainFrame frame;
    EXPECT_EQ(frame.Time, 20);
    EXPECT_EQ(frame.Display, 2);
    EXPECT_EQ(frame.Random, 0);
    EXPECT_EQ(frame.Directory, "/cwd");
    // The constructor's save repairs the types.
    EXPECT_EQ(std::get<std::uint32_t>(config.at("Time")), 20u);
    EXPECT_EQ(std::get<std::string>(config.at("Directory")), "/cwd");
}

TEST(Settings, SavedRecordLoadsBackExactly) {
    ScopedHeadless h;
    CMainFrame first;
    first.Directory = "D:\\Wall papers\\\xC4\xE9";
    first.AutoChange = 0;
    first.Display = 1;
    first.Height = 2000;
    first.Width = 1;
    first.Random = 1;
    first.Stretch = 0;
    first.Time = 120;
    first.When = -1;
    first.SaveSettings();

    CMainFrame second;
    EXPECT_EQ(second.Directory, first.Directory);
    EXPECT_EQ(test::NumbersOf(second), (test::Numbers{0, 1, 2000, 1, 1, 0, 120, -1}));
}

}  // namespace
}  // namespace qm
