// Writes the fuzzers' starting inputs, all made by our own code:
//   make-fuzz-seeds OUTDIR
// gives OUTDIR/<target>/<name> for every target. Nothing here is committed;
// fuzz/run.sh regenerates it before each run.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include <webp/encode.h>
#include <webp/mux.h>

#include "tests/support/jpeg_variants.h"
#include "tests/support/picture_files.h"
#include "tests/support/test_images.h"

namespace fs = std::filesystem;
using namespace qm::test;

namespace {

fs::path g_out;

void Put(const std::string& target, const std::string& name, const std::string& bytes) {
    fs::create_directories(g_out / target);
    std::ofstream(g_out / target / name, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string Bytes(std::mt19937& gen, std::size_t n) {
    std::string s(n, '\0');
    for (char& c : s) {
        c = static_cast<char>(gen());
    }
    return s;
}

std::vector<std::pair<std::string, std::string>> Jpegs() {
    std::vector<std::pair<std::string, std::string>> out;
    struct Size {
        int w, h;
    };
    const JpegKind kinds[] = {JpegKind::Baseline, JpegKind::Progressive, JpegKind::Gray,
                              JpegKind::Cmyk, JpegKind::Ycck, JpegKind::AdobeInvertedCmyk};
    const char* names[] = {"baseline", "progressive", "gray", "cmyk", "ycck", "adobe-cmyk"};
    for (int k = 0; k < 6; ++k) {
        for (Size s : {Size{1, 1}, Size{3, 5}, Size{17, 9}, Size{40, 24}}) {
            std::vector<std::uint8_t> px = MakeRgbPattern(s.w, s.h, static_cast<std::uint32_t>(k));
            if (kinds[k] == JpegKind::Gray) {
                px.resize(std::size_t(s.w) * s.h);
            }
            out.emplace_back(std::string(names[k]) + "-" + std::to_string(s.w) + "x" + std::to_string(s.h) + ".jpg",
                             EncodeJpeg(px, s.w, s.h, kinds[k], 75));
        }
    }
    const std::vector<std::uint8_t> px = MakeRgbPattern(33, 19, 9);
    std::string bytes;
    if (EncodeJpegWith(px, 33, 19, {1, false, 80}, bytes)) {
        out.emplace_back("restart.jpg", bytes);
        out.emplace_back("restart-cut.jpg", bytes.substr(0, bytes.size() / 2));
    }
    if (EncodeJpegWith(px, 33, 19, {0, true, 80}, bytes)) {
        out.emplace_back("arithmetic.jpg", bytes);
    }
    out.emplace_back("sof1-12bit.jpg", HandMadeJpeg(0xC1, 12, 8, 8));
    out.emplace_back("sof9-header.jpg", HandMadeJpeg(0xC9, 8, 8, 8));
    out.emplace_back("sof0-tiny.jpg", HandMadeJpeg(0xC0, 8, 9, 3));
    out.emplace_back("metadata-only.jpg", MetadataOnlyJpeg());
    // Small real files that declare huge pictures: beyond any BMP, and
    // within one but beyond what a decode may buffer.
    const std::string small = EncodeJpeg(MakeRgbPattern(24, 16, 5), 24, 16, JpegKind::Progressive, 75);
    out.emplace_back("progressive-declares-65500x65500.jpg", WithDeclaredSize(small, 65500, 65500));
    out.emplace_back("progressive-declares-20000x20000.jpg", WithDeclaredSize(small, 20000, 20000));
    out.emplace_back("baseline-declares-20000x20000.jpg",
                     WithDeclaredSize(EncodeJpeg(MakeRgbPattern(24, 16, 6), 24, 16), 20000, 20000));
    out.emplace_back("a-bmp.jpg", BmpHeader(4, 4) + std::string(48, '\x7f'));
    return out;
}

// A two-frame animation, the second frame smaller and offset, through the
// library's own animation encoder.
std::string AnimatedWebp() {
    WebPAnimEncoderOptions options;
    WebPConfig config;
    if (!WebPAnimEncoderOptionsInit(&options) || !WebPConfigInit(&config)) {
        return "";
    }
    WebPAnimEncoder* encoder = WebPAnimEncoderNew(12, 8, &options);
    std::string out;
    WebPPicture frame;
    if (encoder != nullptr && WebPPictureInit(&frame)) {
        frame.width = 12;
        frame.height = 8;
        frame.use_argb = 1;
        std::vector<std::uint8_t> rgba(12 * 8 * 4);
        for (std::size_t i = 0; i < rgba.size(); ++i) {
            rgba[i] = static_cast<std::uint8_t>(i * 37 + (i % 4 == 3 ? 128 : 0));
        }
        WebPData data{nullptr, 0};
        if (WebPPictureImportRGBA(&frame, rgba.data(), 12 * 4) &&
            WebPAnimEncoderAdd(encoder, &frame, 0, &config) &&
            WebPAnimEncoderAdd(encoder, &frame, 100, &config) &&
            WebPAnimEncoderAdd(encoder, nullptr, 200, &config) &&
            WebPAnimEncoderAssemble(encoder, &data)) {
            out.assign(reinterpret_cast<const char*>(data.bytes), data.size);
        }
        WebPDataClear(&data);
        WebPPictureFree(&frame);
    }
    WebPAnimEncoderDelete(encoder);
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTDIR\n", argv[0]);
        return 2;
    }
    g_out = argv[1];
    std::mt19937 gen(20240521);

    for (const auto& [name, bytes] : Jpegs()) {
        Put("decode", name, bytes);
        Put("wallpaper_bmp", name, bytes);
    }

    // PNGs: colour and with alpha, plain and interlaced, a palette, a
    // grey 16-bit picture, and a header declaring a huge picture.
    for (bool alpha : {false, true}) {
        const std::vector<std::uint8_t> px = MakeRgbPattern(alpha ? 12 : 17, 9, 3);
        std::vector<std::uint8_t> rgba;
        for (std::size_t i = 0; i < px.size(); i += 3) {
            rgba.insert(rgba.end(), {px[i], px[i + 1], px[i + 2], static_cast<std::uint8_t>(i * 5)});
        }
        const int w = alpha ? 12 : 17;
        Put("png", alpha ? "rgba.png" : "rgb.png", EncodePng(alpha ? rgba : px, w, 9, alpha));
        Put("webp", alpha ? "lossy-alpha.webp" : "lossy.webp", EncodeWebp(alpha ? rgba : px, w, 9, alpha, false));
        Put("webp", alpha ? "lossless-alpha.webp" : "lossless.webp", EncodeWebp(alpha ? rgba : px, w, 9, alpha, true));
    }
    const std::string rows = DeflatedZeros(9 * (1 + 5 * 2));
    Put("png", "grey16-adam7.png", PngHead(5, 9, 16, 0, true) + PngChunk("IDAT", DeflatedZeros(9 * 11 * 2)) + PngChunk("IEND", ""));
    Put("png", "palette4.png", PngHead(7, 3, 4, 3) + PngChunk("PLTE", std::string(48, '\x40')) +
                                   PngChunk("tRNS", std::string(3, '\x80')) +
                                   PngChunk("IDAT", DeflatedZeros(3 * 5)) + PngChunk("IEND", ""));
    Put("png", "declares-65535x65535.png", PngHead(65535, 65535, 8, 2) + PngChunk("IDAT", rows) + PngChunk("IEND", ""));
    Put("webp", "animated.webp", AnimatedWebp());

    // BMP headers of many sizes, whole and cut, plus the thresholds and
    // flags the target takes from the end of its input.
    const std::int32_t sizes[][2] = {{1, 1}, {300, 2000}, {301, 301}, {0, 0}, {-5, 7}, {7, -5}, {65500, 1}};
    int n = 0;
    for (const auto& s : sizes) {
        const std::string header = BmpHeader(s[0], s[1]);
        for (std::size_t cut : {header.size(), std::size_t{26}, std::size_t{25}, std::size_t{10}}) {
            Put("style_bmp", "bmp" + std::to_string(n++), header.substr(0, cut) + Bytes(gen, 13));
        }
    }
    Put("style_bmp", "jpeg-as-bmp", EncodeJpeg(MakeRgbPattern(5, 5), 5, 5) + Bytes(gen, 13));

    // The structured targets read their choices from arbitrary bytes; a
    // spread of lengths, and name-like text that the string reader splits
    // at a backslash.
    for (int i = 0; i < 12; ++i) {
        const std::size_t len = std::size_t(16) << (i % 7);
        Put("settings", "random" + std::to_string(i), Bytes(gen, len));
        Put("image_list", "random" + std::to_string(i), Bytes(gen, len));
        Put("compose", "random" + std::to_string(i), Bytes(gen, len));
    }
    std::string names = "C:\\Pics\\x";
    for (const char* f : {"A.BMP", "b.Jpg", "c.jpeg", "d.gif", "e.bmp", "Sunset.JPG", "bmp", "x.bitmap"}) {
        names += f;
        names += "\\x";
        names += Bytes(gen, 3);
    }
    Put("image_list", "names", names + Bytes(gen, 64));
    Put("settings", "strings", "C:\\Windows\\x" + names + Bytes(gen, 64));
    return 0;
}
