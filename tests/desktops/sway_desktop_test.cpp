// sway: the real compositor on its headless backend (run-in-sway.sh), its
// output read back with grim; and a stand-in of its IPC socket for what a
// running sway rarely does: refuse, or say nothing.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <QElapsedTimer>
#include <QImage>
#include <QLocalServer>
#include <QLocalSocket>
#include <QTimer>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <optional>

#include "platform/desktops/sway_desktop.h"
#include "tests/desktops/session_tools.h"
#include "tests/support/temp_dir.h"

namespace qm::desktops {
namespace {

QImage Screenshot(const std::string& file) {
    int status = -1;
    test::RunProgram({"grim", file}, &status);
    return status == 0 ? QImage(QString::fromStdString(file)) : QImage();
}

TEST(Sway, ShowsEachLayoutWordForWordOfTheName) {
    const char* socket = std::getenv("SWAYSOCK");
    ASSERT_NE(socket, nullptr) << "the test needs its own sway (run-in-sway.sh)";
    test::TempDir dir;
    chmod(dir.str().c_str(), 0755);  // sway's user reads the picture
    // Every character either reader of the command would take for its own:
    // a name expanded in any way names no file, and sway shows nothing.
    const std::string name =
        "it's \"a\" $HOME ~ `echo` ;, *?[x] {a,b} \\ \\$ two  spaces\ttab $(echo) \xC3\xA9.bmp";
    SwayDesktop sway(socket);

    for (const Layout layout : {Layout::Centred, Layout::Tiled, Layout::Stretched, Layout::Filled,
                                Layout::Fitted}) {
        SCOPED_TRACE(static_cast<int>(layout));
        const std::string picture = dir.write(name, test::PictureFor(layout));
        std::string why;
        ASSERT_TRUE(test::ApplyAndWait(sway, picture, layout, why)) << why;
        EXPECT_EQ(sway.CurrentPicture(), picture);
        EXPECT_EQ(sway.CurrentLayout(), layout);
        // swaybg draws a moment after sway took the command.
        std::string wrong;
        const auto shown = [&] {
            wrong = test::WrongPixels(Screenshot(dir.file("shot.png")), layout);
            return wrong.empty();
        };
        test::WaitUntil(shown, 5000);
        EXPECT_EQ(wrong, "");
    }
}

// A picture per output, each output named as sway knows it, in one command.
TEST(Sway, EachOutputShowsItsOwnPicture) {
    const char* socket = std::getenv("SWAYSOCK");
    ASSERT_NE(socket, nullptr) << "the test needs its own sway (run-in-sway.sh)";
    test::TempDir dir;
    chmod(dir.str().c_str(), 0755);
    int status = -1;
    test::RunProgram({"swaymsg", "create_output"}, &status);
    ASSERT_EQ(status, 0);
    test::RunProgram({"swaymsg", "output HEADLESS-2 resolution 160x120 position 320 0"}, &status);
    ASSERT_EQ(status, 0);
    const std::string red = dir.write("red.bmp", test::Bmp(8, 8, [](int, int) { return 0xff0000u; }));
    const std::string blue = dir.write("blue.bmp", test::Bmp(8, 8, [](int, int) { return 0x0000ffu; }));
    SwayDesktop sway(socket);
    std::optional<bool> shown;
    std::string why;
    sway.ApplyEach({{"HEADLESS-1", 0, 0, 320, 240, red}, {"HEADLESS-2", 320, 0, 160, 120, blue}},
                   Layout::Stretched, [&](bool taken, const std::string& w) {
                       shown = taken;
                       why = w;
                   });
    ASSERT_TRUE(test::WaitUntil([&] { return shown.has_value(); }));
    ASSERT_TRUE(*shown) << why;
    EXPECT_EQ(sway.CurrentPicture(), red);
    const auto middle = [&](const char* output) {
        test::RunProgram({"grim", "-o", output, dir.file("shot.png")}, &status);
        const QImage shot(QString::fromStdString(dir.file("shot.png")));
        return status != 0 || shot.isNull() ? 0u : shot.pixel(shot.width() / 2, shot.height() / 2) & 0xffffffu;
    };
    EXPECT_TRUE(test::WaitUntil(
        [&] { return middle("HEADLESS-1") == 0xff0000u && middle("HEADLESS-2") == 0x0000ffu; }, 5000))
        << std::hex << middle("HEADLESS-1") << " " << middle("HEADLESS-2");
}

// A stand-in socket that keeps what it is sent and answers as told.
class SwayStandIn : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(server_.listen(QString::fromStdString(dir_.file("ipc.sock"))));
        QObject::connect(&server_, &QLocalServer::newConnection, [this] {
            QLocalSocket* client = server_.nextPendingConnection();
            QObject::connect(client, &QLocalSocket::readyRead, [this, client] {
                received_ += client->readAll();
                if (received_.size() >= 14 && !reply_.isNull()) {
                    QByteArray message("i3-ipc");
                    const auto length = declared_.value_or(static_cast<std::uint32_t>(reply_.size()));
                    message.append(reinterpret_cast<const char*>(&length), 4);
                    message.append(reinterpret_cast<const char*>(&type_), 4);
                    client->write(message + reply_);
                    // Then, when told, more without end.
                    if (stream_) {
                        auto* more = new QTimer(client);
                        QObject::connect(more, &QTimer::timeout, client,
                                         [client] { client->write(QByteArray(64 * 1024, 'x')); });
                        more->start(5);
                    }
                }
            });
        });
    }
    std::string Socket() const { return dir_.file("ipc.sock"); }

