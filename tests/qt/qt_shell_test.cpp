// The Qt shell's loops and signals: the box that ends the program after a
// handler's error stays up until answered, and the signals that close the
// frame leave alone those the program was started to ignore.
#include <cerrno>
#include <chrono>
#include <csignal>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>

#include "app/wallpaper_app.h"
#include "frame/main_frame.h"
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

// SIGTERM while a box or a dialog is up (the first start's box; About over
// Settings): the frame closes with every setting written, nothing more
// opens, and the run ends at once.
TEST(QtShell, SigtermEndsTheRunWhateverBoxOrDialogIsOpen) {
    struct Case {
        const char* name;
        const char* folder;   // served from memory: empty, or one picture
        const char* signalAt; // the window title that gets the signal
    };
    for (const Case& c : {Case{"first start's box", "/empty", "Quillmere"},
                          Case{"About over Settings", "/pictures", "About Quillmere 2.0"}}) {
        SCOPED_TRACE(c.name);
        QtShellRun run;
        run.shell.CloseOnSignals();
        run.headless.listings["/empty"] = {};
        run.headless.listings["/pictures"] = {{false, "a.bmp"}};
        run.headless.profile["Config"]["Directory"] = std::string(c.folder);
        WallpaperApp app;
        using Clock = std::chrono::steady_clock;
        std::optional<Clock::time_point> signalled;
        std::vector<std::string> shownAfter;  // windows opened after the signal
        bool aboutAsked = false;
        QList<QPointer<QWidget>> openAtSignal;
        QTimer look;
        QObject::connect(&look, &QTimer::timeout, [&] {
            for (QWidget* w : QApplication::topLevelWidgets()) {
                auto* dialog = qobject_cast<QDialog*>(w);
                if (dialog == nullptr || !dialog->isVisible()) {
                    continue;
                }
                const QString title = dialog->windowTitle();
                if (signalled) {
                    if (!openAtSignal.contains(dialog)) {
                        shownAfter.push_back(title.toStdString());
                    }
                    // Nobody answers it: closed here so that the test ends.
                    if (Clock::now() - *signalled > std::chrono::seconds(3)) {
                        dialog->reject();
                    }
                } else if (title == QLatin1String(c.signalAt)) {
                    run.headless.profile.clear();
                    run.headless.profileWrites.clear();
                    for (QWidget* open : QApplication::topLevelWidgets()) {
                        if (open->isVisible()) {
                            openAtSignal.push_back(open);
                        }
                    }
                    signalled = Clock::now();
                    std::raise(SIGTERM);
                    return;
                } else if (title == QLatin1String("Quillmere Settings")) {
                    for (auto* button : dialog->findChildren<QAbstractButton*>()) {
                        // Queued: the About box's loop must not run
                        // inside this look.
                        if (button->text() == QLatin1String("About") && !aboutAsked) {
                            aboutAsked = true;
                            QMetaObject::invokeMethod(button, &QAbstractButton::click,
                                                      Qt::QueuedConnection);
                        }
                    }
                }
            }
        });
        look.start(20);
        // The Settings command once the program runs (no box at start when
        // the folder has a picture).
        QTimer::singleShot(50, [&] {
            if (auto* frame = dynamic_cast<CMainFrame*>(app.m_pMainWnd); frame && frame->HasWindow()) {
                frame->OnSettings();
            }
        });
        EXPECT_EQ(AfxWinMain(), 0);
        const auto took = Clock::now() - signalled.value_or(Clock::now());
        EXPECT_TRUE(signalled) << "never saw " << c.signalAt;
        EXPECT_LT(took, std::chrono::seconds(2));
        EXPECT_EQ(shownAfter, std::vector<std::string>{});
        EXPECT_EQ(run.headless.profileWrites.size(), 11u) << "the settings were not written";
    }
}

}  // namespace
}  // namespace qm
