// A change that starts while a conversion's message box is open (the box's
// nested message loop delivers a timer tick or a tray click) must not spoil
// the wallpaper file that the first conversion is still writing.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "frame/main_frame.h"
#include "imaging/wallpaper_bmp.h"
#include "platform/headless/headless_platform.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_images.h"

namespace qm {
namespace {

TEST(Reentrancy, ChangeDuringAWarningBoxLeavesAWholeWallpaper) {
    ScopedHeadless headless;
    HeadlessPlatform& platform = headless.platform;
    test::TempDir dir;
    std::filesystem::create_directory(dir.path() / "windows");
    platform.windowsDirectory = dir.file("windows");
    const std::string wallpaper = platform.windowsDirectory + "/" + kWallpaperFileName;

    // The first picture is cut short, so its decode warns part-way, with
    // the temporary file open; the second is small and whole.
    const std::string whole = test::EncodeJpeg(test::MakeRgbPattern(64, 48), 64, 48);
    const std::string cut = dir.write("cut.jpg", whole.substr(0, whole.size() * 7 / 10));
    const std::string small = dir.file("small.jpg");
    test::WriteJpeg(small, 8, 8);
    // What the first picture alone gives.
    ASSERT_TRUE(ConvertJpegToBmp(cut, dir.file("alone.bmp")));
    const std::string expected = test::ReadFile(dir.file("alone.bmp"));
    platform.boxes.clear();

    CMainFrame frame;
    frame.Display = 0;
    frame.m_ImageList = {cut, small};
    frame.m_LastIndex = 1;
    platform.duringBox = [&] { frame.ChangeWallpaper(0); };
    ASSERT_EQ(frame.ChangeWallpaper(0), 1);

    std::vector<std::string> texts;
    for (const auto& box : platform.boxes) {
        texts.push_back(box.text);
    }
    EXPECT_EQ(texts, std::vector<std::string>{"Premature end of JPEG file"});
    EXPECT_EQ(frame.m_CurrentIndex, 1) << "the nested change moved on";
    // Both changes set the file; the first, finishing last, is what it holds.
    EXPECT_EQ(platform.wallpaperCalls, (std::vector<std::string>{wallpaper, wallpaper}));
    const std::string written = test::ReadFile(wallpaper);
    EXPECT_EQ(written.size(), expected.size());
    EXPECT_TRUE(written == expected) << "the wallpaper file is not the first picture, whole";
    for (const auto& entry : std::filesystem::directory_iterator(platform.windowsDirectory)) {
        EXPECT_EQ(entry.path().filename().string(), kWallpaperFileName) << "a temporary was left";
    }
}

}  // namespace
}  // namespace qm