    test::TempDir dir_;
    QLocalServer server_;
    QByteArray received_;
    QByteArray reply_;  // none: silence
    std::optional<std::uint32_t> declared_;  // the length the reply claims
    std::uint32_t type_ = 0;                 // RUN_COMMAND
    bool stream_ = false;
};

TEST_F(SwayStandIn, OneRunCommandAndSwaysRefusalInItsWords) {
    SwayDesktop sway(Socket());
    reply_ = R"([{"success":true}])";
    std::string why;
    // sway's own words for each layout.
    for (const auto& [layout, word] :
         {std::pair{Layout::Filled, "fill"}, {Layout::Fitted, "fit"}, {Layout::Stretched, "stretch"},
          {Layout::Centred, "center"}}) {
        received_.clear();
        ASSERT_TRUE(test::ApplyAndWait(sway, "/p/a.bmp", layout, why)) << why;
        EXPECT_EQ(received_.mid(14).toStdString(), std::string("output * bg \"/p/a.bmp\" ") + word);
    }
    received_.clear();
    ASSERT_TRUE(test::ApplyAndWait(sway, "/p/a.bmp", Layout::Tiled, why)) << why;
    const std::string command = "output * bg \"/p/a.bmp\" tile";
    ASSERT_EQ(received_.size(), 14 + static_cast<qsizetype>(command.size()));
    std::uint32_t length = 0, type = 1;
    std::memcpy(&length, received_.constData() + 6, 4);
    std::memcpy(&type, received_.constData() + 10, 4);
    EXPECT_EQ(received_.left(6), "i3-ipc");
    EXPECT_EQ(length, command.size());
    EXPECT_EQ(type, 0u);
    EXPECT_EQ(received_.mid(14).toStdString(), command);

    reply_ = R"([{"success":false,"parse_error":true,"error":"Missing background file"}])";
    EXPECT_FALSE(test::ApplyAndWait(sway, "/p/b.bmp", Layout::Stretched, why));
    EXPECT_NE(why.find("Missing background file"), std::string::npos) << why;
    // Never claimed shown: what sway last took.
    EXPECT_EQ(sway.CurrentPicture(), "/p/a.bmp");
    EXPECT_EQ(sway.CurrentLayout(), Layout::Tiled);

    // A name sway would take and not show is refused before it is sent.
    const QByteArray sent = received_;
    EXPECT_FALSE(test::ApplyAndWait(sway, "/p/line\nbreak.bmp", Layout::Centred, why));
    EXPECT_NE(why.find("line break"), std::string::npos) << why;
    EXPECT_EQ(received_, sent);
}

TEST_F(SwayStandIn, SilenceAndNoSocketAreRefusals) {
    SwayDesktop silent(Socket(), 300);
    std::string why;
    EXPECT_FALSE(test::ApplyAndWait(silent, "/p/a.bmp", Layout::Centred, why));
    EXPECT_NE(why.find("did not answer"), std::string::npos) << why;
    EXPECT_EQ(silent.CurrentPicture(), std::nullopt);

    SwayDesktop gone(dir_.file("no.sock"));
    EXPECT_FALSE(test::ApplyAndWait(gone, "/p/a.bmp", Layout::Centred, why));
    EXPECT_NE(why.find("no.sock"), std::string::npos) << why;
}

// Replies sway never gives: one that claims 4 GB and streams on, which is
// refused as soon as its header is read (not at the time limit, with all
// of it held), and one of another message type. The desktop's words in a
// refusal stay short enough for a box.
TEST_F(SwayStandIn, RepliesSwayNeverGivesAreRefusedAtOnce) {
    struct Case {
        const char* name;
        QByteArray reply;
        std::optional<std::uint32_t> declared;
        std::uint32_t type;
        bool stream;
        const char* why;
    };
    const Case cases[] = {
        {"a huge declared length", QByteArray(1000, 'x'), 0xFFFFFFF0u, 0, true, "4294967280 bytes"},
        {"an event, not the answer", R"([{"success":true}])", std::nullopt, 0x80000000u, false,
         "type 2147483648"},
        {"a long error", R"([{"success":false,"error":")" + QByteArray(5000, 'e') + R"("}])",
         std::nullopt, 0, false, "sway: eee"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        reply_ = c.reply;
        declared_ = c.declared;
        type_ = c.type;
        stream_ = c.stream;
        SwayDesktop sway(Socket(), 5000);
        QElapsedTimer took;
        took.start();
        std::string why;
        EXPECT_FALSE(test::ApplyAndWait(sway, "/p/a.bmp", Layout::Centred, why));
        EXPECT_LT(took.elapsed(), 2000) << why;
        EXPECT_NE(why.find(c.why), std::string::npos) << why;
        EXPECT_LT(why.size(), 400u);
        EXPECT_EQ(sway.CurrentPicture(), std::nullopt);
    }
}

}  // namespace
}  // namespace qm::desktops
