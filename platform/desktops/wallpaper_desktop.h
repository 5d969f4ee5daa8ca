// One Linux desktop's wallpaper, as the desktop itself keeps it: each desktop
// has its own store (GSettings, xfconf, Plasma's scripting, the X root
// window) and its own words for the layout. A class per desktop maps these
// three operations onto that store and holds no other rule.
//
// The desktop is another process, which may be slow or hung: nothing here
// waits for it. A picture is handed over and its answer comes later from
// the event loop; what the desktop shows is kept current from its own
// change signals (or from our own last write where it has none), so that
// reading it never waits.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qm::desktops {

// The numbers are stored by the root-window desktop. Filled covers the
// monitor keeping the picture's aspect and crops the overflow; Fitted shows
// it whole, as large as it goes, with bars beside it. Spanned lays one
// picture across all monitors together, as it was made for them.
enum class Layout { Centred = 0, Tiled = 1, Stretched = 2, Filled = 3, Fitted = 4, Spanned = 5 };

// A picture for one screen: the screen's name as the desktop knows it (the
// output's), its place in the desktop's own pixels, and the file.
struct ScreenPicture {
    std::string screen;
    int x = 0, y = 0, width = 0, height = 0;  // the screen in the desktop's (logical) pixels
    std::string path;
    // ... and in the display's own pixels, as the X server counts them.
    int pixelX = 0, pixelY = 0, pixelWidth = 0, pixelHeight = 0;
};

class WallpaperDesktop {
public:
    // The desktop's answer to one picture: shown, or not, with the
    // desktop's own words (or ours) for why not.
    using Answer = std::function<void(bool shown, const std::string& why)>;

    virtual ~WallpaperDesktop() = default;
    // Hands the picture file with the layout to the desktop and returns at
    // once. `answer` runs exactly once, later, from the event loop (never
    // inside Apply): when the desktop has taken the picture or refused it,
    // and at the latest when its time to answer has run out. It does not
    // run once the desktop object is gone.
    virtual void Apply(const std::string& path, Layout layout, Answer answer) = 0;
    // The picture file the desktop shows now, whoever set it, as last heard
    // from it; none when it shows no file or has not told us yet.
    virtual std::optional<std::string> CurrentPicture() = 0;
    // How the desktop lays its picture out now; its own layouts that are
    // none of ours (spanned, say) count as centred.
    virtual std::optional<Layout> CurrentLayout() = 0;
    // Whether the desktop takes Layout::Spanned: one picture across all
    // monitors, the point (x, y) of the screen showing its pixel (x, y).
    virtual bool Spans() const { return false; }
    // Whether a spanned picture is laid out in the desktop's logical pixels
    // (a scaled monitor counting its unscaled size), not the screen's.
    virtual bool SpansInLogicalPixels() const { return false; }
    // Whether the desktop shows a picture of its own on each screen.
    virtual bool ShowsEachScreen() const { return false; }
    // As Apply, each screen named getting its own picture (the first
    // picture stands for the desktop's CurrentPicture); a screen the
    // desktop lacks is left out. Asked only where ShowsEachScreen.
    virtual void ApplyEach(const std::vector<ScreenPicture>& pictures, Layout layout,
                           Answer answer) {
        Apply(pictures.front().path, layout, std::move(answer));
    }
};

// UnseenRootWindow: a Wayland session whose desktop we do not know; its X
// root window (Xwayland's), if any, is never shown.
enum class DesktopKind {
    Gnome, Cinnamon, Mate, Xfce, Plasma, Sway, Lxqt, Lxde, RootWindow, UnseenRootWindow
};

// The desktop named by XDG_CURRENT_DESKTOP: a colon-separated list, any
// letter case, whose first name we know wins; else sway when its IPC socket
// is announced (SWAYSOCK); else the X root window, unless the session is
// Wayland's (XDG_SESSION_TYPE "wayland", or WAYLAND_DISPLAY set whatever the
// session type says), whose compositor never shows it.
DesktopKind ChooseDesktop(std::string_view xdgCurrentDesktop, bool swaySocket = false,
                          std::string_view sessionType = {}, std::string_view waylandDisplay = {});
// `swaySocket` is the path of sway's IPC socket.
std::unique_ptr<WallpaperDesktop> MakeDesktop(DesktopKind kind, const std::string& swaySocket = {});
// ChooseDesktop and MakeDesktop for this session's environment.
std::unique_ptr<WallpaperDesktop> SessionDesktop();

}  // namespace qm::desktops
