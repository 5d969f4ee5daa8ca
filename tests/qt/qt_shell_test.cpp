// The Qt shell's loops and signals: the box that ends the program after a
// handler's error stays up until answered, and the signals that close the
// frame leave alone those the program was started to ignore.
#include <cerrno>
#include <csignal>
#include <stdexcept>

#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>
#include <QTimer>

#include "platform/framework.h"
#include "platform/headless/headless_platform.h"
#include "platform/qt/qt_shell.h"
#include "res/resource.h"

namespace qm {
namespace {

// A frame whose first timer tick fails.
class FailingFrame : public CFrameWnd {
public:
    void OnTimer(unsigned) override { throw std::runtime_error("the tick failed"); }
    void OnDestroy() override {
        destroyed = true;
        CFrameWnd::OnDestroy();
    }
    bool destroyed = false;
};

class FailingApp : public CWinApp {
public:
    bool InitInstance() override {
        frame = new FailingFrame;
        m_pMainWnd = frame;
        if (!frame->LoadFrame(IDR_MAINFRAME)) {
            return false;
        }
        CurrentPlatform().shell.SetTimer(1, 10);
        return true;
    }
    FailingFrame* frame = nullptr;
};

// The shell with the headless platform's profile, system and desktop.
struct QtShellRun {
    HeadlessPlatform headless;
    QtShell shell;
    Platform platform{headless, headless, headless, shell};
    QtShellRun() { SetCurrentPlatform(&platform); }
    ~QtShellRun() { SetCurrentPlatform(nullptr); }
};

TEST(QtShell, TheBoxThatEndsTheProgramAfterAnErrorStaysUpUntilAnswered) {
    QtShellRun run;
    FailingApp app;
    QString shownText;
    int looks = 0;
    // Looks at the box several times, then answers it.
    QTimer look;
    QObject::connect(&look, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr) {
            for (QWidget* w : QApplication::topLevelWidgets()) {
                if (auto* b = qobject_cast<QMessageBox*>(w); b != nullptr && b->isVisible()) {
                    box = b;
                }
            }
        }
        if (box == nullptr) {
            return;
        }
        shownText = box->text();
        if (++looks == 3) {
            box->accept();
        }
    });
    look.start(50);
    EXPECT_EQ(AfxWinMain(), 1);
    EXPECT_EQ(looks, 3) << "the box did not stay up";
    EXPECT_TRUE(shownText.contains(QStringLiteral("has to close after an error:\nthe tick failed")))
        << shownText.toStdString();
}

TEST(QtShell, SignalsTheProgramWasStartedToIgnoreStayIgnored) {
    QtShellRun run;
    // As nohup starts a program.
    std::signal(SIGHUP, SIG_IGN);
    run.shell.CloseOnSignals();
    struct sigaction now = {};
    ASSERT_EQ(sigaction(SIGHUP, nullptr, &now), 0);
    EXPECT_EQ(now.sa_handler, SIG_IGN);

    // SIGTERM still closes the frame, from the loop.
    FailingFrame frame;
    ASSERT_TRUE(frame.LoadFrame(IDR_MAINFRAME));
    errno = EDOM;
    std::raise(SIGTERM);
    EXPECT_EQ(errno, EDOM);
    QTimer::singleShot(5000, [] { QCoreApplication::exit(2); });
    EXPECT_EQ(run.shell.RunMessageLoop(), 0);
    EXPECT_TRUE(frame.destroyed);
}

}  // namespace
}  // namespace qm
