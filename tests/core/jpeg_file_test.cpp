#include "imaging/jpeg_file.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include <jpeglib.h>

#include "platform/headless/headless_platform.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_images.h"

namespace qm {
namespace {

using test::JpegKind;

struct Decoded {
    std::unique_ptr<std::uint8_t[]> pixels;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
};

Decoded Decode(const std::string& path) {
    Decoded d;
    d.pixels.reset(JpegFile::DecodeToRgb(path, d.width, d.height));
    return d;
}

void AbortOnError(j_common_ptr cinfo) {
    char message[JMSG_LENGTH_MAX];
    (*cinfo->err->format_message)(cinfo, message);
    std::fprintf(stderr, "reference decode: %s\n", message);
    std::abort();
}

// The library's own RGB decode of a well-formed file, as the reference.
std::vector<std::uint8_t> ReferenceDecode(const std::string& path) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    EXPECT_NE(f, nullptr);
    jpeg_decompress_struct cinfo;
    jpeg_error_mgr jerr;
    cinfo.err = jpeg_std_error(&jerr);
    jerr.error_exit = AbortOnError;
    jpeg_create_decompress(&cinfo);
    jpeg_stdio_src(&cinfo, f);
    jpeg_read_header(&cinfo, TRUE);
    cinfo.out_color_space = JCS_RGB;
    jpeg_start_decompress(&cinfo);
    const std::size_t stride = std::size_t(cinfo.output_width) * 3;
    std::vector<std::uint8_t> out(stride * cinfo.output_height);
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW row = out.data() + cinfo.output_scanline * stride;
        jpeg_read_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    std::fclose(f);
    return out;
}

class JpegDecodeTest : public ::testing::Test {
protected:
    ScopedHeadless headless;
    test::TempDir dir;
    HeadlessPlatform& platform() { return headless.platform; }
};

// --- Decoding well-formed files -------------------------------------------

TEST_F(JpegDecodeTest, ColourFilesMatchTheLibrarysOwnDecode) {
    // Odd sizes so that partial MCUs and chroma edges are covered.
    for (JpegKind kind : {JpegKind::Baseline, JpegKind::Progressive}) {
        SCOPED_TRACE(static_cast<int>(kind));
        const std::string path = dir.file("photo.jpg");
        test::WriteJpeg(path, 37, 23, kind);
        Decoded d = Decode(path);
        ASSERT_NE(d.pixels, nullptr);
        EXPECT_EQ(d.width, 37u);
        EXPECT_EQ(d.height, 23u);
        const std::vector<std::uint8_t> expected = ReferenceDecode(path);
        EXPECT_EQ(std::vector<std::uint8_t>(d.pixels.get(), d.pixels.get() + expected.size()),
                  expected);
        EXPECT_TRUE(platform().boxes.empty());
    }
}

TEST_F(JpegDecodeTest, GreyscaleExpandsToThreeEqualBytes) {
    const std::string path = dir.file("gray.jpg");
    test::WriteJpeg(path, 19, 11, JpegKind::Gray);
    Decoded d = Decode(path);
    ASSERT_NE(d.pixels, nullptr);
    ASSERT_EQ(d.width, 19u);
    ASSERT_EQ(d.height, 11u);
    const std::vector<std::uint8_t> reference = ReferenceDecode(path);  // gray -> RGB
    for (std::size_t i = 0; i < std::size_t(19) * 11; ++i) {
        const std::uint8_t* p = d.pixels.get() + i * 3;
        ASSERT_EQ(p[0], p[1]) << i;
        ASSERT_EQ(p[1], p[2]) << i;
        ASSERT_EQ(p[0], reference[i * 3]) << i;
    }
}

// Four-component files in each of the conventions writers use; a reader that
// takes the wrong one produces an inverted or muddy picture, far outside the
// tolerance.
TEST_F(JpegDecodeTest, FourComponentFilesComeOutInTheirOwnColours) {
    struct Colour {
        std::uint8_t r, g, b;
    };
    const Colour colours[] = {{200, 80, 30}, {20, 140, 230}, {250, 250, 250}, {10, 10, 10},
                              {128, 200, 60}};
    for (JpegKind kind : {JpegKind::Cmyk, JpegKind::AdobeInvertedCmyk, JpegKind::Ycck}) {
        for (const Colour& c : colours) {
            SCOPED_TRACE(testing::Message() << "kind " << static_cast<int>(kind) << " colour "
                                            << int(c.r) << "," << int(c.g) << "," << int(c.b));
            const int w = 16, h = 16;
            std::vector<std::uint8_t> pixels;
            for (int i = 0; i < w * h; ++i) {
                pixels.insert(pixels.end(), {c.r, c.g, c.b});
            }
            const std::string path =
                dir.write("cmyk.jpg", test::EncodeJpeg(pixels, w, h, kind, 95));
            Decoded d = Decode(path);
            ASSERT_NE(d.pixels, nullptr);
            ASSERT_EQ(d.width, 16u);
            ASSERT_EQ(d.height, 16u);
            for (int i = 0; i < w * h * 3; i += 3) {
                ASSERT_NEAR(d.pixels[i + 0], c.r, 6) << i;
                ASSERT_NEAR(d.pixels[i + 1], c.g, 6) << i;
                ASSERT_NEAR(d.pixels[i + 2], c.b, 6) << i;
            }
            EXPECT_TRUE(platform().boxes.empty());
        }
    }
}

// --- Damaged and missing files ---------------------------------------------

TEST_F(JpegDecodeTest, TruncatedFileWarnsOnceAndStillFillsTheImage) {
    std::vector<std::uint8_t> pixels = test::MakeRgbPattern(64, 64);
    const std::string whole = test::EncodeJpeg(pixels, 64, 64);
    const std::string path = dir.write("cut.jpg", whole.substr(0, whole.size() * 6 / 10));
    Decoded d = Decode(path);
    ASSERT_NE(d.pixels, nullptr);
    EXPECT_EQ(d.width, 64u);
    EXPECT_EQ(d.height, 64u);
    ASSERT_EQ(platform().boxes.size(), 1u);
    EXPECT_EQ(platform().boxes[0].caption, "JPEG Error");
    EXPECT_EQ(platform().boxes[0].text, "Premature end of JPEG file");
    EXPECT_TRUE(platform().boxes[0].ownerIsActiveWindow);
    EXPECT_EQ(platform().boxes[0].style, BoxIcon::None);
}

TEST_F(JpegDecodeTest, NonJpegFileIsAFatalErrorWithNoBuffer) {
    const std::string path = dir.write("notes.jpg", "hello, not a picture");
    Decoded d = Decode(path);
    EXPECT_EQ(d.pixels, nullptr);
    EXPECT_EQ(d.width, 0u);
    EXPECT_EQ(d.height, 0u);
    ASSERT_EQ(platform().boxes.size(), 1u);
    EXPECT_EQ(platform().boxes[0].caption, "JPEG Fatal Error");
    EXPECT_EQ(platform().boxes[0].text, "Not a JPEG file: starts with 0x68 0x65");
    EXPECT_FALSE(platform().boxes[0].ownerIsActiveWindow);
    EXPECT_EQ(platform().boxes[0].style, BoxIcon::Error);

    // The decoder stays usable after a jump out of the library.
    platform().boxes.clear();
    test::WriteJpeg(dir.file("ok.jpg"), 8, 8);
    EXPECT_NE(Decode(dir.file("ok.jpg")).pixels, nullptr);
    EXPECT_TRUE(platform().boxes.empty());
}

TEST_F(JpegDecodeTest, EmptyAndHeaderOnlyFilesFailCleanly) {
    const std::string whole = test::EncodeJpeg(test::MakeRgbPattern(16, 16), 16, 16);
    for (const std::string& bytes : {std::string(), whole.substr(0, 2), whole.substr(0, 40)}) {
        SCOPED_TRACE(bytes.size());
        platform().boxes.clear();
        const std::string path = dir.write("short.jpg", bytes);
        Decoded d = Decode(path);
        EXPECT_EQ(d.pixels, nullptr);
        EXPECT_EQ(d.width, 0u);
        ASSERT_FALSE(platform().boxes.empty());
        EXPECT_EQ(platform().boxes.back().caption, "JPEG Fatal Error");
    }
}

TEST_F(JpegDecodeTest, MissingFileTellsTheUserAndLeavesSizesZero) {
    const std::string path = dir.file("gone.jpg");
    std::uint32_t w = 5, h = 7;
    EXPECT_EQ(JpegFile::DecodeToRgb(path, w, h), nullptr);
    EXPECT_EQ(w, 0u);
    EXPECT_EQ(h, 0u);
    ASSERT_EQ(platform().boxes.size(), 1u);
    EXPECT_EQ(platform().boxes[0].caption, "Quillmere");
    EXPECT_EQ(platform().boxes[0].text, "JPEG :\nCan't open " + path + "\n");
    EXPECT_EQ(platform().boxes[0].style, BoxIcon::None);
}

// A tiny file whose frame header declares 65500 x 65500: the buffer and the
// BMP made from it cannot fit, so the user is told, and nothing crashes.
TEST_F(JpegDecodeTest, HugeDeclaredSizeIsRefusedAsOutOfMemory) {
    const unsigned char header[] = {
        0xFF, 0xD8,                                                  // SOI
        0xFF, 0xDB, 0x00, 0x43, 0x00,                                // DQT, table 0
        1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,
        1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,
        1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,
        0xFF, 0xC0, 0x00, 0x0B, 0x08, 0xFF, 0xDC, 0xFF, 0xDC, 0x01,  // SOF0 65500 x 65500
        0x01, 0x11, 0x00,                                            // one gray component
        0xFF, 0xC4, 0x00, 0x14, 0x00,                                // DHT DC 0: one code
        0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
        0xFF, 0xC4, 0x00, 0x14, 0x10,                                // DHT AC 0: one code
        0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
        0xFF, 0xDA, 0x00, 0x08, 0x01, 0x01, 0x00, 0x00, 0x3F, 0x00,  // SOS
        0x00, 0x00, 0xFF, 0xD9,
    };
    const std::string path =
        dir.write("huge.jpg", std::string(reinterpret_cast<const char*>(header), sizeof header));
    Decoded d = Decode(path);
    EXPECT_EQ(d.pixels, nullptr);
    EXPECT_EQ(d.width, 0u);
    EXPECT_EQ(d.height, 0u);
    ASSERT_FALSE(platform().boxes.empty());
    const HeadlessPlatform::Box& last = platform().boxes.back();
    const bool outOfMemory =
        last.text == "JpegFile :\nOut of memory" && last.style == BoxIcon::Error;
    const bool libraryFatal = last.caption == "JPEG Fatal Error";
    EXPECT_TRUE(outOfMemory || libraryFatal) << last.caption << ": " << last.text;
    EXPECT_TRUE(outOfMemory) << "expected the size check to refuse it before the library";
}

// --- Row helpers and in-place buffer utilities -----------------------------

TEST(JpegRowHelpers, WriteOnlyTheirOwnRow) {
    const std::uint8_t rgb[] = {1, 2, 3, 4, 5, 6};
    const std::uint8_t gray[] = {7, 8};
    std::vector<std::uint8_t> buf(18, 0xAA);  // 2 wide, 3 rows
    JpegFile::CopyRgbRow(rgb, 2, buf.data(), 1);
    JpegFile::ExpandGrayRow(gray, 2, buf.data(), 2);
    const std::vector<std::uint8_t> expected = {0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA,  //
                                                1,    2,    3,    4,    5,    6,     //
                                                7,    7,    7,    8,    8,    8};
    EXPECT_EQ(buf, expected);

    std::vector<std::uint8_t> untouched(6, 0x55);
    JpegFile::CopyRgbRow(rgb, 0, untouched.data(), 0);
    JpegFile::ExpandGrayRow(gray, -1, untouched.data(), 0);
    EXPECT_EQ(untouched, std::vector<std::uint8_t>(6, 0x55));
}

TEST(PixelBuffer, SwapRedBlueSwapsEveryPixelAndOnlyRefusesNull) {
    std::vector<std::uint8_t> buf = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};  // 2 x 2
    EXPECT_TRUE(JpegFile::SwapRedBlue(buf.data(), 2, 2));
    EXPECT_EQ(buf, (std::vector<std::uint8_t>{3, 2, 1, 6, 5, 4, 9, 8, 7, 12, 11, 10}));

