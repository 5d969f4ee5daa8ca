#include "imaging/wallpaper_bmp.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#ifndef _WIN32
#include <csignal>
#include <sys/resource.h>
#endif

#include "frame/main_frame.h"
#include "imaging/composed_bmp.h"
#include "imaging/jpeg_decode.h"
#include "imaging/jpeg_file.h"
#include "imaging/picture_layout.h"
#include "platform/headless/headless_platform.h"
#include "tests/support/headless_fixture.h"
#include "tests/support/picture_files.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_images.h"

namespace qm {
namespace {

// The BMP a correct writer makes from the decoded picture: bottom row first,
// BGR, rows padded to four bytes. The header is the hand-made one.
std::string ExpectedBmp(const std::string& jpegPath) {
    std::uint32_t w = 0, h = 0;
    std::unique_ptr<std::uint8_t[]> rgb(JpegFile::DecodeToRgb(jpegPath, w, h));
    EXPECT_NE(rgb, nullptr);
    std::string out = test::BmpHeader(static_cast<std::int32_t>(w), static_cast<std::int32_t>(h));
    const std::size_t pad = (4 - (w * 3) % 4) % 4;
    for (std::uint32_t r = 0; r < h; ++r) {
        const std::uint8_t* row = rgb.get() + std::size_t(h - 1 - r) * w * 3;
        for (std::uint32_t x = 0; x < w; ++x) {
            out.push_back(static_cast<char>(row[x * 3 + 2]));
            out.push_back(static_cast<char>(row[x * 3 + 1]));
            out.push_back(static_cast<char>(row[x * 3 + 0]));
        }
        out.append(pad, '\0');
    }
    return out;
}

class WallpaperBmpTest : public test::HeadlessFixture {
protected:
    void ExpectOnlyBox(const std::string& text, BoxIcon style) {
        ASSERT_EQ(platform().boxes.size(), 1u);
        EXPECT_EQ(platform().boxes[0].text, text);
        EXPECT_EQ(platform().boxes[0].style, style);
    }
    // Only the wallpaper and the sources: no temporary left behind.
    void ExpectNoTempFiles() {
        for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
            const std::string name = entry.path().filename().string();
            EXPECT_TRUE(name.ends_with(".jpg") || name.ends_with(".bmp")) << name;
        }
    }
};

// --- The file written -------------------------------------------------------

TEST_F(WallpaperBmpTest, FilesAreByteExactForPaddedAndUnpaddedRows) {
    struct Case {
        int w, h;
        std::size_t fileSize;
    };
    // 1x1: 3 bytes + 1 pad; 2x2: rows of 8; 5x3: odd row count, middle row
    // stays in place; 4x2: 12-byte rows, no padding.
    for (const Case& c : {Case{1, 1, 58}, Case{2, 2, 70}, Case{5, 3, 54 + 16 * 3},
                          Case{4, 2, 54 + 12 * 2}}) {
        SCOPED_TRACE(testing::Message() << c.w << "x" << c.h);
        platform().boxes.clear();
        const std::string jpeg = Jpeg("in.jpg", c.w, c.h);
        const std::string bmp = dir.file("out.bmp");
        ASSERT_TRUE(ConvertJpegToBmp(jpeg, bmp));
        const std::string written = test::ReadFile(bmp);
        EXPECT_EQ(written.size(), c.fileSize);
        EXPECT_EQ(written, ExpectedBmp(jpeg));
        EXPECT_TRUE(platform().boxes.empty());
    }
    ExpectNoTempFiles();
}

TEST_F(WallpaperBmpTest, HeaderFieldsAreLittleEndianLiterals) {
    const std::string jpeg = Jpeg("in.jpg", 1, 1);
    const std::string bmp = dir.file("out.bmp");
    ASSERT_TRUE(ConvertJpegToBmp(jpeg, bmp));
    const std::string written = test::ReadFile(bmp);
    ASSERT_EQ(written.size(), 58u);
    const unsigned char expected[54] = {
        'B', 'M', 58, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0,   // file header
        40, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 24, 0,  // size, w, h, planes, bpp
        0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,    // compression .. y resolution
        0, 0, 0, 0, 0, 0, 0, 0};                           // colour counts
    EXPECT_EQ(written.substr(0, 54), std::string(reinterpret_cast<const char*>(expected), 54));
    EXPECT_EQ(written[57], '\0');  // row padding
}

TEST_F(WallpaperBmpTest, PhotoSizedPictureMatchesDecodeAndOrientation) {
    // Progressive too: the writer must not care how the file was coded.
    const std::string jpeg = dir.file("photo.jpg");
    test::WriteJpeg(jpeg, 123, 77, test::JpegKind::Progressive);
    const std::string bmp = dir.file("out.bmp");
    ASSERT_TRUE(ConvertJpegToBmp(jpeg, bmp));
    EXPECT_EQ(test::ReadFile(bmp), ExpectedBmp(jpeg));
}

// The writer takes a faster route for colour files than for greyscale and
// four-component ones; all must give the decoded picture.
TEST_F(WallpaperBmpTest, EveryKindOfJpegGivesTheDecodedPicture) {
    using test::JpegKind;
    for (JpegKind kind : {JpegKind::Baseline, JpegKind::Progressive, JpegKind::Gray,
                          JpegKind::Cmyk, JpegKind::Ycck, JpegKind::AdobeInvertedCmyk}) {
        SCOPED_TRACE(static_cast<int>(kind));
        const std::string jpeg = dir.file("in.jpg");
        test::WriteJpeg(jpeg, 21, 13, kind);
        const std::string bmp = dir.file("out.bmp");
        ASSERT_TRUE(ConvertJpegToBmp(jpeg, bmp));
        EXPECT_EQ(test::ReadFile(bmp), ExpectedBmp(jpeg));
    }
    EXPECT_TRUE(platform().boxes.empty());
}

// Large pictures are written in blocks of rows from the bottom of the file
// up; heights that fill the last block exactly and that leave it partial.
TEST_F(WallpaperBmpTest, LargePicturesAreWrittenWhole) {
    for (int h : {800, 698, 349, 1}) {
        SCOPED_TRACE(h);
        const std::string jpeg = Jpeg("big.jpg", 1000, h);
        const std::string bmp = dir.file("out.bmp");
        ASSERT_TRUE(ConvertJpegToBmp(jpeg, bmp));
        const std::string written = test::ReadFile(bmp);
        const std::string expected = ExpectedBmp(jpeg);
        ASSERT_EQ(written.size(), expected.size());
        // Report where they part rather than dumping megabytes.
        std::size_t at = 0;
        while (at < written.size() && written[at] == expected[at]) {
            ++at;
        }
        EXPECT_EQ(at, written.size()) << "first difference at byte " << at;
    }
    EXPECT_TRUE(platform().boxes.empty());
}

TEST_F(WallpaperBmpTest, SmallerPictureReplacesLargerOneCompletely) {
    const std::string bmp = dir.file("out.bmp");
    ASSERT_TRUE(ConvertJpegToBmp(Jpeg("big.jpg", 40, 30), bmp));
    const std::string small = Jpeg("small.jpg", 3, 2);
    ASSERT_TRUE(ConvertJpegToBmp(small, bmp));
    EXPECT_EQ(test::ReadFile(bmp), ExpectedBmp(small));
    ExpectNoTempFiles();
}

TEST_F(WallpaperBmpTest, MakeWallpaperBmpWritesIntoTheWindowsDirectory) {
    platform().windowsDirectory = dir.str();
    CMainFrame frame;
    const std::string jpeg = Jpeg("in.jpg", 6, 4);
    const std::string expectedPath = dir.str() + "/" + kWallpaperFileName;
    EXPECT_EQ(frame.MakeWallpaperBmp(jpeg), expectedPath);
    EXPECT_EQ(test::ReadFile(expectedPath), ExpectedBmp(jpeg));

    platform().windowsDirectory = dir.file("no such folder");
    EXPECT_EQ(frame.MakeWallpaperBmp(jpeg), "");
}

// --- Failures keep the old wallpaper ----------------------------------------

TEST_F(WallpaperBmpTest, FailedDecodeLeavesOldFileUntouched) {
    const std::string bmp = dir.write("out.bmp", "old wallpaper");
    const std::string bad = dir.write("bad.jpg", "not a jpeg at all");
    EXPECT_FALSE(ConvertJpegToBmp(bad, bmp));
    EXPECT_FALSE(ConvertJpegToBmp(dir.file("missing.jpg"), bmp));
    EXPECT_EQ(test::ReadFile(bmp), "old wallpaper");
    ExpectNoTempFiles();
    EXPECT_EQ(platform().boxes.size(), 2u);
}

TEST_F(WallpaperBmpTest, PictureTooBigToHoldKeepsOldFile) {
    // Frame header declaring 65500 x 65500, one component, then nothing.
    const unsigned char header[] = {0xFF, 0xD8, 0xFF, 0xC0, 0x00, 0x0B, 0x08, 0xFF, 0xDC,
                                    0xFF, 0xDC, 0x01, 0x01, 0x11, 0x00};
    std::string bytes(reinterpret_cast<const char*>(header), sizeof header);
    const std::string bmp = dir.write("out.bmp", "old wallpaper");
    EXPECT_FALSE(ConvertJpegToBmp(dir.write("huge.jpg", bytes), bmp));
    EXPECT_EQ(test::ReadFile(bmp), "old wallpaper");
    ASSERT_FALSE(platform().boxes.empty());
    ExpectNoTempFiles();
}

TEST_F(WallpaperBmpTest, MissingTargetFolderCannotBeSaved) {
    const std::string bmp = (dir.path() / "absent" / "out.bmp").string();
    EXPECT_FALSE(ConvertJpegToBmp(Jpeg("in.jpg", 4, 4), bmp));
    ExpectOnlyBox("Error: Can't save as BMP", BoxIcon::None);
    EXPECT_FALSE(std::filesystem::exists(bmp));
}

TEST_F(WallpaperBmpTest, FailedReplaceGivesUpAndRemovesTheTemporary) {
    const std::string bmp = dir.write("out.bmp", "old wallpaper");
    platform().failReplace = true;
    EXPECT_FALSE(ConvertJpegToBmp(Jpeg("in.jpg", 8, 8), bmp));
    ExpectOnlyBox("fwrite error\nGiving up", BoxIcon::None);
    EXPECT_EQ(test::ReadFile(bmp), "old wallpaper");
    ExpectNoTempFiles();
}

#ifndef _WIN32
// A file-size limit makes the writes themselves fail, as a full disk would.
TEST_F(WallpaperBmpTest, FailedWriteGivesUpAndKeepsOldFile) {
    const std::string bmp = dir.write("out.bmp", "old wallpaper");
    const std::string jpeg = Jpeg("in.jpg", 200, 100);  // 60 KB of BMP

    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    void (*oldHandler)(int) = std::signal(SIGXFSZ, SIG_IGN);
    rlimit tight = saved;
    tight.rlim_cur = 4096;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &tight), 0);
    const bool ok = ConvertJpegToBmp(jpeg, bmp);
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_FALSE(ok);
    ExpectOnlyBox("fwrite error\nGiving up", BoxIcon::None);
    EXPECT_EQ(test::ReadFile(bmp), "old wallpaper");
    ExpectNoTempFiles();
}
#endif

