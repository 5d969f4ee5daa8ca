// Choosing the next, random and previous image, and what reaches the desktop.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>

#include "frame/main_frame.h"
#include "platform/headless/headless_platform.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_images.h"

namespace qm {
namespace {

// Counts completed wallpaper-file conversions (a set's run side by side).
struct CountingPlatform : HeadlessPlatform {
    std::atomic<int> replaces{0};
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

    // A set's pictures are all converted; what went wrong is told once
    // they are done, in the monitors' order, and the good one is shown.
    pics.write("c.jpg", "AAAA");
    pics.write("e.jpg", "BBBB");
    test::WriteJpeg(pics.file("d.jpg"), 64, 48);
    frame->m_ImageList = {pics.file("c.jpg"), pics.file("d.jpg"), pics.file("e.jpg")};
    frame->m_LastIndex = 2;
    frame->m_CurrentIndex = -1;
    p.monitors = {{0, 0, 300, 100}, {300, 0, 300, 100}, {600, 0, 300, 100}};
    p.eachMonitorWay = EachMonitorWay::Each;
    frame->EachMonitor = 1;
    p.boxes.clear();
    frame->ChangeWallpaper(0);
    ASSERT_EQ(p.boxes.size(), 2u);
    EXPECT_NE(p.boxes[0].text.find("0x41 0x41"), std::string::npos) << p.boxes[0].text;
    EXPECT_NE(p.boxes[1].text.find("0x42 0x42"), std::string::npos) << p.boxes[1].text;
    ASSERT_EQ(p.monitorWallpaperCalls.size(), 1u);
    ASSERT_EQ(p.monitorWallpaperCalls[0].size(), 1u);
    EXPECT_EQ(p.monitorWallpaperCalls[0][0].monitor, (MonitorRect{300, 0, 300, 100}));
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

// With "EachMonitor", each monitor (left to right, then top to bottom) gets
// its own next picture, and Previous steps back one whole set.
TEST_F(Rotation, EachMonitorGetsItsOwnPictureAndPreviousStepsBackTheSet) {
    const MonitorRect left{0, 0, 1920, 1080}, right{1920, 0, 1280, 1024};
    p.monitors = {right, left};  // as a system may list them
    p.eachMonitorWay = EachMonitorWay::Each;
    frame->EachMonitor = 1;
    FakeList(5);
    const auto set = [&] {
        std::vector<int> shown;
        const auto& call = p.monitorWallpaperCalls.back();
        EXPECT_EQ(call.size(), 2u);
        EXPECT_EQ(call[0].monitor, left);
        EXPECT_EQ(call[1].monitor, right);
        for (const MonitorPicture& m : call) shown.push_back(std::stoi(m.path.substr(8)));
        return shown;
    };
    struct Step { int previous; std::vector<int> shown; };
    const Step steps[] = {{0, {0, 1}}, {0, {2, 3}}, {0, {4, 0}}, {1, {2, 3}}, {1, {0, 1}}, {0, {2, 3}}};
    for (const Step& s : steps) {
        frame->ChangeWallpaper(s.previous);
        EXPECT_EQ(set(), s.shown) << "after previous=" << s.previous;
    }
    EXPECT_TRUE(p.wallpaperCalls.empty());

    // At random no two monitors show the same picture while there are enough.
    frame->Random = 1;
    FakeList(2);
    for (int i = 0; i < 40; ++i) {
        frame->ChangeWallpaper(0);
        const auto shown = set();
        EXPECT_NE(shown[0], shown[1]);
    }
    FakeList(1);
    frame->ChangeWallpaper(0);
    EXPECT_EQ(set(), (std::vector<int>{0, 0}));

    // One monitor, the setting off, or a desktop that cannot: one picture, as ever.
    const std::size_t sets = p.monitorWallpaperCalls.size();
    for (int c = 0; c < 3; ++c) {
        p.monitors = c == 0 ? std::vector<MonitorRect>{left} : std::vector<MonitorRect>{left, right};
        frame->EachMonitor = c == 1 ? 0 : 1;
        p.eachMonitorWay = c == 2 ? EachMonitorWay::None : EachMonitorWay::Each;
        frame->ChangeWallpaper(0);
        EXPECT_EQ(p.wallpaperCalls.size(), static_cast<std::size_t>(c + 1));
    }
    EXPECT_EQ(p.monitorWallpaperCalls.size(), sets);
}

// Where the desktop takes one picture only, the set is composed into one
// BMP: each monitor's picture laid out on it, and a monitor left of the
// primary one on the picture's far side, as tiling from the primary's top
// left shows it.
TEST_F(Rotation, ComposedSetLaysEachPictureOutOnItsMonitor) {
    const auto bmp = [&](const char* name, int w, int h, auto colourAt) {
        std::string data(54 + static_cast<std::size_t>((w * 3 + 3) / 4 * 4) * h, '\0');
        MakeBmpHeader(reinterpret_cast<std::uint8_t*>(data.data()), w, h, static_cast<std::uint32_t>(data.size()));
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const std::uint32_t c = colourAt(x, y);
                char* at = data.data() + 54 + static_cast<std::size_t>((w * 3 + 3) / 4 * 4) * (h - 1 - y) + 3 * x;
                at[0] = static_cast<char>(c), at[1] = static_cast<char>(c >> 8), at[2] = static_cast<char>(c >> 16);
            }
        pics.write(name, data);
    };
    bmp("a.bmp", 10, 10, [](int, int) { return 0xff0000u; });
    bmp("b.bmp", 40, 20, [](int x, int) { return x < 20 ? 0x0000ffu : 0x00ff00u; });
    ASSERT_EQ(frame->BuildImageList(), 1);
    p.monitors = {{-200, 0, 200, 100}, {0, 0, 300, 100}};
    p.eachMonitorWay = EachMonitorWay::Composed;
    p.backgroundColour = 0x102030;
    frame->EachMonitor = 1;
    frame->Stretch = kSizeFitted;
    frame->ChangeWallpaper(0);
    const std::string composed = windows.str() + "/Quillmere Wallpaper.bmp";
    ASSERT_EQ(p.composedWallpaperCalls, std::vector<std::string>{composed});
    const std::string file = test::ReadFile(composed);
    ASSERT_EQ(file.size(), 54u + 1500u * 100u);
    const auto at = [&](int x, int y) {
        const char* px = file.data() + 54 + 1500 * (99 - y) + 3 * x;
        return static_cast<std::uint32_t>(static_cast<std::uint8_t>(px[2])) << 16 |
               static_cast<std::uint32_t>(static_cast<std::uint8_t>(px[1])) << 8 |
               static_cast<std::uint8_t>(px[0]);
    };
    // The primary (b, fitted: 200x100 with bars), then the left monitor
    // (a, fitted: 100x100 in the middle of its 200) at 300..499.
    struct Probe { int x; std::uint32_t colour; };
    for (const Probe& probe : {Probe{25, 0x102030u}, {60, 0x0000ffu}, {240, 0x00ff00u}, {275, 0x102030u},
                               {320, 0x102030u}, {360, 0xff0000u}, {440, 0xff0000u}, {480, 0x102030u}}) {
        EXPECT_EQ(at(probe.x, 50), probe.colour) << "x " << probe.x;
    }