    EXPECT_FALSE(JpegFile::SwapRedBlue(nullptr, 2, 2));
    EXPECT_TRUE(JpegFile::SwapRedBlue(buf.data(), 0, 5));
    EXPECT_TRUE(JpegFile::SwapRedBlue(buf.data(), 5, 0));
    EXPECT_EQ(buf, (std::vector<std::uint8_t>{3, 2, 1, 6, 5, 4, 9, 8, 7, 12, 11, 10}));
}

TEST(PixelBuffer, FlipRowsReversesOddAndEvenCounts) {
    std::vector<std::uint8_t> even = {1, 1, 2, 2, 3, 3, 4, 4};
    EXPECT_TRUE(JpegFile::FlipRows(even.data(), 2, 4));
    EXPECT_EQ(even, (std::vector<std::uint8_t>{4, 4, 3, 3, 2, 2, 1, 1}));

    std::vector<std::uint8_t> odd = {1, 1, 2, 2, 3, 3};
    EXPECT_TRUE(JpegFile::FlipRows(odd.data(), 2, 3));
    EXPECT_EQ(odd, (std::vector<std::uint8_t>{3, 3, 2, 2, 1, 1}));

    std::vector<std::uint8_t> one = {9, 8, 7};
    EXPECT_TRUE(JpegFile::FlipRows(one.data(), 3, 1));
    EXPECT_EQ(one, (std::vector<std::uint8_t>{9, 8, 7}));

    EXPECT_FALSE(JpegFile::FlipRows(nullptr, 3, 2));
    EXPECT_TRUE(JpegFile::FlipRows(one.data(), 0, 0));
    EXPECT_TRUE(JpegFile::FlipRows(one.data(), 3, 0));
    EXPECT_EQ(one, (std::vector<std::uint8_t>{9, 8, 7}));
}

}  // namespace
}  // namespace qm
