// PNG and WebP files made by the tests: PNGs chunk by chunk (so that any
// chunk can be damaged, added or made huge), WebPs through libwebp's
// encoder.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qm::test {

// One chunk: length, type, data, CRC.
std::string PngChunk(const std::string& type, const std::string& data);
// The signature and an IHDR.
std::string PngHead(std::uint32_t width, std::uint32_t height, int depth, int colourType,
                    bool interlaced = false);
// A whole 8-bit PNG of `pixels` (RGB, or RGBA when alpha), not interlaced.
std::string EncodePng(const std::vector<std::uint8_t>& pixels, int width, int height, bool alpha);
// zlib's stream of `bytes` zero bytes, made in pieces: a bomb's payload.
std::string DeflatedZeros(std::uint64_t bytes);

// A WebP of `pixels` (RGB, or RGBA when alpha), lossless or at quality 80.
std::string EncodeWebp(const std::vector<std::uint8_t>& pixels, int width, int height, bool alpha,
                       bool lossless);

}  // namespace qm::test
