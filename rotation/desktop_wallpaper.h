// The desktop's layout values and the wallpaper call.
#pragma once

#include <optional>
#include <string>

namespace qm {

class DesktopWallpaper {
public:
    // Longest path the desktop is handed, terminator included.
    static constexpr std::size_t kPathBuffer = 256;

    // Writes "TileWallpaper" then "WallpaperStyle", creating the key if need be.
    static void WriteStyle(const std::string& tile, const std::string& style);
    // Writes "TileWallpaper" into the existing key only.
    static void WriteTile(const std::string& tile);
    static bool ReadTile();
    static std::optional<std::string> ReadWallpaperPath();
    // Shows the file as the wallpaper. A path that does not fit the
    // desktop's buffer is not handed over at all: cut short it would name
    // another file.
    static void SetWallpaper(const std::string& path);
};

}  // namespace qm
