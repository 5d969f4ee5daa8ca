// KDE Plasma: the shell's desktops are set and read through its scripting
// interface, org.kde.PlasmaShell.evaluateScript, on the session bus. Plasma
// announces no change of wallpaper, so what it shows is read once at start
// and then is what we last had it show.
#pragma once

#include <utility>

#include <QObject>

#include "platform/desktops/wallpaper_desktop.h"

namespace qm::desktops {

class PlasmaDesktop : public WallpaperDesktop {
public:
    PlasmaDesktop();
    void Apply(const std::string& path, Layout layout, Answer answer) override;
    std::optional<std::string> CurrentPicture() override { return picture_; }
    std::optional<Layout> CurrentLayout() override { return layout_; }

private:
    QObject context_;  // the pending calls' answers run in its name
    std::optional<std::string> picture_;
    std::optional<Layout> layout_;
    // What Plasma last said it shows, or took from us.
    std::pair<std::optional<std::string>, std::optional<Layout>> confirmed_;
    unsigned applied_ = 0;  // pictures handed over, so a late start read loses
};

}  // namespace qm::desktops
