// Writing the wallpaper BMP file.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/desktop.h"

namespace qm {

// Name of the wallpaper file inside the platform's wallpaper directory.
inline constexpr const char* kWallpaperFileName = "Quillmere Wallpaper.bmp";
// The file of the n-th monitor's own picture (from 1), when each shows one.
std::string WallpaperFileName(std::size_t monitor);
// Removes each monitor's file that is not among `keep` (numbers from 1):
// those of monitors gone, or of a set now composed or shown as one picture,
// which no desktop shows any more.
void RemoveMonitorFiles(const std::vector<std::size_t>& keep);
// fileName in the platform's wallpaper folder; "" after telling the user
// when there is no folder of its own to be had.
std::string WallpaperPath(const std::string& fileName);

// What a wallpaper file leaves free on its volume: one that would leave
// less is not begun, and gets "Error: Can't save as BMP" as a file that
// cannot be made.
inline constexpr std::uint64_t kFreeSpaceMargin = std::uint64_t{64} << 20;

// A 24-bit bottom-up BMP's file header and BITMAPINFOHEADER, little-endian
// whatever the host: kBmpHeaderBytes bytes.
inline constexpr std::uint32_t kBmpHeaderBytes = 54;
void MakeBmpHeader(std::uint8_t* header, std::uint32_t width, std::uint32_t height,
                   std::uint32_t fileSize);

// A picture filled (covering each monitor, the overflow cropped) or fitted
// (whole, as large as each monitor allows) on these monitors.
struct ScaleGoal {
    bool fill = true;
    std::vector<MonitorRect> monitors;
};

// The smallest of the decoder's scales, 1/1, 1/2, 1/4 or 1/8 (its
// denominator), at which a width x height picture, decoded at
// ceil(size / d), still has a pixel of its own for every screen pixel
// of the monitor that needs the most of it; 1 when no monitor is known.
unsigned ScaleDenominator(std::uint32_t width, std::uint32_t height, const ScaleGoal& goal);

// Decodes `jpegPath` (a JPEG, PNG or WebP picture, by its ending: the name
// is from when JPEG was the only format converted) and writes it as a
// 24-bit bottom-up BMP to `bmpPath`,
// through a temporary file beside it that replaces `bmpPath` only when
// complete, and only when its volume has room for it and the margin.
// With a goal, a JPEG at the scale ScaleDenominator gives; otherwise (and
// a PNG or WebP always) full size.
// Tells the user about any failure; false then, and `bmpPath` is as it was.
bool ConvertJpegToBmp(const std::string& jpegPath, const std::string& bmpPath,
                      const ScaleGoal* goal = nullptr);

// One picture of a set, converted as ConvertJpegToBmp converts it.
struct Conversion {
    std::string picturePath, bmpPath;
    std::optional<ScaleGoal> goal;
    bool written = false;  // bmpPath holds the new picture
};
// Converts a set's pictures, side by side as RunSideBySide runs them.
void ConvertAll(std::vector<Conversion>& conversions);

}  // namespace qm
