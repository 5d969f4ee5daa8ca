#include "tests/support/jpeg_variants.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <random>

#include <jpeglib.h>

namespace qm::test {

namespace {

struct EncoderError {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
};

void EncoderExit(j_common_ptr cinfo) { std::longjmp(reinterpret_cast<EncoderError*>(cinfo->err)->jump, 1); }

// C state only between setjmp and longjmp; the C++ string is filled after.
bool Encode(const std::uint8_t* rgb, int width, int height, const JpegOptions* o,
            unsigned char** out, unsigned long* outSize) {
    jpeg_compress_struct cinfo;
    EncoderError err;
    cinfo.err = jpeg_std_error(&err.pub);
    err.pub.error_exit = EncoderExit;
    if (setjmp(err.jump)) {
        jpeg_destroy_compress(&cinfo);
        return false;
    }
    jpeg_create_compress(&cinfo);
    jpeg_mem_dest(&cinfo, out, outSize);
    cinfo.image_width = static_cast<JDIMENSION>(width);
    cinfo.image_height = static_cast<JDIMENSION>(height);
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, o->quality, TRUE);
    cinfo.restart_in_rows = o->restartRows;
    cinfo.arith_code = o->arithmetic ? TRUE : FALSE;
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW line = const_cast<JSAMPROW>(rgb + std::size_t(cinfo.next_scanline) * width * 3);
        jpeg_write_scanlines(&cinfo, &line, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    return true;
}

void QuietMessage(j_common_ptr) {}

bool ReadHeader(const unsigned char* data, unsigned long size, std::uint64_t* pixels) {
    jpeg_decompress_struct cinfo;
    EncoderError err;
    cinfo.err = jpeg_std_error(&err.pub);
    err.pub.error_exit = EncoderExit;
    err.pub.output_message = QuietMessage;
    if (setjmp(err.jump)) {
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, data, size);
    jpeg_read_header(&cinfo, TRUE);
    *pixels = std::uint64_t{cinfo.image_width} * cinfo.image_height;
    jpeg_destroy_decompress(&cinfo);
    return true;
}

void Marker(std::string& s, std::uint8_t code, std::uint16_t length) {
    s += '\xFF';
    s += static_cast<char>(code);
    s += static_cast<char>(length >> 8);
    s += static_cast<char>(length & 0xFF);
}

}  // namespace

bool EncodeJpegWith(const std::vector<std::uint8_t>& rgb, int width, int height,
                    const JpegOptions& options, std::string& out) {
    unsigned char* bytes = nullptr;
    unsigned long size = 0;
    const bool ok = Encode(rgb.data(), width, height, &options, &bytes, &size);
    if (ok) {
        out.assign(reinterpret_cast<const char*>(bytes), size);
    }
    std::free(bytes);
    return ok;
}

std::string HandMadeJpeg(std::uint8_t sofMarker, std::uint8_t precision, std::uint16_t width,
                         std::uint16_t height) {
    std::string s = "\xFF\xD8";
    Marker(s, 0xDB, 67);  // DQT: table 0, all ones
    s += '\0';
    s.append(64, '\x01');
    Marker(s, sofMarker, 11);
    s += static_cast<char>(precision);
    s += static_cast<char>(height >> 8);
    s += static_cast<char>(height & 0xFF);
    s += static_cast<char>(width >> 8);
    s += static_cast<char>(width & 0xFF);
    s += "\x01\x01\x11";
    s += '\0';  // component 1, 1x1 sampling, table 0
    for (std::uint8_t tableClass : {0x00, 0x10}) {
        Marker(s, 0xC4, 20);  // DHT: one code of length 1, symbol 0
        s += static_cast<char>(tableClass);
        s += '\0';
        s += '\x01';
        s.append(14, '\0');
        s += '\0';
    }
    Marker(s, 0xDA, 8);  // SOS: one component, full spectrum
    s += "\x01\x01";
    s += '\0';
    s += '\0';
    s += '\x3F';
    s += '\0';
    s.append(2, '\0');
    s += "\xFF\xD9";
    return s;
}

std::string WithDeclaredSize(std::string bytes, std::uint16_t width, std::uint16_t height) {
    // Markers from SOI on, each with its length, until a frame header:
    // SOF0 to SOF15 except DHT (C4), JPG (C8) and DAC (CC).
    std::size_t at = 2;
    while (at + 9 <= bytes.size() && static_cast<unsigned char>(bytes[at]) == 0xFF) {
        const unsigned code = static_cast<unsigned char>(bytes[at + 1]);
        if (code >= 0xC0 && code <= 0xCF && code != 0xC4 && code != 0xC8 && code != 0xCC) {
            bytes[at + 5] = static_cast<char>(height >> 8);
            bytes[at + 6] = static_cast<char>(height & 0xFF);
            bytes[at + 7] = static_cast<char>(width >> 8);
            bytes[at + 8] = static_cast<char>(width & 0xFF);
            break;
        }
        at += 2 + (std::size_t(static_cast<unsigned char>(bytes[at + 2])) << 8 |
                   static_cast<unsigned char>(bytes[at + 3]));
    }
    return bytes;
}

std::string MetadataOnlyJpeg() {
    std::string s = "\xFF\xD8";
    Marker(s, 0xE0, 16);
    s.append("JFIF\0\x01\x01\0\0\x01\0\x01\0\0", 14);
    const std::string exif = std::string("Exif\0\0", 6) + "not really";
    Marker(s, 0xE1, static_cast<std::uint16_t>(2 + exif.size()));
    s += exif;
    const std::string comment = "made by the Quillmere tests";
    Marker(s, 0xFE, static_cast<std::uint16_t>(2 + comment.size()));
    s += comment;
    s += "\xFF\xD9";
    return s;
}

std::uint64_t DeclaredPixels(const std::string& bytes) {
    std::uint64_t pixels = 0;
    if (bytes.empty() ||
        !ReadHeader(reinterpret_cast<const unsigned char*>(bytes.data()),
                    static_cast<unsigned long>(bytes.size()), &pixels)) {
        return 0;
    }
    return pixels;
}

std::string FlipBits(std::string bytes, std::uint32_t seed, int flips) {
    if (bytes.empty()) {
        return bytes;
    }
    std::mt19937 gen(seed);
    std::uniform_int_distribution<std::size_t> at(0, bytes.size() * 8 - 1);
    for (int i = 0; i < flips; ++i) {
        const std::size_t bit = at(gen);
        bytes[bit / 8] = static_cast<char>(bytes[bit / 8] ^ (1 << (bit % 8)));
    }
    return bytes;
}

}  // namespace qm::test
