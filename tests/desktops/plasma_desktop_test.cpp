// Plasma against a stand-in of its shell on the test's own session bus
// (plasma-standin): it keeps the scripts it is sent and answers as told.
// No script runs here; what they say is read from them.
#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QThread>
#include <QUrl>

#include <cstdlib>
#include <fstream>
#include <regex>

#include "platform/desktops/linux_desktop.h"
#include "platform/desktops/plasma_desktop.h"
#include "res/resource.h"
#include "tests/desktops/session_tools.h"
#include "tests/support/temp_dir.h"

namespace qm::desktops {
namespace {

bool ShellOnBus() {
    return QDBusConnection::sessionBus().interface()->isServiceRegistered(
        QStringLiteral("org.kde.plasmashell"));
}

bool WaitFor(bool onBus) {
    for (int i = 0; i < 100; ++i) {
        if (ShellOnBus() == onBus) {
            return true;
        }
        QThread::msleep(50);
    }
    return false;
}

class Plasma : public ::testing::Test {
protected:
    void SetUp() override {
        const char* standin = std::getenv("QM_PLASMA_STANDIN");
        ASSERT_NE(standin, nullptr) << "QM_PLASMA_STANDIN names the stand-in program";
        shell_.setProcessChannelMode(QProcess::ForwardedChannels);
        shell_.start(QString::fromLocal8Bit(standin), {QString::fromStdString(dir_.str())});
        ASSERT_TRUE(shell_.waitForStarted());
        ASSERT_TRUE(WaitFor(true));
    }
    void TearDown() override { Stop(); }
    void Stop() {
        shell_.terminate();
        shell_.waitForFinished(5000);
        WaitFor(false);
    }
    std::string Script(int n) const {
        return test::ReadFile(dir_.file("script-" + std::to_string(n) + ".js"));
    }
    void Answer(const std::string& name, const std::string& text) const { dir_.write(name, text); }

    test::TempDir dir_;
    QProcess shell_;
    PlasmaDesktop desktop_;
};

// The value of `var NAME = VALUE;` in a script, as JSON reads it.
QJsonValue Var(const std::string& script, const std::string& name) {
    std::smatch m;
    if (!std::regex_search(script, m, std::regex("var " + name + " = (.*);\n"))) {
        return QJsonValue::Undefined;
    }
    const auto doc = QJsonDocument::fromJson(QByteArray::fromStdString("[" + m[1].str() + "]"));
    return doc.isArray() ? doc.array().at(0) : QJsonValue::Undefined;
}

TEST_F(Plasma, OneScriptPerChangeNamesThePictureAndFillMode) {
    // Quotes, a backslash and "%2" must not break the script nor its text.
    const std::string path = "/tmp/it's \"a\" \\ %2 picture \xC3\xA9.bmp";
    const struct {
        Layout layout;
        int fillMode;
    } cases[] = {{Layout::Centred, 6}, {Layout::Tiled, 3}, {Layout::Stretched, 0},
                 {Layout::Filled, 2}, {Layout::Fitted, 1}};
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fillMode);
        std::string why;
        ASSERT_TRUE(test::ApplyAndWait(desktop_, path, c.layout, why)) << why;
        const std::string script = Script(++n);
        const QJsonValue image = Var(script, "image");
        ASSERT_TRUE(image.isString()) << script;
        EXPECT_EQ(QUrl(image.toString()).toLocalFile().toStdString(), path);
        EXPECT_TRUE(image.toString().startsWith(QStringLiteral("file:///")));
        EXPECT_EQ(Var(script, "fillMode"), QJsonValue(c.fillMode)) << script;
    }
    EXPECT_EQ(Script(n + 1), "");

    // A picture per screen: none for every screen, each screen's own by its place.
    std::optional<bool> shown;
    desktop_.ApplyEach({{"DP-1", 0, 0, 1920, 1080, path}, {"HDMI-1", 1920, 0, 1280, 1024, "/tmp/b.bmp"}},
                       Layout::Fitted, [&](bool taken, const std::string&) { shown = taken; });
    ASSERT_TRUE(test::WaitUntil([&] { return shown.has_value(); }));
    const std::string script = Script(n + 1);
    EXPECT_TRUE(Var(script, "image").isNull()) << script;
    const QJsonArray screens = Var(script, "screens").toArray();
    ASSERT_EQ(screens.size(), 2) << script;
    EXPECT_EQ(QUrl(screens[0][QStringLiteral("image")].toString()).toLocalFile().toStdString(), path);
    EXPECT_EQ(screens[1].toObject(), (QJsonObject{{"x", 1920}, {"y", 0}, {"width", 1280}, {"height", 1024},
                                                  {"image", "file:///tmp/b.bmp"}}));
    EXPECT_EQ(Var(script, "fillMode"), QJsonValue(1));
    EXPECT_EQ(desktop_.CurrentPicture(), path);
}

