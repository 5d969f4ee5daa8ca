// LXQt and LXDE: the real desktop programs (pcmanfm-qt --desktop, pcmanfm
// --desktop) on the test's own Xvfb display, their window's pixels read
// back with ImageMagick; and programs that fail or hang in their place.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <QImage>
#include <QProcess>

#include <cstdint>
#include <functional>

#include "platform/desktops/pcmanfm_desktop.h"
#include "tests/desktops/session_tools.h"
#include "tests/support/temp_dir.h"

namespace qm::desktops {
namespace {

// 40x30 in four colours, on a 320x240 screen (pcmanfm-qt 1.2 ends with a
// floating-point exception on 160x120).
std::uint32_t Quadrant(int x, int y) {
    static const std::uint32_t colours[4] = {0xd02020, 0x20a040, 0x2040d0, 0xe0c020};
    return colours[(x < 20 ? 0 : 1) + (y < 15 ? 0 : 2)];
}

class Pcmanfm : public ::testing::TestWithParam<const char*> {
protected:
    void SetUp() override {
        desktop_.setProcessChannelMode(QProcess::ForwardedChannels);
        desktop_.start(QString::fromLatin1(GetParam()), {QStringLiteral("--desktop")});
        ASSERT_TRUE(desktop_.waitForStarted());
        // Its desktop window covers the root once it is mapped.
        ASSERT_TRUE(test::WaitUntil([] {
            return test::RunProgram({"xwininfo", "-root", "-tree"}).find("pcmanfm") !=
                   std::string::npos;
        })) << GetParam() << " made no window";
    }
    void TearDown() override {
        desktop_.terminate();
        if (!desktop_.waitForFinished(5000)) {
            desktop_.kill();
            desktop_.waitForFinished(5000);
        }
    }
    QImage Screen() const {
        const std::string file = dir_.file("screen.png");
        int status = -1;
        test::RunProgram({"import", "-window", "root", file}, &status);
        return status == 0 ? QImage(QString::fromStdString(file)) : QImage();
    }

    test::TempDir dir_;
    QProcess desktop_;
};

TEST_P(Pcmanfm, ShowsEachLayout) {
    const std::string picture = dir_.write("picture one.bmp", test::Bmp(40, 30, Quadrant));
    PcmanfmDesktop desktop(GetParam());
    const struct {
        Layout layout;
        std::function<std::uint32_t(int, int)> expected;
        std::vector<std::pair<int, int>> places;
    } cases[] = {
        {Layout::Centred, [](int x, int y) { return Quadrant(x - 140, y - 105); },
         {{140, 105}, {159, 119}, {160, 120}, {179, 134}}},
        {Layout::Tiled, [](int x, int y) { return Quadrant(x % 40, y % 30); },
         {{0, 0}, {39, 29}, {45, 20}, {300, 230}, {319, 239}}},
        {Layout::Stretched, [](int x, int y) { return Quadrant(x / 8, y / 8); },
         {{8, 8}, {311, 8}, {8, 231}, {311, 231}, {100, 50}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.layout));
        std::string why;
        ASSERT_TRUE(test::ApplyAndWait(desktop, picture, c.layout, why)) << why;
        EXPECT_EQ(desktop.CurrentPicture(), picture);
        EXPECT_EQ(desktop.CurrentLayout(), c.layout);
        QImage screen;
        const auto shows = [&] {
            screen = Screen();
            if (screen.size() != QSize(320, 240)) {
                return false;
            }
            for (auto [x, y] : c.places) {
                if ((screen.pixel(x, y) & 0xffffffu) != c.expected(x, y)) {
                    return false;
                }
            }
            return true;
        };
        EXPECT_TRUE(test::WaitUntil(shows, 5000));
        ASSERT_EQ(screen.size(), QSize(320, 240));
        for (auto [x, y] : c.places) {
            EXPECT_EQ(screen.pixel(x, y) & 0xffffffu, c.expected(x, y)) << x << "," << y;
        }
    }
    // The desktop showed it, not a second copy the setting started.
    EXPECT_EQ(desktop_.state(), QProcess::Running);
}

INSTANTIATE_TEST_SUITE_P(Desktops, Pcmanfm,
                         ::testing::Values(PcmanfmDesktop::kLxqt, PcmanfmDesktop::kLxde));

// The program's command line, and its failure, a missing program and one
// that never ends as refusals that keep the picture last taken.
TEST(PcmanfmRefusals, CommandLineExitStatusAndTime) {
    test::TempDir dir;
    const std::string log = dir.file("args");
    const auto script = [&](const std::string& name, const std::string& body) {
        const std::string path = dir.write(name, "#!/bin/sh\n" + body + "\n");
        chmod(path.c_str(), 0755);
        return path;
    };
    std::string why;

    PcmanfmDesktop taking(script("takes", "printf '%s|' \"$@\" >'" + log + "'"));
    ASSERT_TRUE(test::ApplyAndWait(taking, "/p/it's a.bmp", Layout::Stretched, why)) << why;
    EXPECT_EQ(test::ReadFile(log), "--set-wallpaper|/p/it's a.bmp|--wallpaper-mode|stretch|");

    PcmanfmDesktop failing(script("fails", "echo 'no desktop here'; exit 3"));
    EXPECT_FALSE(test::ApplyAndWait(failing, "/p/a.bmp", Layout::Centred, why));
    EXPECT_NE(why.find("exit status 3"), std::string::npos) << why;
    EXPECT_NE(why.find("no desktop here"), std::string::npos) << why;
    EXPECT_EQ(failing.CurrentPicture(), std::nullopt);

    PcmanfmDesktop missing(dir.file("no-such-program"));
    EXPECT_FALSE(test::ApplyAndWait(missing, "/p/a.bmp", Layout::Centred, why));
    EXPECT_NE(why.find("no-such-program"), std::string::npos) << why;

    PcmanfmDesktop hanging(script("hangs", "exec sleep 30"), 300);
    EXPECT_FALSE(test::ApplyAndWait(hanging, "/p/a.bmp", Layout::Tiled, why));
    EXPECT_NE(why.find("did not finish"), std::string::npos) << why;
}

}  // namespace
}  // namespace qm::desktops
