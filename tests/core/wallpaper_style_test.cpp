// The desktop's tile and stretch values and the two re-layout commands.
#include <gtest/gtest.h>

#include <cstdio>

#include "frame/main_frame.h"
#include "platform/headless/headless_platform.h"
#include "rotation/desktop_wallpaper.h"
#include "tests/support/picture_files.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_images.h"

namespace qm {
namespace {

class Style : public ::testing::Test {
protected:
    Style() {
        h.platform.windowsDirectory = windows.str();
        frame.Directory = pics.str();
    }
    // Makes the list one BMP header of the given size and makes it current.
    void CurrentBmp(std::int32_t w, std::int32_t hgt) {
        frame.m_ImageList = {pics.write("p.bmp", test::BmpHeader(w, hgt))};
        frame.m_LastIndex = 0;
        frame.m_CurrentIndex = 0;
    }
    std::string Tile() { return h.platform.DesktopString("TileWallpaper"); }
    std::string Stretch() { return h.platform.DesktopString("WallpaperStyle"); }

    ScopedHeadless h;
    test::TempDir pics;
    test::TempDir windows;
    CMainFrame frame;
};

TEST_F(Style, AutoTileThresholdsAreStrict) {
    frame.Display = 2;
    struct Case { std::int32_t w, h; const char* tile; };
    for (Case c : {Case{301, 301, "0"}, Case{300, 2000, "1"}, Case{2000, 300, "1"},
                   Case{640, -480, "1"}, Case{0, 0, "1"}}) {
        CurrentBmp(c.w, c.h);
        frame.SetWallpaperStyle();
        EXPECT_EQ(Tile(), c.tile) << c.w << "x" << c.h;
    }
    frame.Width = 20;
    frame.Height = 10;
    CurrentBmp(20, 10);
    frame.SetWallpaperStyle();
    EXPECT_EQ(Tile(), "0");
}

TEST_F(Style, DisplayModeAndStretchChooseTheValues) {
    CurrentBmp(10, 10);
    frame.Display = 1;
    frame.Stretch = 1;
    frame.SetWallpaperStyle();
    EXPECT_EQ(Tile(), "1");
    EXPECT_EQ(Stretch(), "2");
    frame.Display = 0;
    frame.Stretch = 0;
    frame.SetWallpaperStyle();
    EXPECT_EQ(Tile(), "0");
    EXPECT_EQ(Stretch(), "0");
    // Values are one character and a terminator.
    char buf[8];
    auto key = h.platform.OpenDesktopKey();
    ASSERT_TRUE(key->Query("TileWallpaper", buf, 2));
    EXPECT_FALSE(key->Query("TileWallpaper", buf, 1));
}

// The size of a picture not tiled, as Windows' WallpaperStyle: each of the
// four, and values no dialog wrote, which count as stretched as any value
// but 0 always did. Tiled, filled and fitted pictures get "0", with which
// Windows tiles; stretched keeps its "2".
TEST_F(Style, EachSizeGivesItsWallpaperStyle) {
    CurrentBmp(10, 10);
    struct Case { std::int32_t stretch, display; const char* tile; const char* style; };
    for (Case c : {Case{0, 0, "0", "0"}, Case{1, 0, "0", "2"}, Case{2, 0, "0", "10"},
                   Case{3, 0, "0", "6"}, Case{7, 0, "0", "2"}, Case{-1, 0, "0", "2"},
                   Case{0, 1, "1", "0"}, Case{1, 1, "1", "2"}, Case{2, 1, "1", "0"},
                   Case{3, 1, "1", "0"}, Case{2, 2, "1", "0"}}) {
        frame.Stretch = c.stretch;
        frame.Display = c.display;
        frame.SetWallpaperStyle();
        EXPECT_EQ(Tile(), c.tile) << c.stretch << "/" << c.display;
        EXPECT_EQ(Stretch(), c.style) << c.stretch << "/" << c.display;
    }
    // "10" is two characters and the terminator.
    char buf[8];
    frame.Stretch = 2;
    frame.Display = 0;
    frame.SetWallpaperStyle();
    auto key = h.platform.OpenDesktopKey();
    EXPECT_TRUE(key->Query("WallpaperStyle", buf, 3));
    EXPECT_FALSE(key->Query("WallpaperStyle", buf, 2));
}

// Filled or fitted and not tiled, a JPEG is decoded only as large as the
// largest monitor needs (the decoder's 1/2, 1/4, 1/8); tiled, as it is,
// stretched, or with no monitor known, at its own size. Auto-Tile still
// measures the picture's own size.
TEST_F(Style, FilledAndFittedJpegsAreConvertedNoLargerThanShown) {
    test::WriteJpeg(pics.file("photo.jpg"), 1600, 1200);  // 4:3
    frame.m_ImageList = {pics.file("photo.jpg")};
    frame.m_LastIndex = 0;
    const auto shownSize = [&] {
        const std::string bmp = h.platform.wallpaperCalls.back();
        std::FILE* f = std::fopen(bmp.c_str(), "rb");
        unsigned char head[26] = {};
        const std::size_t got = f ? std::fread(head, 1, sizeof head, f) : 0;
        if (f) std::fclose(f);
        EXPECT_EQ(got, sizeof head);
        return std::to_string(head[18] | head[19] << 8) + "x" + std::to_string(head[22] | head[23] << 8);
    };
    struct Case {
        std::int32_t stretch, display;
        std::vector<MonitorRect> monitors;
        const char* size;
    };
    const MonitorRect fhd{0, 0, 1920, 1080}, small{0, 0, 320, 240}, wide{0, 0, 640, 100};
    for (const Case& c : {
             Case{2, 0, {small}, "400x300"},              // filled: 1/4 still covers 320x240
             Case{2, 0, {{0, 0, 401, 240}}, "800x600"},   // 1/4 is a pixel short: 1/2
             Case{3, 0, {small}, "400x300"},              // fitted alike
             Case{3, 0, {wide}, "200x150"},               // fitted by height: 1/8 holds 100 rows
             Case{2, 0, {wide}, "800x600"},               // filled by width: 640 needs 1/2
             Case{2, 0, {small, {320, 0, 700, 500}}, "800x600"},  // the larger monitor decides
             Case{2, 0, {fhd}, "1600x1200"},              // smaller than the monitor: as it is
             Case{2, 0, {}, "1600x1200"},                 // no monitor known
             Case{2, 1, {small}, "1600x1200"},            // tiled
             Case{1, 0, {small}, "1600x1200"},            // stretched
             Case{0, 0, {small}, "1600x1200"},            // as it is
             Case{3, 2, {small}, "400x300"},              // Auto-Tile, large: not tiled
         }) {
        h.platform.monitors = c.monitors;
        frame.Stretch = c.stretch;
        frame.Display = c.display;
        frame.Width = frame.Height = 301;
        frame.SetWallpaperStyle();
        frame.m_CurrentIndex = -1;
        frame.ChangeWallpaper(0);
        EXPECT_EQ(shownSize(), c.size) << c.stretch << "/" << c.display;
    }
    // Auto-Tile compares the thresholds with the picture's own size: a
    // threshold above what the scaled file has, below the photo, centres.
    frame.Display = 2;
    frame.Stretch = 2;
    frame.Width = 1000;
    h.platform.monitors = {small};
    frame.m_CurrentIndex = -1;
    frame.ChangeWallpaper(0);
    EXPECT_EQ(Tile(), "0");
    EXPECT_EQ(Stretch(), "10");
    EXPECT_EQ(shownSize(), "400x300");
    // After Tile Current, the next picture is converted whole for tiling.
    frame.Display = 0;
    frame.OnTileCurrent();
    frame.m_CurrentIndex = -1;
    frame.ChangeWallpaper(0);
    EXPECT_EQ(shownSize(), "1600x1200");
}

TEST_F(Style, AutoTileMeasuresAJpegThroughItsConvertedFile) {
    frame.Display = 2;
    test::WriteJpeg(pics.file("big.jpg"), 400, 320);
    test::WriteJpeg(pics.file("small.jpg"), 40, 30);
    frame.m_ImageList = {pics.file("big.jpg"), pics.file("small.jpg")};
    frame.m_LastIndex = 1;
    frame.m_CurrentIndex = 0;
    frame.SetWallpaperStyle();
    EXPECT_EQ(Tile(), "0");
    frame.m_CurrentIndex = 1;
    frame.SetWallpaperStyle();
    EXPECT_EQ(Tile(), "1");
}

TEST_F(Style, FailedConversionInAutoTileWritesNothing) {
    frame.Display = 2;
    h.platform.desktop["TileWallpaper"] = std::string("1");
    h.platform.desktop["WallpaperStyle"] = std::string("0");
    frame.m_ImageList = {pics.write("broken.JPG", "\xFF\xD8 nothing more")};
    frame.m_LastIndex = 0;
    frame.m_CurrentIndex = 0;
    frame.SetWallpaperStyle();
    EXPECT_EQ(Tile(), "1");
    EXPECT_EQ(Stretch(), "0");
    EXPECT_FALSE(h.platform.boxes.empty());
}

TEST_F(Style, AutoTileWithoutASizeStillWritesTheStretchValue) {
    frame.Display = 2;
    frame.Stretch = 1;
    h.platform.desktop["TileWallpaper"] = std::string("1");
    frame.SetWallpaperStyle();  // no current image: the layout is kept
    EXPECT_EQ(Tile(), "1");
    EXPECT_EQ(Stretch(), "2");

    frame.m_ImageList = {pics.write("short.bmp", "BM short"), pics.file("gone.bmp")};
    frame.m_LastIndex = 1;
    for (int i : {0, 1}) {
        frame.m_CurrentIndex = i;
        h.platform.desktop.clear();
        frame.SetWallpaperStyle();
        EXPECT_EQ(Tile(), "0");
        EXPECT_EQ(Stretch(), "2");
    }
}

TEST_F(Style, ReLayoutCommandsReshowTheDesktopsPicture) {
    h.platform.desktop["Wallpaper"] = std::string("C:\\other\\theirs.bmp");
    EXPECT_TRUE(frame.OnUpdateTileCurrent());  // no tile value: not tiled
    EXPECT_FALSE(frame.OnUpdateCenterCurrent());

    frame.OnTileCurrent();
    EXPECT_EQ(Tile(), "1");
    EXPECT_EQ(h.platform.wallpaperCalls, std::vector<std::string>{"C:\\other\\theirs.bmp"});
    EXPECT_TRUE(frame.OnUpdateCenterCurrent());
    EXPECT_FALSE(frame.OnUpdateTileCurrent());
    EXPECT_EQ(Stretch(), "");  // the stretch value is not touched

    frame.OnCenterCurrent();
    EXPECT_EQ(Tile(), "0");
    EXPECT_EQ(h.platform.wallpaperCalls.size(), 2u);
}

TEST_F(Style, MissingOrBrokenDesktopKey) {
    h.platform.desktopKeyExists = false;
    frame.OnTileCurrent();  // opening only: nothing created, nothing set
    EXPECT_FALSE(h.platform.desktopKeyExists);
    EXPECT_TRUE(h.platform.wallpaperCalls.empty());
    EXPECT_FALSE(DesktopWallpaper::ReadTile());

    DesktopWallpaper::WriteStyle("1", "2");  // creates it
    EXPECT_TRUE(h.platform.desktopKeyExists);
    EXPECT_EQ(Tile(), "1");
    EXPECT_EQ(Stretch(), "2");

    h.platform.desktopKeyBroken = true;
    h.platform.desktop.clear();
    DesktopWallpaper::WriteStyle("1", "2");
    frame.OnCenterCurrent();
    EXPECT_TRUE(h.platform.desktop.empty());
    EXPECT_FALSE(DesktopWallpaper::ReadWallpaperPath());
}

TEST_F(Style, OddDesktopValuesReadSafely) {
    h.platform.desktop["TileWallpaper"] = HeadlessPlatform::Binary{};
    EXPECT_FALSE(DesktopWallpaper::ReadTile());  // zero-length data is absent
    h.platform.desktop["TileWallpaper"] = HeadlessPlatform::Binary{{'1'}};  // no terminator
    EXPECT_TRUE(DesktopWallpaper::ReadTile());
    h.platform.desktop["Wallpaper"] = HeadlessPlatform::Binary{std::vector<std::uint8_t>(259, 'a')};
    auto path = DesktopWallpaper::ReadWallpaperPath();
    ASSERT_TRUE(path);
    EXPECT_EQ(path->size(), 259u);
    // Filling the whole buffer leaves no room for the terminator.
    h.platform.desktop["Wallpaper"] = HeadlessPlatform::Binary{std::vector<std::uint8_t>(260, 'a')};
    EXPECT_FALSE(DesktopWallpaper::ReadWallpaperPath());
    h.platform.desktop["Wallpaper"] = std::string(259, 'c');  // 260 bytes with its terminator
    ASSERT_TRUE(DesktopWallpaper::ReadWallpaperPath());
    h.platform.desktop["Wallpaper"] = std::string(300, 'b');
    EXPECT_FALSE(DesktopWallpaper::ReadWallpaperPath());
}

// A PNG or WebP is measured by the BMP its conversion writes, as a JPEG is;
// its transparent parts show the desktop's own colour (black on Linux, the
// Windows desktop colour there), half-transparent ones a blend of both.
TEST_F(Style, PngAndWebpAreMeasuredAfterConversionAndLaidOverTheDesktopColour) {
    h.platform.backgroundColour = 0x336699;
    std::vector<std::uint8_t> rgba;
    for (int i = 0; i < 10 * 4; ++i) {
        const std::uint8_t alpha = i % 3 == 0 ? 0 : i % 3 == 1 ? 128 : 255;
        rgba.insert(rgba.end(), {200, 100, static_cast<std::uint8_t>(i * 6), alpha});
    }
    struct Case {
        const char* name;
        std::string bytes;
    };
    const Case cases[] = {{"t.png", test::EncodePng(rgba, 10, 4, true)},
                          {"t.WebP", test::EncodeWebp(rgba, 10, 4, true, true)}};
    frame.Display = 2;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        frame.m_ImageList = {pics.write(c.name, c.bytes), pics.write("big.Jpeg", "")};
        test::WriteJpeg(frame.m_ImageList[1], 400, 320);
        frame.m_LastIndex = 1;
        frame.m_CurrentIndex = -1;
        h.platform.wallpaperCalls.clear();
        ASSERT_EQ(frame.ChangeWallpaper(0), 1);
        EXPECT_EQ(Tile(), "1");  // 10 x 4: under the thresholds
        ASSERT_EQ(h.platform.wallpaperCalls.size(), 1u);
        const std::string bmp = test::ReadFile(h.platform.wallpaperCalls[0]);
        ASSERT_EQ(bmp.size(), 54u + 4 * 32);  // rows of 30 bytes padded to 32
        for (int i = 0; i < 40; ++i) {
            const int x = i % 10, y = i / 10;
            const auto* px = reinterpret_cast<const std::uint8_t*>(bmp.data()) + 54 + (3 - y) * 32 + x * 3;
            const unsigned a = rgba[i * 4 + 3];
            const std::uint8_t background[3] = {0x99, 0x66, 0x33};  // blue first
            for (int k = 0; k < 3; ++k) {
                const unsigned colour = rgba[i * 4 + 2 - k];
                EXPECT_EQ(px[k], (colour * a + background[k] * (255 - a) + 127) / 255)
                    << "pixel " << x << "," << y << " channel " << k;
            }
        }
        ASSERT_EQ(frame.ChangeWallpaper(0), 1);  // ".Jpeg" is a JPEG too
        EXPECT_EQ(Tile(), "0");
        EXPECT_TRUE(h.platform.boxes.empty());
    }
}

}  // namespace
}  // namespace qm
