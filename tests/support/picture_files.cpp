#include "tests/support/picture_files.h"

#include <stdexcept>

#include <webp/encode.h>
#include <zlib.h>

namespace qm::test {

namespace {

std::string Be32(std::uint32_t v) {
    return {static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8),
            static_cast<char>(v)};
}

}  // namespace

std::string PngChunk(const std::string& type, const std::string& data) {
    const std::string body = type + data;
    const auto crc = crc32(0, reinterpret_cast<const Bytef*>(body.data()), static_cast<uInt>(body.size()));
    return Be32(static_cast<std::uint32_t>(data.size())) + body + Be32(static_cast<std::uint32_t>(crc));
}

std::string PngHead(std::uint32_t width, std::uint32_t height, int depth, int colourType,
                    bool interlaced) {
    std::string ihdr = Be32(width) + Be32(height);
    ihdr += static_cast<char>(depth);
    ihdr += static_cast<char>(colourType);
    ihdr += std::string(2, '\0');
    ihdr += static_cast<char>(interlaced ? 1 : 0);
    return std::string("\x89PNG\r\n\x1a\n", 8) + PngChunk("IHDR", ihdr);
}

std::string EncodePng(const std::vector<std::uint8_t>& pixels, int width, int height, bool alpha) {
    const std::size_t rowBytes = std::size_t(width) * (alpha ? 4 : 3);
    std::string raw;
    for (int y = 0; y < height; ++y) {
        raw += '\0';  // no filter
        raw.append(reinterpret_cast<const char*>(pixels.data()) + y * rowBytes, rowBytes);
    }
    uLongf size = compressBound(static_cast<uLong>(raw.size()));
    std::string packed(size, '\0');
    if (compress(reinterpret_cast<Bytef*>(packed.data()), &size,
                 reinterpret_cast<const Bytef*>(raw.data()), static_cast<uLong>(raw.size())) != Z_OK) {
        throw std::runtime_error("compress failed");
    }
    packed.resize(size);
    return PngHead(static_cast<std::uint32_t>(width), static_cast<std::uint32_t>(height), 8,
                   alpha ? 6 : 2) +
           PngChunk("IDAT", packed) + PngChunk("IEND", "");
}

std::string DeflatedZeros(std::uint64_t bytes) {
    z_stream z{};
    if (deflateInit(&z, 9) != Z_OK) {
        throw std::runtime_error("deflateInit failed");
    }
    static const std::string zeros(1 << 20, '\0');
    std::string out;
    char buffer[1 << 16];
    for (;;) {
        const std::uint64_t piece = bytes < zeros.size() ? bytes : zeros.size();
        bytes -= piece;
        z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(zeros.data()));
        z.avail_in = static_cast<uInt>(piece);
        const int flush = bytes == 0 ? Z_FINISH : Z_NO_FLUSH;
        do {
            z.next_out = reinterpret_cast<Bytef*>(buffer);
            z.avail_out = sizeof buffer;
            deflate(&z, flush);
            out.append(buffer, sizeof buffer - z.avail_out);
        } while (z.avail_out == 0);
        if (flush == Z_FINISH) {
            break;
        }
    }
    deflateEnd(&z);
    return out;
}

std::string EncodeWebp(const std::vector<std::uint8_t>& pixels, int width, int height, bool alpha,
                       bool lossless) {
    std::uint8_t* out = nullptr;
    const int stride = width * (alpha ? 4 : 3);
    std::size_t size;
    if (lossless) {
        size = alpha ? WebPEncodeLosslessRGBA(pixels.data(), width, height, stride, &out)
                     : WebPEncodeLosslessRGB(pixels.data(), width, height, stride, &out);
    } else {
        size = alpha ? WebPEncodeRGBA(pixels.data(), width, height, stride, 80, &out)
                     : WebPEncodeRGB(pixels.data(), width, height, stride, 80, &out);
    }
    if (size == 0) {
        throw std::runtime_error("WebP encoding failed");
    }
    std::string bytes(reinterpret_cast<const char*>(out), size);
    WebPFree(out);
    return bytes;
}

}  // namespace qm::test
