// JPEG reading through libjpeg, and the in-place pixel-buffer utilities the
// wallpaper writer uses.
#pragma once

#include <cstdint>
#include <string>

namespace qm {

class JpegFile {
public:
    // Decodes the whole file into a new RGB buffer (width * height * 3 bytes,
    // rows top to bottom, no padding) that the caller releases with
    // delete[]. Null on failure, after telling the user why.
    static std::uint8_t* DecodeToRgb(const std::string& path, std::uint32_t& width,
                                     std::uint32_t& height);

    static void CopyRgbRow(const std::uint8_t* src, int width, std::uint8_t* dest, int row);
    static void ExpandGrayRow(const std::uint8_t* src, int width, std::uint8_t* dest, int row);

    // RGB <-> BGR in place; false only for a null buffer.
    static bool SwapRedBlue(std::uint8_t* buffer, std::uint32_t width, std::uint32_t height);
    // Reverses the row order in place; false (buffer unchanged) for a null
    // buffer or when no temporary row can be had.
    static bool FlipRows(std::uint8_t* buffer, std::uint32_t rowBytes, std::uint32_t rowCount);
};

}  // namespace qm
