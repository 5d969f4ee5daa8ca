// Writes the program's icon (res/icon_drawing.cpp) as files:
//   make-icon <output.ico>        16, 20, 24, 32, 40, 48 and 64 pixels square
//                                 (the small and large icons at 100 % to 200 %),
//                                 16 colours each, opaque
//   make-icon --png N <output.png>  N x N, 24-bit, for the Linux icon theme
// The .ico is committed as res/quillmere.ico; rerun this after changing the
// drawing. The PNGs are made at build time.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "res/icon_drawing.h"

namespace {

using qm::icon::kPalette;
using qm::icon::PixelIndex;

void Put16(std::vector<std::uint8_t>& out, unsigned v) {
    out.push_back(static_cast<std::uint8_t>(v));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}

void Put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}

// One icon image: BITMAPINFOHEADER (height doubled for the mask), palette,
// 4-bit colour rows and 1-bit AND-mask rows, both bottom-up and padded to
// 4 bytes.
std::vector<std::uint8_t> Image(int n) {
    const unsigned xorStride = ((n * 4 + 31) / 32) * 4;
    const unsigned andStride = ((n + 31) / 32) * 4;
    const unsigned pixelBytes = (xorStride + andStride) * n;
    std::vector<std::uint8_t> out;
    Put32(out, 40);
    Put32(out, static_cast<std::uint32_t>(n));
    Put32(out, static_cast<std::uint32_t>(2 * n));
    Put16(out, 1);  // planes
    Put16(out, 4);  // bits per pixel
    Put32(out, 0);  // uncompressed
    Put32(out, pixelBytes);
    Put32(out, 0);
    Put32(out, 0);
    Put32(out, 0);
    Put32(out, 0);
    for (const auto& c : kPalette) {
        out.push_back(c[2]);
        out.push_back(c[1]);
        out.push_back(c[0]);
        out.push_back(0);
    }
    for (int y = n - 1; y >= 0; --y) {
        std::vector<std::uint8_t> row(xorStride, 0);
        for (int x = 0; x < n; ++x) {
            const std::uint8_t p = PixelIndex(x, y, n);
            row[x / 2] |= (x % 2 == 0) ? static_cast<std::uint8_t>(p << 4) : p;
        }
        out.insert(out.end(), row.begin(), row.end());
    }
    // An all-zero mask: every pixel opaque.
    out.insert(out.end(), static_cast<std::size_t>(andStride) * n, 0);
    return out;
}


void PutBig32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) {
        out.push_back(static_cast<std::uint8_t>(v >> shift));
    }
}

std::uint32_t Crc32(const std::uint8_t* data, std::size_t size) {
    std::uint32_t crc = 0xFFFFFFFFu;
    for (std::size_t i = 0; i < size; ++i) {
        crc ^= data[i];
        for (int k = 0; k < 8; ++k) {
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
        }
    }
    return ~crc;
}

void Chunk(std::vector<std::uint8_t>& out, const char* type, const std::vector<std::uint8_t>& data) {
    PutBig32(out, static_cast<std::uint32_t>(data.size()));
    const std::size_t start = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data.begin(), data.end());
    PutBig32(out, Crc32(out.data() + start, out.size() - start));
}

// An n x n truecolour PNG. The image data is a zlib stream of stored
// (uncompressed) blocks: no compression library needed for a few icons.
std::vector<std::uint8_t> Png(int n) {
    std::vector<std::uint8_t> raw;
    for (int y = 0; y < n; ++y) {
        raw.push_back(0);  // filter: none
        for (int x = 0; x < n; ++x) {
            const auto& c = kPalette[PixelIndex(x, y, n)];
            raw.insert(raw.end(), c, c + 3);
        }
    }
    std::vector<std::uint8_t> zlib = {0x78, 0x01};
    std::size_t done = 0;
    do {
        const std::size_t block = std::min<std::size_t>(raw.size() - done, 65535);
        zlib.push_back(done + block == raw.size() ? 1 : 0);  // last block?
        Put16(zlib, static_cast<unsigned>(block));
        Put16(zlib, static_cast<unsigned>(~block & 0xFFFF));
        zlib.insert(zlib.end(), raw.begin() + static_cast<std::ptrdiff_t>(done),
                    raw.begin() + static_cast<std::ptrdiff_t>(done + block));
        done += block;
    } while (done < raw.size());
    std::uint32_t a = 1, b = 0;  // Adler-32 of the raw data
    for (std::uint8_t byte : raw) {
        a = (a + byte) % 65521;
        b = (b + a) % 65521;
    }
    PutBig32(zlib, (b << 16) | a);

    std::vector<std::uint8_t> out = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::vector<std::uint8_t> header;
    PutBig32(header, static_cast<std::uint32_t>(n));
    PutBig32(header, static_cast<std::uint32_t>(n));
    header.insert(header.end(), {8, 2, 0, 0, 0});  // 8-bit RGB, no interlace
    Chunk(out, "IHDR", header);
    Chunk(out, "IDAT", zlib);
    Chunk(out, "IEND", {});
    return out;
}

std::vector<std::uint8_t> Ico() {
    const int sizes[] = {16, 20, 24, 32, 40, 48, 64};
    std::vector<std::vector<std::uint8_t>> images;
    for (int n : sizes) {
        images.push_back(Image(n));
    }

    std::vector<std::uint8_t> file;
    Put16(file, 0);  // reserved
    Put16(file, 1);  // icon
    Put16(file, static_cast<unsigned>(images.size()));
    std::uint32_t offset = 6 + 16 * static_cast<std::uint32_t>(images.size());
    for (std::size_t i = 0; i < images.size(); ++i) {
        file.push_back(static_cast<std::uint8_t>(sizes[i]));
        file.push_back(static_cast<std::uint8_t>(sizes[i]));
        file.push_back(16);  // colours
        file.push_back(0);
        Put16(file, 1);  // planes
        Put16(file, 4);  // bits per pixel
        Put32(file, static_cast<std::uint32_t>(images[i].size()));
        Put32(file, offset);
        offset += static_cast<std::uint32_t>(images[i].size());
    }
    for (const auto& image : images) {
        file.insert(file.end(), image.begin(), image.end());
    }
    return file;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::uint8_t> file;
    const char* path = nullptr;
    if (argc == 2) {
        file = Ico();
        path = argv[1];
    } else if (argc == 4 && std::string(argv[1]) == "--png" && std::atoi(argv[2]) >= 16 &&
               std::atoi(argv[2]) <= 1024) {
        file = Png(std::atoi(argv[2]));
        path = argv[3];
    } else {
        std::fprintf(stderr, "usage: make-icon <output.ico>\n       make-icon --png SIZE <output.png>\n");
        return 2;
    }

    std::FILE* f = std::fopen(path, "wb");
    if (f == nullptr) {
        std::perror(path);
        return 1;
    }
    const bool ok = std::fwrite(file.data(), 1, file.size(), f) == file.size();
    if (std::fclose(f) != 0 || !ok) {
        std::fprintf(stderr, "%s: write failed\n", path);
        return 1;
    }
    return 0;
}
