// Writing the wallpaper BMP file.
#pragma once

#include <string>

namespace qm {

// Name of the wallpaper file inside the platform's wallpaper directory.
inline constexpr const char* kWallpaperFileName = "Quillmere Wallpaper.bmp";

// Decodes `jpegPath` and writes it as a 24-bit bottom-up BMP to `bmpPath`,
// through a temporary file beside it that replaces `bmpPath` only when
// complete. Tells the user about any failure; false then, and `bmpPath` is
// as it was.
bool ConvertJpegToBmp(const std::string& jpegPath, const std::string& bmpPath);

}  // namespace qm
