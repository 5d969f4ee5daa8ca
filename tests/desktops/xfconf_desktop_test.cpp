// XFCE against the real xfconfd of the test's own session bus. The test makes
// the backdrop properties xfdesktop makes at start (two monitors, two
// workspaces) and reads them back with `xfconf-query`.
#include <gtest/gtest.h>

#include <csignal>
#include <optional>

#include <QDBusConnection>
#include <QTimer>

#include "platform/desktops/xfconf_desktop.h"
#include "tests/desktops/session_tools.h"

namespace qm::desktops {
namespace {

using test::RunProgram;

const QString kXfconf = QStringLiteral("org.xfce.Xfconf");
const QString kXfconfPath = QStringLiteral("/org/xfce/Xfconf");

const char* const kWorkspaces[] = {
    "/backdrop/screen0/monitorHDMI-1/workspace0/", "/backdrop/screen0/monitorHDMI-1/workspace1/",
    "/backdrop/screen0/monitorscreen/workspace0/", "/backdrop/screen0/monitorscreen/workspace1/"};

std::string Query(const std::string& property) {
    return RunProgram({"xfconf-query", "-c", "xfce4-desktop", "-p", property});
}

void Make(const std::string& property, const char* type, const std::string& value) {
    int status = 0;
    RunProgram({"xfconf-query", "-c", "xfce4-desktop", "-p", property, "-n", "-t", type, "-s", value},
        &status);
    ASSERT_EQ(status, 0) << property;
}

class Xfconf : public ::testing::Test {
protected:
    void SetUp() override {
        RunProgram({"xfconf-query", "-c", "xfce4-desktop", "-p", "/backdrop", "-r", "-R"});
        // xfconfd tells of a change when it is next idle, after the replies
        // to calls that came meanwhile. A desktop made before the reset took
        // the test before's backdrops from its first read, and heard of
        // their removal only after the test had looked. So the desktop is
        // made once a change of our own made after the reset has been heard
        // back: every signal sent before it has arrived by then.
        static int settled = 0;
        QTimer heard;
        heard.setSingleShot(true);
        heard.setInterval(3600 * 1000);
        QDBusConnection bus = QDBusConnection::sessionBus();
        ASSERT_TRUE(bus.connect(kXfconf, kXfconfPath, kXfconf, QStringLiteral("PropertyChanged"),
                                {QStringLiteral("qm-test-settle")}, QString(), &heard,
                                SLOT(start())));
        RunProgram({"xfconf-query", "-c", "qm-test-settle", "-p", "/n", "-n", "-t", "int", "-s",
                    std::to_string(++settled)});
        EXPECT_TRUE(test::WaitUntil([&] { return heard.isActive(); }));
        bus.disconnect(kXfconf, kXfconfPath, kXfconf, QStringLiteral("PropertyChanged"),
                       {QStringLiteral("qm-test-settle")}, QString(), &heard, SLOT(start()));
        desktop_.emplace();
    }
    void MakeBackdrops() {
        for (const char* w : kWorkspaces) {
            Make(std::string(w) + "last-image", "string", "/usr/share/backgrounds/xfce/default.svg");
            Make(std::string(w) + "image-style", "int", "5");
            Make(std::string(w) + "color-style", "int", "0");
        }
        Make("/backdrop/single-workspace-mode", "bool", "true");
    }
    std::optional<XfconfDesktop> desktop_;
};

TEST_F(Xfconf, EveryMonitorAndWorkspaceShowsThePictureInEachLayout) {
    MakeBackdrops();
    const std::string path = "/tmp/a picture \xC3\xA9.bmp";
    for (const auto& [layout, style] :
         {std::pair{Layout::Tiled, "2"}, {Layout::Stretched, "3"}, {Layout::Filled, "5"},
          {Layout::Fitted, "4"}, {Layout::Spanned, "6"}, {Layout::Centred, "1"}}) {
        SCOPED_TRACE(style);
        std::string why;
        ASSERT_TRUE(test::ApplyAndWait(*desktop_, path, layout, why)) << why;
        for (const char* w : kWorkspaces) {
            EXPECT_EQ(Query(std::string(w) + "last-image"), path) << w;
            EXPECT_EQ(Query(std::string(w) + "image-style"), style) << w;
            EXPECT_EQ(Query(std::string(w) + "color-style"), "0") << w;
        }
        EXPECT_EQ(desktop_->CurrentPicture(), path);
        EXPECT_EQ(desktop_->CurrentLayout(), layout == Layout::Spanned ? Layout::Centred : layout);
    }
    EXPECT_EQ(Query("/backdrop/single-workspace-mode"), "true");

    // A picture per monitor: each monitor's workspaces take its own, and a
    // monitor xfdesktop has not drawn yet gets its first workspace made.
    std::optional<bool> shown;
    desktop_->ApplyEach({{"screen", 0, 0, 320, 240, "/tmp/left.bmp"},
                         {"HDMI-1", 320, 0, 160, 120, "/tmp/right.bmp"},
                         {"DP-2", 0, 240, 320, 240, "/tmp/below.bmp"}},
                        Layout::Fitted, [&](bool taken, const std::string&) { shown = taken; });
    ASSERT_TRUE(test::WaitUntil([&] { return shown.has_value(); }));
    EXPECT_TRUE(*shown);
    for (const char* w : kWorkspaces) {
        const bool hdmi = std::string(w).find("HDMI-1") != std::string::npos;
        EXPECT_EQ(Query(std::string(w) + "last-image"), hdmi ? "/tmp/right.bmp" : "/tmp/left.bmp") << w;
        EXPECT_EQ(Query(std::string(w) + "image-style"), "4") << w;
    }
    EXPECT_EQ(Query("/backdrop/screen0/monitorDP-2/workspace0/last-image"), "/tmp/below.bmp");
}

// A hung xfconfd stops nothing: the picture is handed over at once, lands
// when the service runs again, and is then no refusal.
TEST_F(Xfconf, AStoppedServiceTakesThePictureLateWithoutARefusal) {
    MakeBackdrops();
    ASSERT_TRUE(test::WaitUntil([&] {
        return desktop_->CurrentPicture() == "/usr/share/backgrounds/xfce/default.svg";
    }));
    const pid_t pid = test::ServicePid("org.xfce.Xfconf");
    ASSERT_GT(pid, 0);
    ASSERT_EQ(kill(pid, SIGSTOP), 0);
    std::optional<bool> shown;
    desktop_->Apply("/tmp/late.bmp", Layout::Tiled, [&](bool ok, const std::string&) { shown = ok; });
    EXPECT_FALSE(test::WaitUntil([&] { return shown.has_value(); }, 1500));
    // Not claimed before xfconfd has it.
    EXPECT_EQ(desktop_->CurrentPicture(), "/usr/share/backgrounds/xfce/default.svg");
    ASSERT_EQ(kill(pid, SIGCONT), 0);
    ASSERT_TRUE(test::WaitUntil([&] { return shown.has_value(); }));
    EXPECT_TRUE(*shown);
    EXPECT_EQ(desktop_->CurrentPicture(), "/tmp/late.bmp");
    for (const char* w : kWorkspaces) {
        EXPECT_EQ(Query(std::string(w) + "last-image"), "/tmp/late.bmp") << w;
    }
}

TEST_F(Xfconf, ReadsWhatXfdesktopShows) {
    MakeBackdrops();
    // The first backdrop in name order stands for the desktop.
    RunProgram({"xfconf-query", "-c", "xfce4-desktop", "-p", std::string(kWorkspaces[0]) + "last-image",
         "-s", "/home/u/other.png"});
    RunProgram({"xfconf-query", "-c", "xfce4-desktop", "-p", std::string(kWorkspaces[0]) + "image-style",
         "-s", "2"});
    // Known from xfconfd's signals, without asking.
    EXPECT_TRUE(test::WaitUntil([&] {
        return desktop_->CurrentPicture() == "/home/u/other.png" &&
               desktop_->CurrentLayout() == Layout::Tiled;
    }));
}

TEST_F(Xfconf, WithoutXfdesktopsBackdropsNothingIsClaimed) {
    std::string why;
    EXPECT_FALSE(test::ApplyAndWait(*desktop_, "/tmp/a.bmp", Layout::Tiled, why));
    EXPECT_FALSE(why.empty());
    EXPECT_EQ(desktop_->CurrentPicture(), std::nullopt);
    EXPECT_EQ(desktop_->CurrentLayout(), std::nullopt);
    EXPECT_EQ(RunProgram({"xfconf-query", "-c", "xfce4-desktop", "-l"}), "");
}

}  // namespace
}  // namespace qm::desktops
