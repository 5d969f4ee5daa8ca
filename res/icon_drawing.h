// The program's icon as a drawing: a framed landscape (sky, sun, two hills
// inside a dark border) in the 16-colour palette, at any square size. The
// Windows icon file (tools/make_icon.cpp), the Linux icon theme's PNGs and
// the Qt backend's tray and about-box icons are all drawn from it.
#pragma once

#include <cstdint>

namespace qm::icon {

// The standard 16-colour palette, as red, green, blue.
extern const std::uint8_t kPalette[16][3];

// Palette index of pixel (x, y), y counted from the top, in an n x n image.
std::uint8_t PixelIndex(int x, int y, int n);

}  // namespace qm::icon
