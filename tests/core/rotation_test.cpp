// Choosing the next, random and previous image, and what reaches the desktop.
#include <gtest/gtest.h>

#include "frame/main_frame.h"
#include "platform/headless/headless_platform.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_images.h"

namespace qm {
namespace {

// Counts completed wallpaper-file conversions.
struct CountingPlatform : HeadlessPlatform {
    int replaces = 0;
    bool ReplaceFile(const std::string& s, const std::string& t) override {
        ++replaces;
        return HeadlessPlatform::ReplaceFile(s, t);
    }
};

class Rotation : public ::testing::Test {
protected:
    Rotation() {
        SetCurrentPlatform(&p.parts);
        p.windowsDirectory = windows.str();
        frame = std::make_unique<CMainFrame>();
        frame->Directory = pics.str();
        frame->Display = 0;
    }
    ~Rotation() override { SetCurrentPlatform(nullptr); }

    // A list of n entries without touching the disk: BMP entries are handed
    // over as they are.
    void FakeList(int n) {
        frame->m_ImageList.clear();
        for (int i = 0; i < n; ++i) frame->m_ImageList.push_back("C:\\Pics\\" + std::to_string(i) + ".bmp");
        frame->m_LastIndex = n - 1;
        frame->m_CurrentIndex = frame->Random ? n - 1 : -1;
    }
    int Shown() const {
        const std::string& last = p.wallpaperCalls.back();
        return std::stoi(last.substr(8));
    }

