// Writing the wallpaper BMP file.
#pragma once

#include <cstdint>
#include <string>

namespace qm {

// Name of the wallpaper file inside the platform's wallpaper directory.
inline constexpr const char* kWallpaperFileName = "Quillmere Wallpaper.bmp";

// What a wallpaper file leaves free on its volume: one that would leave
// less is not begun, and gets "Error: Can't save as BMP" as a file that
// cannot be made.
inline constexpr std::uint64_t kFreeSpaceMargin = std::uint64_t{64} << 20;

// Decodes `jpegPath` (a JPEG, PNG or WebP picture, by its ending: the name
// is from when JPEG was the only format converted) and writes it as a 24-bit bottom-up BMP to `bmpPath`,
// through a temporary file beside it that replaces `bmpPath` only when
// complete, and only when its volume has room for it and the margin.
// Tells the user about any failure; false then, and `bmpPath` is as it was.
bool ConvertJpegToBmp(const std::string& jpegPath, const std::string& bmpPath);

}  // namespace qm
