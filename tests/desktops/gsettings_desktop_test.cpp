// GNOME, Cinnamon and MATE against the real dconf service of the test's own
// session bus; the `gsettings` command reads and writes as the desktop would.
#include <gtest/gtest.h>

#include <csignal>
#include <optional>

#include <algorithm>
#include <chrono>
#include <memory>
#include <vector>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>

#include "platform/desktops/gsettings_desktop.h"
#include "platform/desktops/linux_desktop.h"
#include "res/resource.h"
#include "tests/desktops/session_tools.h"
#include "tests/support/temp_dir.h"

namespace qm::desktops {
namespace {

using test::RunProgram;

std::string Get(const char* schema, const char* key) {
    return RunProgram({"gsettings", "get", schema, key});
}

void Set(const char* schema, const char* key, const std::string& value) {
    int status = 0;
    RunProgram({"gsettings", "set", schema, key, value}, &status);
    ASSERT_EQ(status, 0) << "gsettings set " << schema << " " << key << " " << value;
}

struct Family {
    const char* name;
    const BackgroundKeys* keys;
};

class GSettingsDesktops : public ::testing::TestWithParam<Family> {
protected:
    const BackgroundKeys& keys() const { return *GetParam().keys; }
    // The picture value as gsettings prints it.
    std::string Printed(const std::string& path, const std::string& uri) const {
        return "'" + (keys().pictureIsUri ? uri : path) + "'";
    }
    test::TempDir dir_;
};

TEST_P(GSettingsDesktops, ShowEachLayoutAndReadItBack) {
    GSettingsDesktop desktop(keys());
    // A space and a non-ASCII letter: the URI must escape both.
    const std::string path = dir_.file("a picture \xC3\xA9.bmp");
    const std::string uri = "file://" + dir_.str() + "/a%20picture%20%C3%A9.bmp";
    const struct {
        Layout layout;
        const char* option;
    } cases[] = {{Layout::Tiled, "'wallpaper'"},
                 {Layout::Stretched, "'stretched'"},
                 {Layout::Filled, "'zoom'"},
                 {Layout::Fitted, "'scaled'"},
                 {Layout::Spanned, "'spanned'"},
                 {Layout::Centred, "'centered'"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.option);
        std::string why;
        ASSERT_TRUE(test::ApplyAndWait(desktop, path, c.layout, why)) << why;
        EXPECT_EQ(Get(keys().schema, keys().optionsKey), c.option);
        EXPECT_EQ(Get(keys().schema, keys().pictureKey), Printed(path, uri));
        if (keys().darkPictureKey != nullptr) {
            EXPECT_EQ(Get(keys().schema, keys().darkPictureKey), Printed(path, uri));
        }
        EXPECT_EQ(desktop.CurrentPicture(), path);
        // Spanned is none of the layouts a user picks: it reads as centred.
        EXPECT_EQ(desktop.CurrentLayout(), c.layout == Layout::Spanned ? Layout::Centred : c.layout);
    }
}

TEST_P(GSettingsDesktops, ReadWhatAnotherProgramSet) {
    GSettingsDesktop desktop(keys());
    const std::string other = "/usr/share/backgrounds/other picture.png";
    Set(keys().schema, keys().pictureKey,
        keys().pictureIsUri ? "file:///usr/share/backgrounds/other%20picture.png" : other);
    Set(keys().schema, keys().optionsKey, "wallpaper");
    EXPECT_EQ(desktop.CurrentPicture(), other);
    EXPECT_EQ(desktop.CurrentLayout(), Layout::Tiled);

    // Zoomed and scaled pictures are filled and fitted; the desktop's own
    // layouts that are none of ours count as centred (not tiled).
    Set(keys().schema, keys().optionsKey, "zoom");
    EXPECT_EQ(desktop.CurrentLayout(), Layout::Filled);
    Set(keys().schema, keys().optionsKey, "scaled");
    EXPECT_EQ(desktop.CurrentLayout(), Layout::Fitted);
    Set(keys().schema, keys().optionsKey, "spanned");
    EXPECT_EQ(desktop.CurrentLayout(), Layout::Centred);

    // No picture file.
    Set(keys().schema, keys().pictureKey, keys().pictureIsUri ? "https://example.org/a.png" : "");
    EXPECT_EQ(desktop.CurrentPicture(), std::nullopt);
}

INSTANTIATE_TEST_SUITE_P(Dconf, GSettingsDesktops,
                         ::testing::Values(Family{"Gnome", &GSettingsDesktop::kGnome},
                                           Family{"Cinnamon", &GSettingsDesktop::kCinnamon},
                                           Family{"Mate", &GSettingsDesktop::kMate}),
                         [](const auto& family) { return std::string(family.param.name); });

TEST(GSettingsDesktop, AMissingSchemaIsRefusedNotFatal) {
    GSettingsDesktop desktop({"org.example.NoSuchBackground", "picture-uri", nullptr, true,
                              "picture-options"});
    std::string why;
    EXPECT_FALSE(test::ApplyAndWait(desktop, "/tmp/a.bmp", Layout::Tiled, why));
    EXPECT_NE(why.find("org.example.NoSuchBackground"), std::string::npos) << why;
    EXPECT_EQ(desktop.CurrentPicture(), std::nullopt);
    EXPECT_EQ(desktop.CurrentLayout(), std::nullopt);
}

// Run with GSETTINGS_BACKEND=memory (its own ctest entry): GIO's fallback
// when dconf is missing, whose values no desktop ever sees.
TEST(GSettingsWithoutDconf, IsRefused) {
    const char* backend = std::getenv("GSETTINGS_BACKEND");
    if (backend == nullptr || std::string(backend) != "memory") {
        GTEST_SKIP() << "needs GSETTINGS_BACKEND=memory";
    }
    GSettingsDesktop desktop(GSettingsDesktop::kGnome);
    std::string why;
    EXPECT_FALSE(test::ApplyAndWait(desktop, "/tmp/a.bmp", Layout::Tiled, why));
    EXPECT_NE(why.find("dconf"), std::string::npos) << why;
}

// The whole road on GNOME: the converted wallpaper comes under one path
// every time, yet each change reaches the desktop under a name it did not
// show just before, with the picture of that change; reading back gives the
// name shown, which re-lays out the same picture.
TEST(GSettingsDesktop, ChangesOfOnePathReachGnomeUnderFreshNames) {
    test::TempDir data;
    std::vector<std::pair<unsigned, std::string>> notices;
    LinuxDesktop adapter(std::make_unique<GSettingsDesktop>(GSettingsDesktop::kGnome), data.path(),
                       [&](unsigned id, const std::string& why) { notices.emplace_back(id, why); });
    const std::string wallpaper = data.file("Quillmere Wallpaper.bmp");
    adapter.CreateDesktopKey()->SetString("TileWallpaper", "0");
    adapter.CreateDesktopKey()->SetString("WallpaperStyle", "2");

    std::vector<std::string> shown;
    for (const char* content : {"first picture", "second picture", "third picture"}) {
        // Written beside and renamed over, as the conversion does.
        std::ofstream(wallpaper + ".tmp", std::ios::binary) << content;
        std::filesystem::rename(wallpaper + ".tmp", wallpaper);
        adapter.SetDesktopWallpaper(wallpaper.c_str());
        char buf[260];
        ASSERT_TRUE(adapter.OpenDesktopKey()->Query("Wallpaper", buf, sizeof buf));
        shown.push_back(buf);
        const std::string uri =
            "'file://" + std::regex_replace(shown.back(), std::regex(" "), "%20") + "'";
        EXPECT_TRUE(test::WaitUntil(
            [&] { return Get("org.gnome.desktop.background", "picture-uri") == uri; }));
        EXPECT_EQ(Get("org.gnome.desktop.background", "picture-options"), "'stretched'");
        EXPECT_EQ(test::ReadFile(shown.back()), content);
    }
    EXPECT_NE(shown[0], shown[1]);
    EXPECT_NE(shown[1], shown[2]);
    // Never rewritten: kept as it was shown, until GNOME's answer that it
    // took the third removes it (which may come before or after this).
    if (std::filesystem::exists(shown[1])) {
        EXPECT_EQ(test::ReadFile(shown[1]), "second picture");
    }

    // Tile Current: the desktop's own picture again, tiled.
    adapter.OpenDesktopKey()->SetString("TileWallpaper", "1");
    adapter.SetDesktopWallpaper(shown.back().c_str());
    char buf[260];
    ASSERT_TRUE(adapter.OpenDesktopKey()->Query("Wallpaper", buf, sizeof buf));
    EXPECT_NE(std::string(buf), shown.back());
    EXPECT_EQ(test::ReadFile(buf), "third picture");
    ASSERT_TRUE(adapter.OpenDesktopKey()->Query("TileWallpaper", buf, sizeof buf));
    EXPECT_EQ(std::string(buf), "1");
    EXPECT_TRUE(test::WaitUntil(
        [&] { return Get("org.gnome.desktop.background", "picture-options") == "'wallpaper'"; }));
    test::WaitUntil([] { return false; }, 500);  // any answers still to come
    EXPECT_TRUE(notices.empty());
}

int Threads() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("Threads:", 0) == 0) {
            return std::stoi(line.substr(8));
        }
    }
    return -1;
}