    CountingPlatform p;
    test::TempDir pics;
    test::TempDir windows;
    std::unique_ptr<CMainFrame> frame;
};

TEST_F(Rotation, WorkedExampleOfSequentialChoiceAndPrevious) {
    FakeList(4);
    struct Step { int previous; int shown; int previousAfter; };
    const Step steps[] = {{0, 0, 0}, {0, 1, 0}, {0, 2, 1}, {1, 1, 0},
                          {1, 0, 3}, {1, 3, 2}, {0, 0, 3}};
    for (const Step& s : steps) {
        EXPECT_EQ(frame->ChangeWallpaper(s.previous), 1);
        EXPECT_EQ(Shown(), s.shown);
        EXPECT_EQ(frame->m_PreviousIndex, s.previousAfter);
    }
}

TEST_F(Rotation, RandomModeDrawsEveryImageAndPreviousWalksBackFromTheLast) {
    frame->Random = 1;
    FakeList(5);
    p.Seed(7);
    frame->ChangeWallpaper(0);
    EXPECT_EQ(frame->m_PreviousIndex, 4);
    frame->OnPreviousWallpaper();
    EXPECT_EQ(Shown(), 4);
    frame->OnPreviousWallpaper();
    EXPECT_EQ(Shown(), 3);

    FakeList(2);
    bool seen[2] = {false, false};
    for (int i = 0; i < 64; ++i) {
        frame->ChangeWallpaper(0);
        seen[Shown()] = true;
    }
    EXPECT_TRUE(seen[0] && seen[1]);

    FakeList(1);
    for (int i = 0; i < 5; ++i) {
        frame->ChangeWallpaper(i % 2);
        EXPECT_EQ(Shown(), 0);
    }
}

TEST_F(Rotation, RandomDrawCoversLongListsEvenly) {
    frame->Random = 1;
    // Up to 32,768 images the draw is rand() % count.
    FakeList(32768);
    p.Seed(3);
    HeadlessPlatform same;
    same.Seed(3);
    for (int i = 0; i < 20; ++i) {
        frame->ChangeWallpaper(0);
        EXPECT_EQ(Shown(), same.Rand() % 32768);
    }
    // rand() % 40000 would never reach the last 7,232 images, and would show
    // each of the others 40000/32768 times as often as its share.
    FakeList(40000);
    int first = 0, last = 0;  // draws among the first and the last 7,232
    for (int i = 0; i < 4000; ++i) {
        frame->ChangeWallpaper(0);
        first += Shown() < 7232 ? 1 : 0;
        last += Shown() >= 40000 - 7232 ? 1 : 0;
    }
    // 723 each, give or take a few dozen.
    EXPECT_GT(last, first * 8 / 10);
    EXPECT_GT(first, last * 8 / 10);
}

TEST_F(Rotation, SwitchingToSequentialAfterARandomRebuildStartsAtZero) {
    frame->Random = 1;
    FakeList(3);
    frame->Random = 0;
    frame->ChangeWallpaper(0);
    EXPECT_EQ(Shown(), 0);
}

TEST_F(Rotation, PreviousStaysWithinTheList) {
    FakeList(3);
    frame->OnPreviousWallpaper();  // before any forward change
    EXPECT_GE(Shown(), 0);
    EXPECT_LE(Shown(), 2);

    FakeList(6);
    for (int i = 0; i < 6; ++i) frame->ChangeWallpaper(0);
    ASSERT_EQ(frame->m_PreviousIndex, 4);
    FakeList(2);  // a rebuild made the list shorter
    frame->OnPreviousWallpaper();
    EXPECT_LE(Shown(), 1);
    EXPECT_LE(frame->m_PreviousIndex, 1);
    EXPECT_GE(frame->m_PreviousIndex, 0);
}

TEST_F(Rotation, ReapplyWithoutCurrentImageDoesNothing) {
    FakeList(2);
    frame->ReapplyWallpaper();
    EXPECT_TRUE(p.wallpaperCalls.empty());
    frame->ChangeWallpaper(0);
    frame->ReapplyWallpaper();
    EXPECT_EQ(p.wallpaperCalls, (std::vector<std::string>{"C:\\Pics\\0.bmp", "C:\\Pics\\0.bmp"}));
    EXPECT_EQ(frame->m_CurrentIndex, 0);
}

TEST_F(Rotation, CurrentIndexPastTheArraySetsNothing) {
    FakeList(2);
    frame->m_CurrentIndex = 9;
    frame->ReapplyWallpaper();
    frame->Display = 2;
    frame->SetWallpaperStyle();
    EXPECT_TRUE(p.wallpaperCalls.empty());
}

TEST_F(Rotation, PathsUpTo255CharactersReachTheDesktopWholeLongerOnesNot) {
    FakeList(2);
    frame->m_ImageList[0] = "C:\\" + std::string(248, 'p') + ".bmp";  // 255
    frame->m_ImageList[1] = "C:\\" + std::string(249, 'p') + ".bmp";  // 256
    frame->ChangeWallpaper(0);
    frame->ChangeWallpaper(0);
    ASSERT_EQ(p.wallpaperCalls.size(), 1u);
    EXPECT_EQ(p.wallpaperCalls[0], frame->m_ImageList[0]);
}

TEST_F(Rotation, JpegIsConvertedEveryTimeAndTwiceInAutoTile) {
    test::WriteJpeg(pics.file("x.JPG"), 8, 6);
    ASSERT_EQ(frame->BuildImageList(), 1);
    std::string bmp = windows.str() + "/Quillmere Wallpaper.bmp";

    frame->ChangeWallpaper(0);
    EXPECT_EQ(p.wallpaperCalls.back(), bmp);
    EXPECT_EQ(p.replaces, 1);
    frame->ReapplyWallpaper();
    EXPECT_EQ(p.replaces, 2);

    frame->Display = 2;
    frame->ChangeWallpaper(0);
    EXPECT_EQ(p.replaces, 4);  // once to measure it, once to show it
    EXPECT_EQ(p.DesktopString("TileWallpaper"), "1");
    EXPECT_EQ(test::ReadFile(bmp).size(), 54u + 24u * 6u);
}

TEST_F(Rotation, FailedConversionMovesTheIndexButSetsNothing) {
    pics.write("a.jpg", "not a jpeg at all");
    pics.write("b.bmp", "x");
    ASSERT_EQ(frame->BuildImageList(), 1);
    for (int i = 0; i < 2; ++i) frame->ChangeWallpaper(0);
    EXPECT_EQ(p.wallpaperCalls.size(), 1u);
    EXPECT_EQ(p.boxes.size(), 1u);
    EXPECT_EQ(p.boxes[0].caption, "JPEG Fatal Error");
    EXPECT_EQ(frame->m_CurrentIndex, 1);
}

// A tick or click that arrives while a conversion's message box is open
// starts a nested change; both must leave the indices within the list.
TEST_F(Rotation, NestedChangeFromAMessageBoxStaysWithinTheList) {
    pics.write("bad.jpg", "garbage");
    pics.write("ok.bmp", "x");
    pics.write("z.bmp", "x");
    frame->Random = 0;
    ASSERT_EQ(frame->BuildImageList(), 1);
    for (int round = 0; round < 6; ++round) {
        p.duringBox = [this] { frame->ChangeWallpaper(0); frame->OnPreviousWallpaper(); };
        frame->ChangeWallpaper(0);
        EXPECT_GE(frame->m_CurrentIndex, 0);
        EXPECT_LE(frame->m_CurrentIndex, frame->m_LastIndex);
        EXPECT_GE(frame->m_PreviousIndex, 0);
        EXPECT_LE(frame->m_PreviousIndex, frame->m_LastIndex);
    }
}

}  // namespace
}  // namespace qm