// Plasma tells no one of a new wallpaper: what it shows is read once, at
// start, and is then what we had it show.
TEST_F(Plasma, ReadsWhatTheShellPrintsAtStart) {
    const auto readAtStart = [&](const std::string& printed) {
        Answer("reply", printed);
        auto desktop = std::make_unique<PlasmaDesktop>();
        test::WaitUntil([&] { return desktop->CurrentLayout().has_value(); }, 2000);
        return std::make_pair(desktop->CurrentPicture(), desktop->CurrentLayout());
    };
    EXPECT_EQ(readAtStart("{\"image\":\"file:///home/u/a%20b.png\",\"fillMode\":3}\n"),
              std::make_pair(std::optional<std::string>("/home/u/a b.png"),
                             std::optional<Layout>(Layout::Tiled)));
    EXPECT_EQ(readAtStart("{\"image\":\"/usr/share/wallpapers/x.png\",\"fillMode\":0}"),
              std::make_pair(std::optional<std::string>("/usr/share/wallpapers/x.png"),
                             std::optional<Layout>(Layout::Stretched)));
    EXPECT_EQ(readAtStart("{\"image\":\"\",\"fillMode\":2}"),
              std::make_pair(std::optional<std::string>(), std::optional<Layout>(Layout::Filled)));
    EXPECT_EQ(readAtStart("{\"image\":\"/a.png\",\"fillMode\":1}"),
              std::make_pair(std::optional<std::string>("/a.png"), std::optional<Layout>(Layout::Fitted)));
    EXPECT_EQ(readAtStart("{\"image\":\"/a.png\",\"fillMode\":6}"),
              std::make_pair(std::optional<std::string>("/a.png"), std::optional<Layout>(Layout::Centred)));
    // A desktop that shows no picture prints nothing.
    EXPECT_EQ(readAtStart(""), std::make_pair(std::optional<std::string>(), std::optional<Layout>()));
}

// A refusing shell is reported once, with Plasma's words, until a change
// goes through again; nothing claims the refused picture is shown.
TEST_F(Plasma, ARefusalIsToldOnceAndNeverClaimedShown) {
    test::TempDir data;
    std::vector<std::pair<unsigned, std::string>> notices;
    LinuxDesktop adapter(std::make_unique<PlasmaDesktop>(), data.path(),
                         [&](unsigned id, const std::string& why) { notices.emplace_back(id, why); });
    const std::string picture = data.write("picture.bmp", "BM");
    char buf[260];

    // Every answer of the shell's: each script it logged has been answered
    // once the shell has logged `scripts` of them and the loop ran on.
    int scripts = 1;  // the adapter's desktop read what it shows at start
    const auto answered = [&](int more) {
        scripts += more;
        EXPECT_TRUE(test::WaitUntil([&] { return !Script(scripts).empty(); }));
        test::WaitUntil([] { return false; }, 300);
    };

    Answer("refuse", "Widgets are locked");
    adapter.SetDesktopWallpaper(picture.c_str());
    adapter.SetDesktopWallpaper(picture.c_str());
    answered(2);
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_EQ(notices[0].first, unsigned{IDS_WALLPAPER_NOT_SHOWN});
    EXPECT_NE(notices[0].second.find("Widgets are locked"), std::string::npos) << notices[0].second;
    EXPECT_FALSE(adapter.OpenDesktopKey()->Query("Wallpaper", buf, sizeof buf));

    std::remove(dir_.file("refuse").c_str());
    adapter.SetDesktopWallpaper(picture.c_str());
    answered(1);
    EXPECT_EQ(notices.size(), 1u);

    Stop();  // no shell at all
    adapter.SetDesktopWallpaper(picture.c_str());
    EXPECT_TRUE(test::WaitUntil([&] { return notices.size() == 2; }));
    ASSERT_EQ(notices.size(), 2u);
    EXPECT_NE(notices[1].second.find("org.kde.plasmashell"), std::string::npos) << notices[1].second;
}

}  // namespace
}  // namespace qm::desktops
