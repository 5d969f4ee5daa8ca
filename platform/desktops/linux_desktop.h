// The program's desktop operations on Linux: the two layout values it
// writes are kept here, and the picture and tile state it reads come from
// the desktop itself, so that a picture another program set can be laid
// out again and the menu shows the desktop's own state.
#pragma once

#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/desktop.h"
#include "platform/desktops/wallpaper_desktop.h"

namespace qm {

class LinuxDesktop : public DesktopServices {
public:
    // Tells the user that the desktop did not show a wallpaper: the id of
    // the string resource that says so, and the desktop's own words.
    using Notice = std::function<void(unsigned stringId, const std::string& detail)>;

    // `folder` holds the two names the desktop is given in turn (made when
    // missing); with no absolute folder, none are made and the desktop gets
    // each picture under its own name. `notice` may be empty.
    LinuxDesktop(std::unique_ptr<desktops::WallpaperDesktop> desktop, std::filesystem::path folder,
                 Notice notice);

    // The key always exists: its layout values live in this object, the rest
    // in the desktop.
    std::unique_ptr<DesktopKey> CreateDesktopKey() override;
    std::unique_ptr<DesktopKey> OpenDesktopKey() override;
    // Shows the file as "TileWallpaper" and "WallpaperStyle" say: tiled for
    // "1", else stretched for style "2", filled for "10", fitted for "6",
    // else centred. A value never written
    // in this run is the one the desktop's present layout gives. Returns
    // before the desktop has answered: a desktop that does not take the
    // picture is reported when it says so (or its time runs out), once,
    // until one is taken; a refusal that a later picture's success has
    // overtaken is not reported.
    void SetDesktopWallpaper(const char* path) override;
    // Qt's screens, in physical pixels; none without a GUI application.
    std::vector<MonitorRect> Monitors() override;

    // The names the desktop is given begin so, then a number never given
    // before and ".bmp".
    static constexpr const char* kShownPrefix = "Quillmere Wallpaper-";

private:
    class Key;

    std::optional<std::string> Value(const std::string& name);
    desktops::Layout LayoutToApply();
    std::string FreshName(const std::string& path);

    std::unique_ptr<desktops::WallpaperDesktop> desktop_;
    std::filesystem::path folder_;
    Notice notice_;
    std::map<std::string, std::string> written_;
    bool told_ = false;
    unsigned handed_ = 0;  // pictures handed to the desktop, numbered
    unsigned shown_ = 0;   // the newest of them the desktop took
    unsigned long long next_ = 0;  // the number of the next name
};

}  // namespace qm