// --- Pictures side by side -------------------------------------------------

// Side by side, a 32-bit program gives each decode a share of the cap. One
// refused under its share runs again alone, and its refusal is never told.
TEST_F(WallpaperBmpTest, DecodeRefusedUnderItsShareOfTheCapRunsAgainAlone) {
    // Progressive: the library holds every coefficient, 3 MiB here.
    const std::string jpeg = dir.file("big.jpg");
    test::WriteJpeg(jpeg, 1024, 1024, test::JpegKind::Progressive);
    const std::string expected = ExpectedBmp(jpeg);
    jpeg::SetDecodeMemoryCap(std::size_t{6} << 20);
    struct PutBack {
        ~PutBack() { jpeg::SetDecodeMemoryCap(0); }
    } putBack;
    {
        const jpeg::CapShare share(2);
        EXPECT_FALSE(ConvertJpegToBmp(jpeg, dir.file("half.bmp")));
        EXPECT_TRUE(share.Refused());
    }
    platform().boxes.clear();
    std::vector<Conversion> set{{jpeg, dir.file("1.bmp"), std::nullopt}, {jpeg, dir.file("2.bmp"), std::nullopt}};
    ConvertAll(set);
    EXPECT_TRUE(set[0].written && set[1].written);
    EXPECT_TRUE(platform().boxes.empty());
    EXPECT_TRUE(test::ReadFile(dir.file("2.bmp")) == expected);
}

