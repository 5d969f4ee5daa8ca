// Test pictures made by our own code: JPEGs through libjpeg's compressor,
// BMPs byte by byte.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qm::test {

// TwoComponent: two samples a pixel (red and green of the RGB input) in no
// known colour space, which decoders cannot turn into colours.
enum class JpegKind { Baseline, Progressive, Gray, Cmyk, Ycck, AdobeInvertedCmyk, TwoComponent };

// Deterministic RGB pixels (rows top to bottom, no padding) with a little
// structure so that decoding errors show.
std::vector<std::uint8_t> MakeRgbPattern(int width, int height, std::uint32_t seed = 1);

// Encodes pixels (3 bytes a pixel, or 1 for Gray) as a JPEG file's bytes.
std::string EncodeJpeg(const std::vector<std::uint8_t>& pixels, int width, int height,
                       JpegKind kind = JpegKind::Baseline, int quality = 90);

// A JPEG of the pattern, written to path.
void WriteJpeg(const std::string& path, int width, int height,
               JpegKind kind = JpegKind::Baseline, int quality = 90);

// The bytes of a BMP file header carrying the given size fields (enough for
// the size read; no pixels).
std::string BmpHeader(std::int32_t width, std::int32_t height);

}  // namespace qm::test
