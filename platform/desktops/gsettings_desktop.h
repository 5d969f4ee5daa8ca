// The desktops that keep their background in GSettings (GNOME and its
// relatives, Cinnamon, MATE): one schema each, the same layout names.
#pragma once

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
    explicit GSettingsDesktop(const BackgroundKeys& keys) : keys_(keys) {}

    static const BackgroundKeys kGnome;
    static const BackgroundKeys kCinnamon;
    static const BackgroundKeys kMate;

    bool Apply(const std::string& path, Layout layout, std::string& why) override;
    std::optional<std::string> CurrentPicture() override;
    std::optional<Layout> CurrentLayout() override;

private:
    BackgroundKeys keys_;
};

}  // namespace qm::desktops
