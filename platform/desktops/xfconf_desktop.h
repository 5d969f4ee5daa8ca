// XFCE: xfdesktop keeps a backdrop per monitor and workspace in the xfconf
// channel "xfce4-desktop", reached over D-Bus.
#pragma once

#include "platform/desktops/wallpaper_desktop.h"

namespace qm::desktops {

class XfconfDesktop : public WallpaperDesktop {
public:
    bool Apply(const std::string& path, Layout layout, std::string& why) override;
    std::optional<std::string> CurrentPicture() override;
    std::optional<Layout> CurrentLayout() override;
};

}  // namespace qm::desktops
