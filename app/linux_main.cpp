// The Linux program's entry point: the Qt application, the backend's parts
// (profile, POSIX system services, the desktop in use, the Qt shell), and
// the framework, which runs the one application object as on Windows.
#include <cstdio>
#include <cstring>
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

namespace {

const char kUsage[] =
    "Usage: quillmere [--help | --version]\n"
    "Changes the desktop wallpaper from a folder of pictures. It lives as an\n"
    "icon in the tray: click it for the next picture, right-click it for the\n"
    "menu and the settings. See quillmere(1).\n"
    "\n"
    "  -h, --help   print this help and exit\n"
    "  --version    print the version and exit\n"
    "\n"
    "Qt's own options (-platform, -display, -style, ...) are accepted.\n";

// Options Qt's application object takes itself; they start the program as
// before. A value after one does not begin with '-'.
bool IsQtOption(const char* arg) {
    static const char* const kQt[] = {
        "platform", "platformpluginpath", "platformtheme", "plugin", "qwindowgeometry",
        "qwindowicon", "qwindowtitle", "reverse", "session", "display", "geometry",
        "style", "stylesheet", "widgetcount", "qmljsdebugger", "nograb", "dograb", "sync"};
    const char* name = arg + (arg[1] == '-' ? 2 : 1);
    const std::size_t length = std::strcspn(name, "=");
    for (const char* known : kQt)
        if (std::strlen(known) == length && std::strncmp(name, known, length) == 0) return true;
    return false;
}

// --help and --version answer before anything is made: no display, window,
// tray or single-instance claim. Returns the exit code, or -1 to start.
int HandleCommandLine(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0) {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (std::strcmp(arg, "--version") == 0) {
            std::printf("quillmere %s\n", QM_VERSION_STRING);
            return 0;
        }
        if (arg[0] == '-' && arg[1] != '\0' && !IsQtOption(arg)) {
            std::fprintf(stderr, "quillmere: unknown option '%s'\n%s", arg, kUsage);
            return 2;
        }
    }
    return -1;
}
// The POSIX system services, where a conversion's end (the new wallpaper
// file put in place) is also where an end the user asked for meanwhile
// happens: a conversion holds the event loop, so SIGTERM waits for it, and
// must not wait for what the change does next (in Auto-Tile, a second
// conversion).
class LinuxSystem final : public qm::PosixSystem {
public:
    explicit LinuxSystem(qm::QtShell& shell) : shell_(shell) {}

    bool ReplaceFile(const std::string& source, const std::string& target) override {
        const bool replaced = PosixSystem::ReplaceFile(source, target);
        shell_.EndNowIfAsked();
        return replaced;
    }

private:
    qm::QtShell& shell_;
};

}  // namespace

int main(int argc, char** argv) {
    if (const int code = HandleCommandLine(argc, argv); code >= 0) return code;
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
    // The launcher's tokens, which a second start hands to the running copy
    // (Qt takes DESKTOP_STARTUP_ID from the environment as it starts).
    const QByteArray activationToken = qgetenv("XDG_ACTIVATION_TOKEN");
    const QByteArray startupId = qgetenv("DESKTOP_STARTUP_ID");
    QApplication app(argc, argv);
    // The program ends when its frame is destroyed, not with its last
    // visible window (a dialog or a message box).
    QApplication::setQuitOnLastWindowClosed(false);
    QApplication::setWindowIcon(qm::ResourceIcon(IDR_MAINFRAME));

    qm::QtProfileStore profile;
    qm::QtShell shell;
    shell.CloseOnSignals();
    shell.SetLaunchTokens(activationToken, startupId);
    LinuxSystem system(shell);
    // A different random sequence on every run.
    system.Seed(static_cast<std::uint32_t>(std::time(nullptr)) ^
                static_cast<std::uint32_t>(getpid()));
    // The desktop this session runs (XDG_CURRENT_DESKTOP), given its
    // pictures in the program's data folder. A desktop that does not take
    // one is told to the user in the application's box.
    const auto tell = [&shell](unsigned stringId, const std::string& detail) {
        shell.AppMessageBox(shell.LoadString(stringId) + "\n" + detail, qm::BoxIcon::Exclamation);
    };
    // A profile that does not read as written is kept aside, and the user
    // told, when the application names it.
    profile.SetNotice(tell);
    qm::LinuxDesktop desktop(
        qm::desktops::SessionDesktop(), system.WallpaperDirectory(), tell,
        [&system](const std::string& folder) { return system.FreeDiskSpace(folder); });

    qm::Platform platform{profile, system, desktop, shell};
    qm::SetCurrentPlatform(&platform);
    const int code = qm::AfxWinMain();
    qm::SetCurrentPlatform(nullptr);
    return code;
}
