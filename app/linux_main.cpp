// The Linux program's entry point: the Qt application, the backend's parts
// (profile, POSIX system services, the desktop in use, the Qt shell), and
// the framework, which runs the one application object as on Windows.
#include <ctime>
#include <string>

#include <unistd.h>

#include <QApplication>

#include "platform/desktops/linux_desktop.h"
#include "platform/framework.h"
#include "platform/posix/posix_system.h"
#include "platform/qt/qt_icon.h"
#include "platform/qt/qt_profile.h"
#include "platform/qt/qt_shell.h"
#include "res/resource.h"

int main(int argc, char** argv) {
    // In a Wayland session the program is a Wayland client, whatever
    // XDG_SESSION_TYPE says (a session started from a text console says
    // "tty"); X11 through Xwayland only where Qt's Wayland platform is
    // missing. QT_QPA_PLATFORM, when set, decides.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") &&
        !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) {
        qputenv("QT_QPA_PLATFORM", "wayland;xcb");
    }
    // The launcher and the tray host find the program's icon and name by it.
    QGuiApplication::setDesktopFileName(QStringLiteral("quillmere"));
    QApplication app(argc, argv);
    // The program ends when its frame is destroyed, not with its last
    // visible window (a dialog or a message box).
    QApplication::setQuitOnLastWindowClosed(false);
    QApplication::setWindowIcon(qm::ResourceIcon(IDR_MAINFRAME));

    qm::QtProfileStore profile;
    qm::PosixSystem system;
    // A different random sequence on every run.
    system.Seed(static_cast<std::uint32_t>(std::time(nullptr)) ^
                static_cast<std::uint32_t>(getpid()));
    qm::QtShell shell;
    shell.CloseOnSignals();
    // The desktop this session runs (XDG_CURRENT_DESKTOP), given its
    // pictures in the program's data folder. A desktop that does not take
    // one is told to the user in the application's box.
    qm::LinuxDesktop desktop(
        qm::desktops::SessionDesktop(), system.WallpaperDirectory(),
        [&shell](unsigned stringId, const std::string& detail) {
            shell.AppMessageBox(shell.LoadString(stringId) + "\n" + detail,
                                qm::BoxIcon::Exclamation);
        });

    qm::Platform platform{profile, system, desktop, shell};
    qm::SetCurrentPlatform(&platform);
    const int code = qm::AfxWinMain();
    qm::SetCurrentPlatform(nullptr);
    return code;
}
