// The formats the wallpaper conversion reads, behind one interface: each
// decoder opens its file, refuses what it cannot hold before any large
// allocation, and hands its lines to the same row sink the BMP writer is,
// so the writer never knows the format. Each library stays in its own
// file (jpeg_file.cpp, png_file.cpp, webp_file.cpp), errors included.
#pragma once

#include <cstdint>
#include <string>

#include "imaging/jpeg_decode.h"

namespace qm::picture {

using RowSink = jpeg::RowSink;

enum class Format { Bmp, Jpeg, Png, WebP };

// By the name's ending, without regard to case, in the process's code
// page: ".jpg" and ".jpeg", ".png", ".webp"; anything else is a BMP, used
// where it lies.
Format FormatOf(const std::string& path);
// Whether the name's ending is one the image list takes (the four above
// and ".bmp").
bool IsPictureName(const std::string& name);

// The colour transparent parts of a picture are laid over, 0xRRGGBB: the
// desktop's own background colour.
std::uint32_t BackgroundColour();

// Decodes the file by its format (a BMP is not decoded: false), feeding
// the sink. False after a failure the user has been told about, or one the
// sink refused.
bool Decode(const std::string& path, const RowSink& sink);

// Lays a row of 4-byte pixels with alpha last over the background, giving
// 3-byte pixels in the same channel order; `background` holds the three
// background bytes in that order.
void CompositeRow(const std::uint8_t* withAlpha, std::uint32_t width, std::uint8_t* out,
                  const std::uint8_t background[3]);

// The background's three bytes, blue first when `bgr`.
void BackgroundBytes(std::uint32_t colour, bool bgr, std::uint8_t out[3]);

// The box for a picture too big to hold, naming the reader as the JPEG
// one does ("PngFile", "WebpFile").
void ReportOutOfMemory(const char* reader);

// Whether `extra` more bytes fit in the decode's memory cap beside what
// the sink holds.
bool FitsMemoryCap(std::size_t held, std::uint64_t extra);

}  // namespace qm::picture
