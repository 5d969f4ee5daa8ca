#include "tests/support/test_images.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <stdexcept>

#include <jpeglib.h>

namespace qm::test {

namespace {

// The encoder is only fed our own well-formed input, so a library error is
// a bug in the test; abort loudly rather than unwind through C frames.
void EncoderErrorExit(j_common_ptr cinfo) {
    char message[JMSG_LENGTH_MAX];
    (*cinfo->err->format_message)(cinfo, message);
    std::fprintf(stderr, "test JPEG encoder: %s\n", message);
    std::abort();
}

void PutU32(std::string& s, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        s[at + i] = static_cast<char>(v >> (8 * i));
    }
}

// Plain ink amounts for an RGB pixel, black taken out first so that K is
// exercised: decoding (255-c)*(255-k)/255 gives the pixel back.
void RgbToCmyk(const std::uint8_t* rgb, std::uint8_t* cmyk) {
    unsigned mx = rgb[0];
    if (rgb[1] > mx) mx = rgb[1];
    if (rgb[2] > mx) mx = rgb[2];
    for (int i = 0; i < 3; ++i) {
        cmyk[i] = mx == 0 ? 0 : static_cast<std::uint8_t>(((mx - rgb[i]) * 255 + mx / 2) / mx);
    }
    cmyk[3] = static_cast<std::uint8_t>(255 - mx);
}

}  // namespace

std::vector<std::uint8_t> MakeRgbPattern(int width, int height, std::uint32_t seed) {
    std::vector<std::uint8_t> pixels(std::size_t(width) * height * 3);
    std::uint32_t state = seed * 2654435761u + 12345u;
    std::uint8_t* p = pixels.data();
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x, p += 3) {
            state = state * 1664525u + 1013904223u;
            const int noise = static_cast<int>((state >> 24) & 15) - 8;
            // Gradients that differ per channel catch swapped channels and
            // flipped rows or columns; the noise catches off-by-one copies.
            const int r = width > 1 ? x * 255 / (width - 1) : 128;
            const int g = height > 1 ? y * 255 / (height - 1) : 128;
            const int b = ((x / 8 + y / 8) & 1) ? 200 : 60;
            auto clamp = [](int v) { return static_cast<std::uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v); };
            p[0] = clamp(r + noise);
            p[1] = clamp(g - noise);
            p[2] = clamp(b + noise);
        }
    }
    return pixels;
}

std::string EncodeJpeg(const std::vector<std::uint8_t>& pixels, int width, int height,
                       JpegKind kind, int quality) {
    jpeg_compress_struct cinfo;
    jpeg_error_mgr jerr;
    cinfo.err = jpeg_std_error(&jerr);
    jerr.error_exit = EncoderErrorExit;
    jpeg_create_compress(&cinfo);
    unsigned char* out = nullptr;
    unsigned long outSize = 0;
    jpeg_mem_dest(&cinfo, &out, &outSize);

    cinfo.image_width = static_cast<JDIMENSION>(width);
    cinfo.image_height = static_cast<JDIMENSION>(height);
    const bool cmyk = kind == JpegKind::Cmyk || kind == JpegKind::Ycck ||
                      kind == JpegKind::AdobeInvertedCmyk;
    if (kind == JpegKind::Gray) {
        cinfo.input_components = 1;
        cinfo.in_color_space = JCS_GRAYSCALE;
    } else if (cmyk) {
        cinfo.input_components = 4;
        cinfo.in_color_space = JCS_CMYK;
    } else if (kind == JpegKind::TwoComponent) {
        cinfo.input_components = 2;
        cinfo.in_color_space = JCS_UNKNOWN;
    } else {
        cinfo.input_components = 3;
        cinfo.in_color_space = JCS_RGB;
    }
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, TRUE);
    if (kind == JpegKind::Progressive) {
        jpeg_simple_progression(&cinfo);
    }
    if (kind == JpegKind::Ycck) {
        jpeg_set_colorspace(&cinfo, JCS_YCCK);  // writes an Adobe marker
    } else if (kind == JpegKind::Cmyk) {
        jpeg_set_colorspace(&cinfo, JCS_CMYK);
        cinfo.write_Adobe_marker = FALSE;
    } else if (kind == JpegKind::AdobeInvertedCmyk) {
        jpeg_set_colorspace(&cinfo, JCS_CMYK);
        cinfo.write_Adobe_marker = TRUE;
    }

    // With an Adobe marker readers take the inks as stored inverted.
    const bool inverted = kind == JpegKind::Ycck || kind == JpegKind::AdobeInvertedCmyk;
    std::vector<std::uint8_t> row(std::size_t(width) * 4);
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        const std::size_t y = cinfo.next_scanline;
        JSAMPROW line;
        if (cmyk) {
            const std::uint8_t* src = pixels.data() + y * std::size_t(width) * 3;
            for (int x = 0; x < width; ++x) {
                std::uint8_t* ink = row.data() + std::size_t(x) * 4;
                RgbToCmyk(src + std::size_t(x) * 3, ink);
                if (inverted) {
                    for (int i = 0; i < 4; ++i) ink[i] = static_cast<std::uint8_t>(255 - ink[i]);
                }
            }
            line = row.data();
        } else if (kind == JpegKind::TwoComponent) {
            const std::uint8_t* src = pixels.data() + y * std::size_t(width) * 3;
            for (int x = 0; x < width; ++x) {
                row[std::size_t(x) * 2] = src[std::size_t(x) * 3];
                row[std::size_t(x) * 2 + 1] = src[std::size_t(x) * 3 + 1];
            }
            line = row.data();
        } else {
            const std::size_t bpp = kind == JpegKind::Gray ? 1 : 3;
            line = const_cast<JSAMPROW>(pixels.data() + y * std::size_t(width) * bpp);
        }
        jpeg_write_scanlines(&cinfo, &line, 1);
    }
    jpeg_finish_compress(&cinfo);
    std::string bytes(reinterpret_cast<const char*>(out), outSize);
    jpeg_destroy_compress(&cinfo);
    std::free(out);
    return bytes;
}

void WriteJpeg(const std::string& path, int width, int height, JpegKind kind, int quality) {
    std::vector<std::uint8_t> pixels = MakeRgbPattern(width, height);
    if (kind == JpegKind::Gray) {
        std::vector<std::uint8_t> gray(std::size_t(width) * height);
        for (std::size_t i = 0; i < gray.size(); ++i) {
            const std::uint8_t* p = pixels.data() + i * 3;
            gray[i] = static_cast<std::uint8_t>((p[0] * 77 + p[1] * 150 + p[2] * 29) >> 8);
        }
        pixels.swap(gray);
    }
    const std::string bytes = EncodeJpeg(pixels, width, height, kind, quality);
    std::ofstream out(path, std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) {
        throw std::runtime_error("cannot write " + path);
    }
}

std::string BmpHeader(std::int32_t width, std::int32_t height) {
    std::string h(54, '\0');
    h[0] = 'B';
    h[1] = 'M';
    const std::uint32_t w = static_cast<std::uint32_t>(width);
    const std::uint32_t absH = static_cast<std::uint32_t>(height < 0 ? -std::int64_t{height} : height);
    const std::uint32_t rowBytes = ((w * 24 + 31) / 32) * 4;
    PutU32(h, 2, 54 + rowBytes * absH);
    PutU32(h, 10, 54);
    PutU32(h, 14, 40);
    PutU32(h, 18, w);
    PutU32(h, 22, static_cast<std::uint32_t>(height));
    h[26] = 1;
    h[28] = 24;
    return h;
}

}  // namespace qm::test
