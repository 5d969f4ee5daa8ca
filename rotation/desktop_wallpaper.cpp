#include "rotation/desktop_wallpaper.h"

#include <vector>

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
    // A path as long as the platform takes.
    std::vector<char> buf(CurrentPlatform().system.MaxPath());
    if (!key->Query("Wallpaper", buf.data(), buf.size())) {
        return std::nullopt;
    }
    return std::string(buf.data());
}

void DesktopWallpaper::SetWallpaper(const std::string& path) {
    // Windows hands the desktop a buffer of 256; a platform whose paths run
    // longer has no such buffer, only its own limit.
    const std::size_t limit = CurrentPlatform().system.MaxPath();
    if (path.size() >= (limit > kMaxPath ? limit : kPathBuffer)) {
        return;
    }
    CurrentPlatform().desktop.SetDesktopWallpaper(path.c_str());
}

}  // namespace qm
