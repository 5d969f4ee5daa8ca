// LXQt and LXDE: the real desktop programs (pcmanfm-qt --desktop, pcmanfm
// --desktop) on the test's own Xvfb display, their window's pixels read
// back with ImageMagick; and programs that fail or hang in their place.
#include <gtest/gtest.h>

#include <csignal>
#include <fstream>
#include <sstream>
#include <string>

#include <sys/stat.h>

#include <QImage>
#include <QProcess>


#include "platform/desktops/pcmanfm_desktop.h"
#include "tests/desktops/session_tools.h"
#include "tests/support/temp_dir.h"

namespace qm::desktops {
namespace {

class Pcmanfm : public ::testing::TestWithParam<const char*> {
protected:
    void SetUp() override {
        desktop_.setProcessChannelMode(QProcess::ForwardedChannels);
        desktop_.start(QString::fromLatin1(GetParam()), {QStringLiteral("--desktop")});
        ASSERT_TRUE(desktop_.waitForStarted());
        // Wait for the window of its class that covers the screen: Qt names
        // a small selection window after the program before the program
        // has taken its bus name, and a setter started in that moment takes
        // the name instead and sends this copy away.
        const std::string klass = std::string("(\"") + GetParam() + "\" ";
        ASSERT_TRUE(test::WaitUntil([&] {
            std::istringstream tree(test::RunProgram({"xwininfo", "-root", "-tree"}));
            for (std::string line; std::getline(tree, line);) {
                if (line.find(klass) != std::string::npos &&
                    line.find(" 320x240+0+0 ") != std::string::npos) {
                    return true;
                }
            }
            return false;
        })) << GetParam() << " made no desktop window";
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
    PcmanfmDesktop desktop(GetParam());
    // LXDE's spans a picture made for the whole screen over it.
    EXPECT_EQ(desktop.Spans(), std::string(GetParam()) == PcmanfmDesktop::kLxde);
    for (const Layout layout : {Layout::Centred, Layout::Tiled, Layout::Stretched, Layout::Filled,
                                Layout::Fitted, Layout::Spanned}) {
        SCOPED_TRACE(static_cast<int>(layout));
        if (layout == Layout::Spanned && !desktop.Spans()) {
            continue;
        }
        // pcmanfm-qt 1.2 (Debian 12) lists `zoom` in its --help but keeps
        // the mode it had when handed it (centred stays centred, fitted
        // fitted); its word is checked on the command line below.
        if (layout == Layout::Filled && std::string(GetParam()) == PcmanfmDesktop::kLxqt) {
            continue;
        }
        // A new name each time: the desktop may keep a picture it knows.
        const std::string picture = dir_.write("picture " + std::to_string(static_cast<int>(layout)) +
                                                   ".bmp",
                                               test::PictureFor(layout));
        std::string why;
        ASSERT_TRUE(test::ApplyAndWait(desktop, picture, layout, why)) << why;
        EXPECT_EQ(desktop.CurrentPicture(), picture);
        EXPECT_EQ(desktop.CurrentLayout(), layout == Layout::Spanned ? Layout::Centred : layout);
        // The desktop draws a moment after it took the picture.
        std::string wrong;
        const auto shown = [&] {
            wrong = test::WrongPixels(Screen(), layout);
            return wrong.empty();
        };
        test::WaitUntil(shown, 5000);
        EXPECT_EQ(wrong, "");
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
    // Each program's own word for a filled picture; fitted is "fit" for both.
    const std::string logArgs = "printf '%s|' \"$@\" >'" + log + "'";
    for (const auto& [program, fill] : {std::pair{script("pcmanfm-qt", logArgs), "zoom"},
                                         std::pair{script("pcmanfm", logArgs), "crop"}}) {
        PcmanfmDesktop named(program);
        ASSERT_TRUE(test::ApplyAndWait(named, "/p/a.bmp", Layout::Filled, why)) << why;
        EXPECT_EQ(test::ReadFile(log), std::string("--set-wallpaper|/p/a.bmp|--wallpaper-mode|") + fill + "|");
        ASSERT_TRUE(test::ApplyAndWait(named, "/p/a.bmp", Layout::Fitted, why)) << why;
        EXPECT_EQ(test::ReadFile(log), "--set-wallpaper|/p/a.bmp|--wallpaper-mode|fit|");
    }

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

// The peak resident memory since the last reset (VmHWM), in kB.
long PeakKilobytes() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0) {
            return std::stol(line.substr(6));
        }
    }
    return -1;
}

bool Alive(pid_t pid) {
    // A killed orphan may stay a zombie until its new parent reaps it.
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string all;
    std::getline(stat, all);
    const std::size_t close = all.rfind(')');
    return close != std::string::npos && close + 2 < all.size() && all[close + 2] != 'Z';
}

// A program that writes without end, or leaves children behind: what it
// says is held to its last words, a box's worth, and a run past its time
// is ended with everything it started.
TEST(PcmanfmRefusals, OutputIsBoundedAndATimeoutEndsItsChildrenToo) {
    test::TempDir dir;
    const auto script = [&](const std::string& name, const std::string& body) {
        const std::string path = dir.write(name, "#!/bin/sh\n" + body + "\n");
        chmod(path.c_str(), 0755);
        return path;
    };
    std::string why;
    // 30 MB of output (time enough for it however busy the machine), then
    // the failure's own words.
    PcmanfmDesktop chatty(
        script("chatty", "head -c 30000000 /dev/zero; echo; echo 'it went wrong'; exit 4"), 120000);
    std::ofstream("/proc/self/clear_refs") << "5";  // the peak starts again from here
    const long before = PeakKilobytes();
    EXPECT_FALSE(test::ApplyAndWait(chatty, "/p/a.bmp", Layout::Centred, why));
#ifndef __SANITIZE_ADDRESS__  // its quarantine keeps what was freed resident
    EXPECT_LT(PeakKilobytes() - before, 8 * 1024) << "held the program's output";
#else
    (void)before;
#endif
    EXPECT_NE(why.find("exit status 4"), std::string::npos) << why.size();
    EXPECT_NE(why.find("it went wrong"), std::string::npos) << why.size();
    EXPECT_LT(why.size(), 400u);

    const std::string pidFile = dir.file("child.pid");
    PcmanfmDesktop parent(script("parent", "sleep 300 & echo $! >'" + pidFile + "'; exec sleep 30"), 1000);
    EXPECT_FALSE(test::ApplyAndWait(parent, "/p/a.bmp", Layout::Tiled, why));
    EXPECT_NE(why.find("did not finish"), std::string::npos) << why;
    pid_t child = 0;
    std::ifstream(pidFile) >> child;
    ASSERT_GT(child, 0);
    EXPECT_TRUE(test::WaitUntil([&] { return !Alive(child); }, 5000)) << "its child lives on";
    if (Alive(child)) {
        ::kill(child, SIGKILL);
    }
}

}  // namespace
}  // namespace qm::desktops
