#include "rotation/desktop_wallpaper.h"

#include "platform/platform.h"

namespace qm {

void DesktopWallpaper::WriteStyle(const std::string& tile, const std::string& style) {
    auto key = CurrentPlatform().desktop.CreateDesktopKey();
    if (!key) {
        return;
    }
    key->SetString("TileWallpaper", tile);
    key->SetString("WallpaperStyle", style);
}

void DesktopWallpaper::WriteTile(const std::string& tile) {
    auto key = CurrentPlatform().desktop.OpenDesktopKey();
    if (!key) {
        return;
    }
    key->SetString("TileWallpaper", tile);
}

bool DesktopWallpaper::ReadTile() {
    auto key = CurrentPlatform().desktop.OpenDesktopKey();
    if (!key) {
        return false;
    }
    char buf[kMaxPath];
    return key->Query("TileWallpaper", buf, sizeof buf) && buf[0] == '1';
}

std::optional<std::string> DesktopWallpaper::ReadWallpaperPath() {
    auto key = CurrentPlatform().desktop.OpenDesktopKey();
    if (!key) {
        return std::nullopt;
    }
    char buf[kMaxPath];
    if (!key->Query("Wallpaper", buf, sizeof buf)) {
        return std::nullopt;
    }
    return std::string(buf);
}

void DesktopWallpaper::SetWallpaper(const std::string& path) {
    if (path.size() >= kPathBuffer) {
        return;
    }
    CurrentPlatform().desktop.SetDesktopWallpaper(path.c_str());
}

}  // namespace qm
