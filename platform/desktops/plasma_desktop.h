// KDE Plasma: the shell's desktops are set and read through its scripting
// interface, org.kde.PlasmaShell.evaluateScript, on the session bus.
#pragma once

#include "platform/desktops/wallpaper_desktop.h"

namespace qm::desktops {

class PlasmaDesktop : public WallpaperDesktop {
public:
    bool Apply(const std::string& path, Layout layout, std::string& why) override;
    std::optional<std::string> CurrentPicture() override;
    std::optional<Layout> CurrentLayout() override;
};

}  // namespace qm::desktops
