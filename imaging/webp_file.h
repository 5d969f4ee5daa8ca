// WebP reading through libwebp, for the wallpaper conversion.
#pragma once

#include <cstdint>
#include <string>

#include "imaging/jpeg_decode.h"

namespace qm::webp {

// Lossy, lossless, with or without alpha, and the first frame of an
// animation arrive at the sink as 8-bit RGB (BGR when the sink asks),
// transparency laid over `background` (0xRRGGBB). The library decodes the
// picture whole: the file, the picture and the library's own working
// memory are counted against the decode's memory cap before any of it is
// taken. Errors go to the "WebP Error" box.
bool Decode(const std::string& path, const jpeg::RowSink& sink, std::uint32_t background);

// The text shown for a status the library returns (VP8StatusCode).
const char* StatusText(int status);

}  // namespace qm::webp