    // Each monitor's file stays only while a desktop shows it: those of a
    // monitor gone, and the steps to a composed picture, go; names a
    // desktop was handed, and other files, stay.
    test::WriteJpeg(pics.file("c.jpg"), 64, 48);
    test::WriteJpeg(pics.file("d.jpg"), 48, 64);
    frame->m_ImageList = {pics.file("c.jpg"), pics.file("d.jpg"), pics.file("a.bmp")};
    frame->m_LastIndex = 2;
    frame->m_CurrentIndex = -1;
    const std::string shown = windows.write("Quillmere Wallpaper-7.bmp", "x");
    const std::string other = windows.write("Quillmere Wallpaper 1.jpg", "x");
    const auto fileOf = [&](int n) { return windows.file("Quillmere Wallpaper " + std::to_string(n) + ".bmp"); };
    windows.write("Quillmere Wallpaper 4.bmp", "x");
    p.eachMonitorWay = EachMonitorWay::Each;
    p.monitors = {{0, 0, 300, 100}, {300, 0, 300, 100}, {600, 0, 300, 100}};
    frame->ChangeWallpaper(0);  // c.jpg and d.jpg converted, a.bmp as it is
    EXPECT_TRUE(std::filesystem::exists(fileOf(1)));
    EXPECT_TRUE(std::filesystem::exists(fileOf(2)));
    EXPECT_FALSE(std::filesystem::exists(fileOf(4)));
    p.monitors.pop_back();
    frame->m_CurrentIndex = 0;
    frame->ChangeWallpaper(0);  // d.jpg, then a.bmp: no file of the second monitor's
    ASSERT_EQ(p.monitorWallpaperCalls.back().size(), 2u);
    EXPECT_EQ(std::filesystem::path(p.monitorWallpaperCalls.back()[0].path), std::filesystem::path(fileOf(1)));
    EXPECT_TRUE(std::filesystem::exists(fileOf(1)));
    EXPECT_FALSE(std::filesystem::exists(fileOf(2)));
    p.eachMonitorWay = EachMonitorWay::Composed;
    frame->ReapplyWallpaper();
    EXPECT_FALSE(std::filesystem::exists(fileOf(1)));
    EXPECT_TRUE(std::filesystem::exists(composed));
    EXPECT_TRUE(std::filesystem::exists(shown));
    EXPECT_TRUE(std::filesystem::exists(other));
}

}  // namespace
}  // namespace qm
