// The Linux program's entry point: the Qt application, the backend's parts
// (profile, POSIX system services, the desktop in use, the Qt shell), and
// the framework, which runs the one application object as on Windows.
#include <cstdio>
#include <cstring>
#include <ctime>
#include <map>
#include <memory>
#include <string>

#include <unistd.h>

#include <QApplication>

#include "platform/framework.h"
#include "platform/posix/posix_system.h"
#include "platform/qt/qt_icon.h"
#include "platform/qt/qt_profile.h"
#include "platform/qt/qt_shell.h"
#include "res/resource.h"

namespace {

// Stand-in until the desktops are wired: keeps the values, shows nothing.
class MemoryDesktop : public qm::DesktopServices {
public:
    class Key : public qm::DesktopKey {
    public:
        explicit Key(std::map<std::string, std::string>& values) : values_(values) {}
        void SetString(const char* name, const std::string& value) override { values_[name] = value; }
        bool Query(const char* name, char* buf, std::size_t size) override {
            auto it = values_.find(name);
            if (size == 0) return false;
            buf[0] = '\0';
            if (it == values_.end() || it->second.empty() || it->second.size() >= size) return false;
            std::memcpy(buf, it->second.c_str(), it->second.size() + 1);
            return true;
        }
    private:
        std::map<std::string, std::string>& values_;
    };
    std::unique_ptr<qm::DesktopKey> CreateDesktopKey() override { return std::make_unique<Key>(values_); }
    std::unique_ptr<qm::DesktopKey> OpenDesktopKey() override { return std::make_unique<Key>(values_); }
    void SetDesktopWallpaper(const char* path) override { values_["Wallpaper"] = path; std::fprintf(stderr, "wallpaper %s\n", path); }
private:
    std::map<std::string, std::string> values_;
};

}  // namespace

int main(int argc, char** argv) {
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
    MemoryDesktop desktop;
    qm::QtShell shell;
    shell.CloseOnSignals();

    qm::Platform platform{profile, system, desktop, shell};
    qm::SetCurrentPlatform(&platform);
    const int code = qm::AfxWinMain();
    qm::SetCurrentPlatform(nullptr);
    return code;
}
