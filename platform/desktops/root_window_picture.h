// The root window's picture, drawn straight into the server's pixel layout:
// centred on each monitor, stretched to each, or tiled across the whole
// screen from its top left corner. Only what shows is read from the file,
// and each of its rows at most once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "imaging/picture_layout.h"
#include "platform/desktops/wallpaper_desktop.h"

namespace qm::desktops {

using qm::Area;

// How the server stores a true-colour pixel of the screen's depth.
struct PixelFormat {
    int bitsPerPixel = 32;  // 16, 24 or 32
    bool msbFirst = false;  // the image byte order
    std::uint32_t red = 0xff0000, green = 0xff00, blue = 0xff;
};

// A screen-sized image in the server's layout, black where no picture
// falls. `pixels` starts zeroed (a zero pixel is black in true colour).
struct ScreenImage {
    int width = 0, height = 0;
    std::size_t stride = 0;  // bytes per row
    std::uint8_t* pixels = nullptr;
};

// Where a width x height picture goes on a monitor: the monitor itself
// when stretched; filled, the smallest area of the picture's aspect that
// covers it; fitted, the largest that it holds; centred on it either way,
// so that a filled picture reaches past the monitor on two sides.
Area ScaledArea(int width, int height, const Area& monitor, Layout layout);

// Draws the picture file laid out over `monitors` (each centred, stretched,
// filled or fitted picture clipped to its monitor; black where none falls).
// Tiles run across `tiles` from its top left corner (the whole screen when
// none is given). False with the reason when the file cannot be read as a
// picture.
bool DrawWallpaper(const std::string& path, Layout layout, const std::vector<Area>& monitors,
                   const PixelFormat& format, const ScreenImage& screen, std::string& why,
                   const Area* tiles = nullptr);

}  // namespace qm::desktops
