// Unusual and hostile JPEG streams made by our own code: restart markers,
// arithmetic coding, hand-made frame headers, streams with no image.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qm::test {

struct JpegOptions {
    int restartRows = 0;      // restart marker every this many MCU rows; 0 none
    bool arithmetic = false;  // arithmetic coding (SOF9) instead of Huffman
    int quality = 90;
};

// Encodes RGB pixels; false (out untouched) when the library refuses the
// options, e.g. a build without arithmetic coding.
bool EncodeJpegWith(const std::vector<std::uint8_t>& rgb, int width, int height,
                    const JpegOptions& options, std::string& out);

// SOI, quantisation table, a frame header of the given marker (0xC0 baseline,
// 0xC1 extended, 0xC9 arithmetic, ...), precision and size, one component,
// one-code Huffman tables, a scan header, two bytes of data and EOI: enough
// for the library to start decoding.
std::string HandMadeJpeg(std::uint8_t sofMarker, std::uint8_t precision, std::uint16_t width,
                         std::uint16_t height);

// The stream with its frame header (the first SOF marker) declaring
// width x height instead: a small file, scan data and all, that claims a
// picture of any size. Unchanged when it has no frame header.
std::string WithDeclaredSize(std::string bytes, std::uint16_t width, std::uint16_t height);

// SOI, a JFIF APP0, an APP1, a comment and EOI: markers but no image.
std::string MetadataOnlyJpeg();

// Width x height that the stream's frame header declares, read by the
// library; 0 when no header can be read.
std::uint64_t DeclaredPixels(const std::string& bytes);

// Flips `flips` bits of bytes, chosen by a generator seeded with `seed`.
std::string FlipBits(std::string bytes, std::uint32_t seed, int flips);

}  // namespace qm::test
