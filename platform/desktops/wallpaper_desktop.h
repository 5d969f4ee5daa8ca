// One Linux desktop's wallpaper, as the desktop itself keeps it: each desktop
// has its own store (GSettings, xfconf, Plasma's scripting, the X root
// window) and its own words for the layout. A class per desktop maps these
// three operations onto that store and holds no other rule.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace qm::desktops {

// The numbers are stored by the root-window desktop.
enum class Layout { Centred = 0, Tiled = 1, Stretched = 2 };

class WallpaperDesktop {
public:
    virtual ~WallpaperDesktop() = default;
    // Shows the picture file with the layout. False when the desktop did not
    // take it; `why` then holds the desktop's own words, or ours.
    virtual bool Apply(const std::string& path, Layout layout, std::string& why) = 0;
    // The picture file the desktop shows now, whoever set it; none when it
    // shows no file or cannot be asked.
    virtual std::optional<std::string> CurrentPicture() = 0;
    // How the desktop lays its picture out now; its own layouts that are
    // neither tiled nor stretched (zoomed, scaled) count as centred.
    virtual std::optional<Layout> CurrentLayout() = 0;
};

enum class DesktopKind { Gnome, Cinnamon, Mate, Xfce, Plasma, RootWindow };

// The desktop named by XDG_CURRENT_DESKTOP: a colon-separated list, any
// letter case, whose first name we know wins; the X root window otherwise.
DesktopKind ChooseDesktop(std::string_view xdgCurrentDesktop);
std::unique_ptr<WallpaperDesktop> MakeDesktop(DesktopKind kind);
// ChooseDesktop and MakeDesktop for this session's environment.
std::unique_ptr<WallpaperDesktop> SessionDesktop();

}  // namespace qm::desktops
