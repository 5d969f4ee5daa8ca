// LXQt and LXDE: their desktop program (pcmanfm-qt, pcmanfm) draws its own
// window over the root and takes a new wallpaper from the command line,
// handing it to the running desktop. It tells nothing back, so what it
// shows is what we last had it show.
#pragma once

#include <memory>
#include <string>

#include <QObject>

#include "platform/desktops/desktop_support.h"

namespace qm::desktops {

class PcmanfmDesktop : public WallpaperDesktop {
public:
    // The desktop's program, run as PROGRAM --set-wallpaper FILE
    // --wallpaper-mode MODE.
    static constexpr const char* kLxqt = "pcmanfm-qt";
    static constexpr const char* kLxde = "pcmanfm";

    // A run longer than `timeoutMs` is ended and counts as a refusal.
    explicit PcmanfmDesktop(std::string program, int timeoutMs = 15000);
    ~PcmanfmDesktop() override;
    void Apply(const std::string& path, Layout layout, Answer answer) override;
    std::optional<std::string> CurrentPicture() override { return shown_.Picture(); }
    std::optional<Layout> CurrentLayout() override { return shown_.CurrentLayout(); }
    // LXDE's pcmanfm spans a picture over all monitors; pcmanfm-qt does not.
    bool Spans() const override;

private:
    std::string program_;
    int timeoutMs_;
    std::unique_ptr<QObject> context_;  // the runs under way end with it
    LastWrite shown_;
};

}  // namespace qm::desktops
