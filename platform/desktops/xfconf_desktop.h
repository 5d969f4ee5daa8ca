// XFCE: xfdesktop keeps a backdrop per monitor and workspace in the xfconf
// channel "xfce4-desktop", reached over D-Bus. The backdrops are read once
// and kept current from xfconfd's PropertyChanged signals.
#pragma once

#include <memory>

#include <QVariantMap>

#include "platform/desktops/wallpaper_desktop.h"

namespace qm::desktops {

class XfconfDesktop : public WallpaperDesktop {
public:
    XfconfDesktop();
    ~XfconfDesktop() override;
    void Apply(const std::string& path, Layout layout, Answer answer) override;
    std::optional<std::string> CurrentPicture() override;
    std::optional<Layout> CurrentLayout() override;
    bool Spans() const override { return true; }
    // Each monitor's backdrops are named after its output.
    bool ShowsEachScreen() const override { return true; }
    void ApplyEach(const std::vector<ScreenPicture>& pictures, Layout layout,
                   Answer answer) override;

    class Watcher;

private:
    // The channel's backdrop properties by name (sorted): per monitor and
    // workspace, /backdrop/screen0/monitor<name>/workspace<n>/...
    QVariantMap backdrops_;
    std::unique_ptr<Watcher> watcher_;  // its signals and the calls' answers
};

}  // namespace qm::desktops
