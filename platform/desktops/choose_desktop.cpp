#include <cstdlib>
#include <string>

#include "platform/desktops/gsettings_desktop.h"
#include "platform/desktops/pcmanfm_desktop.h"
#include "platform/desktops/plasma_desktop.h"
#include "platform/desktops/root_window_desktop.h"
#include "platform/desktops/sway_desktop.h"
#include "platform/desktops/wallpaper_desktop.h"
#include "platform/desktops/xfconf_desktop.h"

namespace qm::desktops {

namespace {

std::optional<DesktopKind> Known(std::string name) {
    for (char& c : name) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    // Unity, Budgie and Pantheon keep GNOME's background settings.
    if (name == "GNOME" || name == "UNITY" || name == "BUDGIE" || name == "PANTHEON") {
        return DesktopKind::Gnome;
    }
    if (name == "X-CINNAMON" || name == "CINNAMON") {
        return DesktopKind::Cinnamon;
    }
    if (name == "MATE") {
        return DesktopKind::Mate;
    }
    if (name == "XFCE") {
        return DesktopKind::Xfce;
    }
    if (name == "KDE") {
        return DesktopKind::Plasma;
    }
    if (name == "SWAY") {
        return DesktopKind::Sway;
    }
    if (name == "LXQT") {
        return DesktopKind::Lxqt;
    }
    if (name == "LXDE") {
        return DesktopKind::Lxde;
    }
    return std::nullopt;
}

}  // namespace

DesktopKind ChooseDesktop(std::string_view xdgCurrentDesktop, bool swaySocket,
                          std::string_view sessionType, std::string_view waylandDisplay) {
    std::size_t start = 0;
    while (start <= xdgCurrentDesktop.size()) {
        std::size_t end = xdgCurrentDesktop.find(':', start);
        if (end == std::string_view::npos) {
            end = xdgCurrentDesktop.size();
        }
        if (auto kind = Known(std::string(xdgCurrentDesktop.substr(start, end - start)))) {
            return *kind;
        }
        start = end + 1;
    }
    // sway sets no XDG_CURRENT_DESKTOP of its own; its socket names it. This
    // comes before any rule about Wayland sessions of unknown compositors.
    if (swaySocket) {
        return DesktopKind::Sway;
    }
    // A session started from a text console may say "tty" and still run
    // Wayland.
    if (sessionType == "wayland" || !waylandDisplay.empty()) {
        return DesktopKind::UnseenRootWindow;
    }
    return DesktopKind::RootWindow;
}

std::unique_ptr<WallpaperDesktop> MakeDesktop(DesktopKind kind, const std::string& swaySocket) {
    switch (kind) {
        case DesktopKind::Gnome: return std::make_unique<GSettingsDesktop>(GSettingsDesktop::kGnome);
        case DesktopKind::Cinnamon:
            return std::make_unique<GSettingsDesktop>(GSettingsDesktop::kCinnamon);
        case DesktopKind::Mate: return std::make_unique<GSettingsDesktop>(GSettingsDesktop::kMate);
        case DesktopKind::Xfce: return std::make_unique<XfconfDesktop>();
        case DesktopKind::Plasma: return std::make_unique<PlasmaDesktop>();
        case DesktopKind::Sway: return std::make_unique<SwayDesktop>(swaySocket);
        case DesktopKind::Lxqt: return std::make_unique<PcmanfmDesktop>(PcmanfmDesktop::kLxqt);
        case DesktopKind::Lxde: return std::make_unique<PcmanfmDesktop>(PcmanfmDesktop::kLxde);
        case DesktopKind::UnseenRootWindow:
            return std::make_unique<RootWindowDesktop>(
                "This Wayland session's desktop is not one this program can set.");
        case DesktopKind::RootWindow: break;
    }
    return std::make_unique<RootWindowDesktop>();
}

std::unique_ptr<WallpaperDesktop> SessionDesktop() {
    auto variable = [](const char* name) {
        const char* value = std::getenv(name);
        return std::string(value != nullptr ? value : "");
    };
    const std::string socket = variable("SWAYSOCK");
    return MakeDesktop(ChooseDesktop(variable("XDG_CURRENT_DESKTOP"), !socket.empty(),
                                     variable("XDG_SESSION_TYPE"), variable("WAYLAND_DISPLAY")),
                       socket);
}

}  // namespace qm::desktops