// A composed picture takes each JPEG straight from the decoder: the very
// pixels of converting it (as small as its layout allows) and composing the
// BMP, in every layout. A picture that fails leaves its monitor the
// background, and with none to show nothing is written.
TEST_F(WallpaperBmpTest, ComposedPicturesAreDecodedStraightIntoPlace) {
    test::WriteJpeg(dir.file("wide.jpg"), 1000, 560);
    test::WriteJpeg(dir.file("tall.jpg"), 90, 150, test::JpegKind::Progressive);
    std::vector<std::uint8_t> rgba(90 * 150 * 4);
    std::uint32_t noise = 1;  // alpha varies too; noise, so that half the file holds about half the rows
    for (std::uint8_t& byte : rgba) {
        noise = noise * 1664525u + 1013904223u;
        byte = static_cast<std::uint8_t>(noise >> 24);
    }
    dir.write("tall.png", test::EncodePng(rgba, 90, 150, true));
    const std::string bad = dir.write("bad.jpg", "not a jpeg at all");
    const MonitorRect left{-160, 30, 160, 100}, right{0, 0, 300, 200};
    const auto reference = [&](const ComposedPart& part, const std::string& bmp) {
        const bool tiled = part.placement == Placement::Tiled || part.tileWidth > 90;
        const bool scaled = !tiled && part.placement != Placement::AsItIs;
        const ScaleGoal goal{part.placement != Placement::Fitted, {part.monitor}};
        EXPECT_TRUE(ConvertJpegToBmp(part.path, dir.file(bmp), scaled ? &goal : nullptr));
        return ComposedPart{part.monitor, dir.file(bmp), tiled ? Placement::Tiled : part.placement};
    };
    for (const Placement placement :
         {Placement::AsItIs, Placement::Tiled, Placement::Stretched, Placement::Filled, Placement::Fitted}) {
        // A PNG is never decoded smaller, and lies over the background.
        for (const char* tall : {"tall.jpg", "tall.png"}) {
            for (const int tileBelow : {0, 120}) {
                SCOPED_TRACE(std::string(tall) + " " + std::to_string(static_cast<int>(placement) * 1000 + tileBelow));
                const std::vector<ComposedPart> parts{{left, dir.file(tall), placement, tileBelow, 0},
                                                      {right, dir.file("wide.jpg"), placement}};
                ASSERT_TRUE(ComposeWallpaperBmp(parts, 0x203040, dir.file("direct.bmp")));
                ASSERT_TRUE(ComposeWallpaperBmp({reference(parts[0], "l.bmp"), reference(parts[1], "r.bmp")},
                                                0x203040, dir.file("steps.bmp")));
                EXPECT_TRUE(test::ReadFile(dir.file("direct.bmp")) == test::ReadFile(dir.file("steps.bmp")));
            }
        }
    }
    EXPECT_TRUE(platform().boxes.empty());

    // Cut off part-way: some rows come, then the reader gives up.
    const std::string png = test::ReadFile(dir.file("tall.png"));
    const std::string cut = dir.write("cut.png", png.substr(0, png.size() / 2));
    const std::vector<ComposedPart> parts{{left, cut, Placement::AsItIs}, {right, dir.file("wide.jpg"), Placement::Filled}};
    ASSERT_TRUE(ComposeWallpaperBmp(parts, 0x203040, dir.file("direct.bmp")));
    EXPECT_EQ(platform().boxes.size(), 1u);
    ASSERT_TRUE(ComposeWallpaperBmp({{left, dir.file("none.bmp"), Placement::Filled}, reference(parts[1], "r.bmp")},
                                    0x203040, dir.file("steps.bmp")));
    EXPECT_TRUE(test::ReadFile(dir.file("direct.bmp")) == test::ReadFile(dir.file("steps.bmp")));
    EXPECT_FALSE(ComposeWallpaperBmp({{left, bad, Placement::Filled}, {right, bad, Placement::Fitted}}, 0,
                                     dir.file("nothing.bmp")));
    EXPECT_FALSE(std::filesystem::exists(dir.file("nothing.bmp")));
}

