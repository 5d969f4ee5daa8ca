// KDE Plasma: the shell's desktops are set and read through its scripting
// interface, org.kde.PlasmaShell.evaluateScript, on the session bus. Plasma
// announces no change of wallpaper, so what it shows is read once at start
// and then is what we last had it show.
#pragma once

#include <QObject>

#include "platform/desktops/desktop_support.h"

namespace qm::desktops {

class PlasmaDesktop : public WallpaperDesktop {
public:
    PlasmaDesktop();
    void Apply(const std::string& path, Layout layout, Answer answer) override;
    // Each screen's desktop, found by the screen's place.
    bool ShowsEachScreen() const override { return true; }
    void ApplyEach(const std::vector<ScreenPicture>& pictures, Layout layout,
                   Answer answer) override;
    std::optional<std::string> CurrentPicture() override { return shown_.Picture(); }
    std::optional<Layout> CurrentLayout() override { return shown_.CurrentLayout(); }

private:
    // image: the one for every screen, a script literal (or null); screens:
    // each screen's own, a JSON array.
    void Run(const QString& image, const QString& screens, const std::string& path, Layout layout,
             Answer answer);

    QObject context_;  // the pending calls' answers run in its name
    LastWrite shown_;
};

}  // namespace qm::desktops
