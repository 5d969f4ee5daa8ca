// One wallpaper made for every monitor at once, from a picture per monitor:
// for desktops that show a single picture across all of them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/desktop.h"

namespace qm {

// How a monitor's picture lies on it.
enum class Placement { AsItIs, Tiled, Stretched, Filled, Fitted };

struct ComposedPart {
    MonitorRect monitor;
    // A BMP (uncompressed, 24-bit) is read as it is; any other picture is
    // decoded straight into its place, no larger than its layout needs.
    std::string path;
    Placement placement = Placement::AsItIs;
    // Auto-Tile: a picture narrower or lower than this is tiled instead.
    int tileWidth = 0, tileHeight = 0;
};

// The composed picture's size: as wide and as high as the monitors reach
// together. The monitors' point (x, y) falls on its pixel (x mod width,
// y mod height), so the primary monitor's top left is its top left.
struct ComposedSize {
    int width = 0, height = 0;
};
ComposedSize ComposedPictureSize(const std::vector<MonitorRect>& monitors);

// Width and height from an uncompressed 24-bit BMP's header; false for any
// other file.
bool ReadBmp24Size(const std::string& path, int& width, int& height);

// Writes the composed picture to bmpPath through a temporary beside it, as
// the conversion does: each monitor shows its part laid out, centred when
// as it is, tiled from the monitor's top left, or scaled; the background
// colour (0xRRGGBB) shows wherever no picture falls, and on a monitor whose
// file cannot be read or decoded (the user has been told why). Monitors
// that do not overlap are drawn side by side, as RunSideBySide runs them.
// False, after telling the user, when the picture cannot be held or
// written, or when no monitor's picture could be decoded.
bool ComposeWallpaperBmp(const std::vector<ComposedPart>& parts, std::uint32_t background,
                         const std::string& bmpPath);

}  // namespace qm