// --- Laying a picture out ---------------------------------------------------

// The area scaler against the exact area average, worked out in doubles, of
// a picture of noise: shrunk, enlarged and clipped to a part that shows,
// at widths whose rows end part-way through the scaler's blocks.
TEST(AreaScaler, EveryPixelIsTheAreaAverageOfWhatItCovers) {
    struct Case { int w, h; Area to, visible; };
    const Case cases[] = {{61, 29, {0, 0, 23, 13}, {0, 0, 23, 13}},
                          {40, 30, {-10, -5, 90, 70}, {0, 0, 50, 40}},
                          {33, 17, {0, 0, 33, 17}, {0, 0, 33, 17}}};
    for (const Case& c : cases) {
        std::vector<std::uint8_t> picture(static_cast<std::size_t>(c.w) * c.h * 3);
        std::uint32_t seed = 12345;
        for (std::uint8_t& v : picture) v = static_cast<std::uint8_t>((seed = seed * 1103515245 + 12345) >> 23);
        // How much of output cell [o, o + 1) source pixel i covers, as a
        // share of the cell, on a line of n source and m output pixels.
        const auto share = [](int i, int o, int n, int m) {
            const double from = std::max(i * double(m), o * double(n));
            const double to = std::min((i + 1) * double(m), (o + 1) * double(n));
            return std::max(0.0, to - from) / n;
        };
        AreaScaler scaler(c.w, c.h, c.to, c.visible);
        double worst = 0, total = 0;
        int rows = 0;
        for (int y = 0; y < c.h; ++y) {
            scaler.Push(y, picture.data() + static_cast<std::size_t>(y) * c.w * 3, [&](int o, const std::uint8_t* bgr) {
                ++rows;
                for (int j = 0; j < c.visible.width; ++j) {
                    const int column = c.visible.x - c.to.x + j;
                    for (int k = 0; k < 3; ++k) {
                        double exact = 0;
                        for (int sy = 0; sy < c.h; ++sy)
                            for (int sx = 0; sx < c.w; ++sx)
                                exact += share(sx, column, c.w, c.to.width) * share(sy, o, c.h, c.to.height) *
                                         picture[(static_cast<std::size_t>(sy) * c.w + sx) * 3 + k];
                        worst = std::max(worst, std::abs(bgr[3 * j + k] - exact));
                        total += std::abs(bgr[3 * j + k] - exact);
                    }
                }
            });
        }
        EXPECT_EQ(rows, c.visible.height);
        EXPECT_LE(worst, 1.5) << c.w << "x" << c.h;
        EXPECT_LT(total / (3.0 * rows * c.visible.width), 0.5) << c.w << "x" << c.h;
    }
}

}  // namespace
}  // namespace qm
