// PNG reading through libpng, for the wallpaper conversion.
#pragma once

#include <cstdint>
#include <string>

#include "imaging/jpeg_decode.h"

namespace qm::png {

// The widest and highest picture read; libpng refuses more in its own words
// before anything is allocated.
inline constexpr std::uint32_t kMaxSide = 65535;
// The most one ancillary chunk may take in memory, compressed text and
// colour profiles decompressed included.
inline constexpr std::size_t kChunkMemoryMax = std::size_t{8} << 20;

// Every form (1 to 16 bits, grey, palette, colour, with alpha or a
// transparent colour, interlaced) arrives at the sink as 8-bit RGB (BGR
// when the sink asks), transparency laid over `background` (0xRRGGBB).
// Lines are handed on as they are decoded; an interlaced picture is held
// whole, within the decode's memory cap. Errors go to the "PNG Error" box.
bool Decode(const std::string& path, const jpeg::RowSink& sink, std::uint32_t background);

}  // namespace qm::png