// A hung dconf service stops nothing: the picture is handed over at once,
// reads back at once, lands when the service runs again, and is then no
// refusal. One thread waits for dconf however many writes go to it, and the
// desktop's end does not wait for the hung service.
TEST(GSettingsDesktop, AStoppedServiceTakesThePictureLateWithoutARefusal) {
    auto desktop = std::make_unique<GSettingsDesktop>(GSettingsDesktop::kGnome);
    std::string why;
    ASSERT_TRUE(test::ApplyAndWait(*desktop, "/tmp/first.bmp", Layout::Centred, why)) << why;
    const pid_t pid = test::ServicePid("ca.desrt.dconf");
    ASSERT_GT(pid, 0);
    const int threads = Threads();
    ASSERT_EQ(kill(pid, SIGSTOP), 0);
    std::vector<bool> shown;
    for (int i = 0; i < 40; ++i) {
        desktop->Apply(i < 39 ? "/tmp/early.bmp" : "/tmp/late.bmp", Layout::Tiled,
                       [&](bool ok, const std::string&) { shown.push_back(ok); });
    }
    EXPECT_EQ(desktop->CurrentPicture(), "/tmp/late.bmp");
    EXPECT_EQ(desktop->CurrentLayout(), Layout::Tiled);
    // Those overtaken are answered while dconf still stands: at most the
    // one the thread began to wait for and the newest wait for it, and no
    // thread is added.
    EXPECT_TRUE(test::WaitUntil([&] { return shown.size() >= 38; })) << shown.size();
    EXPECT_LE(Threads(), threads);
    ASSERT_EQ(kill(pid, SIGCONT), 0);
    ASSERT_TRUE(test::WaitUntil([&] { return shown.size() == 40; }));
    EXPECT_EQ(std::count(shown.begin(), shown.end(), true), 40);
    EXPECT_EQ(Get("org.gnome.desktop.background", "picture-uri"), "'file:///tmp/late.bmp'");

    ASSERT_EQ(kill(pid, SIGSTOP), 0);
    desktop->Apply("/tmp/never.bmp", Layout::Tiled, [](bool, const std::string&) {
        ADD_FAILURE() << "answered after the desktop's end";
    });
    test::WaitUntil([] { return false; }, 300);
    const auto ending = std::chrono::steady_clock::now();
    desktop.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - ending, std::chrono::seconds(5));
    ASSERT_EQ(kill(pid, SIGCONT), 0);
    test::WaitUntil([] { return false; }, 300);
}

}  // namespace
}  // namespace qm::desktops
