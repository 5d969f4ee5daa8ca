// A bare X11 session (no desktop program of a kind we know): the picture is
// drawn into a pixmap of the screen's size that becomes the root window's
// background, published for terminals and docks as _XROOTPMAP_ID and
// ESETROOT_PMAP_ID, the convention of the root-window setters. It is laid
// out on each monitor the server reports. When a desktop program's own
// window covers the root, nothing is drawn: nobody would see it.
#pragma once

#include <QObject>

#include <memory>

#include "platform/desktops/wallpaper_desktop.h"

namespace qm::desktops {

class RootConnection;

class RootWindowDesktop : public WallpaperDesktop {
public:
    // With `refusal`, a root window nobody sees (an X server under a
    // compositor we do not know): every picture is refused in those words.
    explicit RootWindowDesktop(std::string refusal = {});
    ~RootWindowDesktop() override;
    void Apply(const std::string& path, Layout layout, Answer answer) override;
    // The picture and layout of our own last setting, as long as the root
    // window still shows its pixmap; none once another program set another.
    std::optional<std::string> CurrentPicture() override;
    std::optional<Layout> CurrentLayout() override;
    bool Spans() const override { return true; }
    // Each monitor's own picture is drawn straight into the one pixmap: no
    // composed picture is written and read again.
    bool ShowsEachScreen() const override { return refusal_.empty(); }
    void ApplyEach(const std::vector<ScreenPicture>& pictures, Layout layout,
                   Answer answer) override;

private:
    // Sets the background: `pictures` each on the monitor of its place in
    // pixels, or, with one picture of no place, that one on every monitor.
    // False with the reason when it cannot.
    bool Set(const std::vector<ScreenPicture>& pictures, Layout layout, std::string& why);

    // The connection the reads share, opened on the first and again after
    // the server is lost.
    const RootConnection* Reader();

    std::string refusal_;
    std::unique_ptr<RootConnection> reader_;
    QObject context_;  // the answers run in its name
};

}  // namespace qm::desktops
