// make-photo-jpeg OUT.jpg WIDTH HEIGHT [progressive|baseline] [QUALITY] [444] [declare=WxH]
// Writes a deterministic picture that codes like a photograph: smooth
// lighting gradients, mid-frequency texture and sensor-like noise, so that
// timings reflect real entropy-coded data rather than flat colour.
//   444          no chroma subsampling (as photo editors save at high
//                quality): the most coefficients a progressive decode holds
//   declare=WxH  the frame header then claims W x H: a small real file that
//                declares a huge picture, as a hostile download would
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <jpeglib.h>

namespace {

unsigned char Clamp(double v) {
    return static_cast<unsigned char>(v < 0 ? 0 : v > 255 ? 255 : v + 0.5);
}

// Rewrites the size in the stream's first frame header (SOF0..SOF15 but
// DHT, JPG and DAC); false when there is none.
bool Declare(unsigned char* data, unsigned long size, unsigned width, unsigned height) {
    for (unsigned long at = 2; at + 9 <= size && data[at] == 0xFF;
         at += 2 + (unsigned(data[at + 2]) << 8 | data[at + 3])) {
        const unsigned code = data[at + 1];
        if (code >= 0xC0 && code <= 0xCF && code != 0xC4 && code != 0xC8 && code != 0xCC) {
            data[at + 5] = static_cast<unsigned char>(height >> 8);
            data[at + 6] = static_cast<unsigned char>(height);
            data[at + 7] = static_cast<unsigned char>(width >> 8);
            data[at + 8] = static_cast<unsigned char>(width);
            return true;
        }
    }
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: make-photo-jpeg OUT.jpg WIDTH HEIGHT [progressive|baseline] "
                             "[QUALITY] [444] [declare=WxH]\n");
        return 2;
    }
    const int width = std::atoi(argv[2]);
    const int height = std::atoi(argv[3]);
    const bool progressive = argc > 4 && std::strcmp(argv[4], "progressive") == 0;
    const int quality = argc > 5 ? std::atoi(argv[5]) : 90;
    bool full = false;
    unsigned declaredWidth = 0, declaredHeight = 0;
    for (int i = 6; i < argc; ++i) {
        if (std::strcmp(argv[i], "444") == 0) {
            full = true;
        } else if (std::sscanf(argv[i], "declare=%ux%u", &declaredWidth, &declaredHeight) != 2 ||
                   declaredWidth == 0 || declaredWidth > 65535 || declaredHeight == 0 ||
                   declaredHeight > 65535) {
            std::fprintf(stderr, "bad option %s\n", argv[i]);
            return 2;
        }
    }
    if (width <= 0 || height <= 0) {
        std::fprintf(stderr, "bad size\n");
        return 2;
    }
    std::FILE* out = std::fopen(argv[1], "wb");
    if (out == nullptr) {
        std::perror(argv[1]);
        return 1;
    }

    jpeg_compress_struct cinfo;
    jpeg_error_mgr jerr;
    cinfo.err = jpeg_std_error(&jerr);  // default error_exit ends the process
    jpeg_create_compress(&cinfo);
    unsigned char* bytes = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &bytes, &size);
    cinfo.image_width = static_cast<JDIMENSION>(width);
    cinfo.image_height = static_cast<JDIMENSION>(height);
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, TRUE);
    if (full) {
        for (int c = 0; c < cinfo.num_components; ++c) {
            cinfo.comp_info[c].h_samp_factor = 1;
            cinfo.comp_info[c].v_samp_factor = 1;
        }
    }
    if (progressive) {
        jpeg_simple_progression(&cinfo);
    }
    jpeg_start_compress(&cinfo, TRUE);

    std::vector<unsigned char> row(static_cast<std::size_t>(width) * 3);
    std::uint32_t state = 0x9E3779B9u;
    while (cinfo.next_scanline < cinfo.image_height) {
        const double y = static_cast<double>(cinfo.next_scanline) / height;
        for (int ix = 0; ix < width; ++ix) {
            const double x = static_cast<double>(ix) / width;
            state ^= state << 13;
            state ^= state >> 17;
            state ^= state << 5;
            const double noise = static_cast<double>(state & 0xFF) / 255.0 * 16.0 - 8.0;
            // Sky-to-ground lighting, a soft vignette and some leafy texture.
            const double light = 1.0 - 0.5 * ((x - 0.5) * (x - 0.5) + (y - 0.5) * (y - 0.5));
            const double texture = 24.0 * std::sin(ix * 0.07 + std::sin(cinfo.next_scanline * 0.05) * 3.0) *
                                   std::cos(cinfo.next_scanline * 0.031 + x * 9.0);
            unsigned char* p = row.data() + static_cast<std::size_t>(ix) * 3;
            p[0] = Clamp((90 + 120 * y) * light + texture + noise);
            p[1] = Clamp((140 + 60 * x - 40 * y) * light + texture * 0.8 + noise);
            p[2] = Clamp((220 - 170 * y) * light - texture * 0.5 + noise);
        }
        JSAMPROW line = row.data();
        jpeg_write_scanlines(&cinfo, &line, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    if (declaredWidth != 0 && !Declare(bytes, size, declaredWidth, declaredHeight)) {
        std::fprintf(stderr, "no frame header\n");
        return 1;
    }
    const bool written = std::fwrite(bytes, 1, size, out) == size;
    std::free(bytes);
    if (std::fclose(out) != 0 || !written) {
        std::perror(argv[1]);
        return 1;
    }
    return 0;
}
