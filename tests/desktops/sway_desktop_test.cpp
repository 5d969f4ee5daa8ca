// sway: the real compositor on its headless backend (run-in-sway.sh), its
// output read back with grim; and a stand-in of its IPC socket for what a
// running sway rarely does: refuse, or say nothing.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <QImage>
#include <QLocalServer>
#include <QLocalSocket>

#include <cstdint>
#include <cstdlib>
#include <cstring>

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
                    const auto length = static_cast<std::uint32_t>(reply_.size());
                    const std::uint32_t type = 0;
                    message.append(reinterpret_cast<const char*>(&length), 4);
                    message.append(reinterpret_cast<const char*>(&type), 4);
                    client->write(message + reply_);
                }
            });
        });
    }
    std::string Socket() const { return dir_.file("ipc.sock"); }

    test::TempDir dir_;
    QLocalServer server_;
    QByteArray received_;
    QByteArray reply_;  // none: silence
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

}  // namespace
}  // namespace qm::desktops
