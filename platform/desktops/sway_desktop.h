// sway (and the compositors that speak its IPC): the wallpaper is an output
// command, `output * bg FILE MODE`, sent over the compositor's IPC socket
// ($SWAYSOCK) as a RUN_COMMAND message. sway keeps no wallpaper anyone can
// ask for, so what it shows is what we last had it show.
#pragma once

#include <memory>
#include <string>

#include <QObject>

#include "platform/desktops/wallpaper_desktop.h"

namespace qm::desktops {

class SwayDesktop : public WallpaperDesktop {
public:
    // `socket` is the IPC socket's path; a silence longer than `timeoutMs`
    // counts as a refusal.
    explicit SwayDesktop(std::string socket, int timeoutMs = 10000);
    ~SwayDesktop() override;
    void Apply(const std::string& path, Layout layout, Answer answer) override;
    std::optional<std::string> CurrentPicture() override { return picture_; }
    std::optional<Layout> CurrentLayout() override { return layout_; }

private:
    std::string socket_;
    int timeoutMs_;
    std::unique_ptr<QObject> context_;  // the open requests end with it
    std::optional<std::string> picture_;
    std::optional<Layout> layout_;
    std::optional<std::string> confirmedPicture_;  // what sway last took
    std::optional<Layout> confirmedLayout_;
    unsigned applied_ = 0;
};

}  // namespace qm::desktops
