// sway (and the compositors that speak its IPC): the wallpaper is an output
// command, `output * bg FILE MODE`, sent over the compositor's IPC socket
// ($SWAYSOCK) as a RUN_COMMAND message; a picture per output is one such
// command per output, `output NAME bg FILE MODE`, in one message. sway keeps no wallpaper anyone can
// ask for, so what it shows is what we last had it show.
#pragma once

#include <memory>
#include <string>

#include <QObject>

#include "platform/desktops/desktop_support.h"

namespace qm::desktops {

class SwayDesktop : public WallpaperDesktop {
public:
    // `socket` is the IPC socket's path; a silence longer than `timeoutMs`
    // counts as a refusal.
    explicit SwayDesktop(std::string socket, int timeoutMs = 10000);
    ~SwayDesktop() override;
    void Apply(const std::string& path, Layout layout, Answer answer) override;
    bool ShowsEachScreen() const override { return true; }
    void ApplyEach(const std::vector<ScreenPicture>& pictures, Layout layout,
                   Answer answer) override;
    std::optional<std::string> CurrentPicture() override { return shown_.Picture(); }
    std::optional<Layout> CurrentLayout() override { return shown_.CurrentLayout(); }

private:
    // Sends the commands that show `path` (the first output's picture).
    void Run(const std::string& commands, const std::string& path, Layout layout, Answer answer);

    std::string socket_;
    int timeoutMs_;
    std::unique_ptr<QObject> context_;  // the open requests end with it
    LastWrite shown_;
};

}  // namespace qm::desktops
