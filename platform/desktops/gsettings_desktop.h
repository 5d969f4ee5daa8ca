// The desktops that keep their background in GSettings (GNOME and its
// relatives, Cinnamon, MATE): one schema each, the same layout names.
// GSettings reads come from dconf's database in this process and never wait;
// a write goes to the dconf service, whose answer one thread of the desktop's
// awaits off the event loop.
#pragma once

#include <memory>
#include <thread>

#include <QObject>

#include "platform/desktops/wallpaper_desktop.h"

namespace qm::desktops {

struct BackgroundKeys {
    const char* schema;
    const char* pictureKey;
    const char* darkPictureKey;  // also set when the schema has it; may be null
    bool pictureIsUri;           // a file:// URI, or else a plain path
    const char* optionsKey;      // "centered", "wallpaper", "stretched"
};

class GSettingsDesktop : public WallpaperDesktop {
public:
    explicit GSettingsDesktop(const BackgroundKeys& keys);
    ~GSettingsDesktop() override;

    static const BackgroundKeys kGnome;
    static const BackgroundKeys kCinnamon;
    static const BackgroundKeys kMate;

    void Apply(const std::string& path, Layout layout, Answer answer) override;
    std::optional<std::string> CurrentPicture() override;
    std::optional<Layout> CurrentLayout() override;
    bool Spans() const override { return true; }
    // Mutter, Muffin and Marco span across their logical layout.
    bool SpansInLogicalPixels() const override { return true; }

    class Background;
    struct Outcome;

private:
    BackgroundKeys keys_;
    std::unique_ptr<Background> bg_;
    QObject context_;  // the writes' answers run in its name
    unsigned written_ = 0;  // pictures written, numbered
    std::shared_ptr<Outcome> outcome_;  // shared with the thread that waits for dconf
    std::thread worker_;
};

}  // namespace qm::desktops
