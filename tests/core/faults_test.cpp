// Faults from outside: a full disk, a Windows directory that cannot take
// the file, folders that vanish or cannot be read, profile values of the
// wrong type or size, a desktop key that is missing or cannot be opened.
// Each is met as the program's rules say, and nothing already there is
// lost.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#ifdef __linux__
#include <sys/mount.h>
#include <unistd.h>
#endif

#include "frame/main_frame.h"
#include "imaging/wallpaper_bmp.h"
#include "platform/headless/headless_platform.h"
#include "tests/support/settings_numbers.h"
#include "tests/support/headless_fixture.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_images.h"

namespace qm {
namespace {

namespace fs = std::filesystem;
using Binary = HeadlessPlatform::Binary;

const std::string kOldWallpaper = "the previous wallpaper, whole";

class Faults : public test::HeadlessFixture {
protected:
    // A frame whose list holds one JPEG, in the given display mode.
    void OneJpeg(CMainFrame& frame, const std::string& jpeg, int display) {
        frame.Display = display;
        frame.m_ImageList = {jpeg};
        frame.m_LastIndex = 0;
        frame.m_CurrentIndex = -1;
    }
    void ExpectBoxes(const std::vector<std::string>& texts) {
        std::vector<std::string> got;
        for (const auto& b : platform().boxes) {
            got.push_back(b.text);
            EXPECT_EQ(b.caption, "Quillmere");
            EXPECT_EQ(b.style, BoxIcon::None);
        }
        EXPECT_EQ(got, texts);
    }
};

// --- The wallpaper file -------------------------------------------------------

#ifdef __linux__
// A link planted at the temporary's name (to /dev/full, where every write
// fails as on a full disk, or to a file of the user's) is not written
// through: the conversion makes a file of its own, and the link's target
// is left as it was.
TEST_F(Faults, ALinkAtTheTemporarysNameIsNotWrittenThrough) {
    fs::create_directory(dir.path() / "windows");
    platform().windowsDirectory = dir.file("windows");
    const std::string wallpaper = dir.file("windows/" + std::string(kWallpaperFileName));
    const std::string victim = dir.write("victim.txt", "the user's own file");
    std::vector<std::string> targets{victim};
    const bool full = fs::is_character_file("/dev/full");
    if (full) {
        targets.push_back("/dev/full");
    }
    for (const std::string& target : targets) {
        SCOPED_TRACE(target);
        dir.write("windows/" + std::string(kWallpaperFileName), kOldWallpaper);
        fs::remove(wallpaper + ".tmp");
        fs::create_symlink(target, wallpaper + ".tmp");
        platform().boxes.clear();
        platform().wallpaperCalls.clear();
        CMainFrame frame;
        OneJpeg(frame, Jpeg("in.jpg", 64, 48), 0);
        EXPECT_EQ(frame.ChangeWallpaper(0), 1);
        ExpectBoxes({});
        EXPECT_EQ(platform().wallpaperCalls, std::vector<std::string>{wallpaper});
        EXPECT_FALSE(fs::is_symlink(wallpaper));
        EXPECT_EQ(test::ReadFile(wallpaper).substr(0, 2), "BM");
        EXPECT_FALSE(fs::exists(fs::symlink_status(wallpaper + ".tmp")));
    }
    EXPECT_EQ(test::ReadFile(victim), "the user's own file");
    EXPECT_EQ(fs::is_character_file("/dev/full"), full);
}

// A real small file system that fills up part-way through the picture.
TEST_F(Faults, DiskFullOnATinyFileSystemKeepsTheOldFile) {
    const std::string mountPoint = dir.file("tiny");
    fs::create_directory(mountPoint);
    if (geteuid() != 0 || mount("qm-tiny", mountPoint.c_str(), "tmpfs", 0, "size=64k") != 0) {
        GTEST_SKIP() << "cannot mount a 64 KiB tmpfs here (" << (geteuid() != 0 ? "not root" : std::strerror(errno))
                     << "); WallpaperBmpTest's write limit covers a failing write";
    }
    struct Unmount {
        std::string at;
        ~Unmount() { umount2(at.c_str(), MNT_DETACH); }
    } unmount{mountPoint};

    platform().windowsDirectory = mountPoint;
    const std::string wallpaper = mountPoint + "/" + kWallpaperFileName;
    dir.write("tiny/" + std::string(kWallpaperFileName), kOldWallpaper);
    CMainFrame frame;
    OneJpeg(frame, Jpeg("in.jpg", 320, 240), 2);  // 230 KB of BMP
    // Its real free space is too little from the start: nothing is begun.
    EXPECT_EQ(frame.ChangeWallpaper(0), 1);
    ExpectBoxes({"Error: Can't save as BMP", "Error: Can't save as BMP"});
    EXPECT_FALSE(fs::exists(wallpaper + ".tmp"));

    // Room that another program takes while the file is written.
    platform().boxes.clear();
    platform().freeSpace = std::uint64_t{1} << 40;
    EXPECT_EQ(frame.ChangeWallpaper(0), 1);
    // Auto-Tile converts twice (size, then the wallpaper): both give up,
    // and no layout value is written without a size.
    ExpectBoxes({"fwrite error\nGiving up", "fwrite error\nGiving up"});
    EXPECT_TRUE(platform().desktop.find("TileWallpaper") == platform().desktop.end());
    EXPECT_TRUE(platform().wallpaperCalls.empty());
    EXPECT_EQ(test::ReadFile(wallpaper), kOldWallpaper);
    EXPECT_FALSE(fs::exists(wallpaper + ".tmp"));

    // Once there is room again, the next change works.
    platform().boxes.clear();
    OneJpeg(frame, Jpeg("small.jpg", 16, 16), 0);
    EXPECT_EQ(frame.ChangeWallpaper(0), 1);
    EXPECT_TRUE(platform().boxes.empty());
    EXPECT_EQ(platform().wallpaperCalls, std::vector<std::string>{wallpaper});
}
#endif

// A volume with too little room left is not filled to its last byte (for
// everything else on it too) only to fail: nothing is begun.
TEST_F(Faults, TooLittleFreeSpaceCannotSaveAsBmpAndBeginsNothing) {
    fs::create_directory(dir.path() / "windows");
    platform().windowsDirectory = dir.file("windows");
    const std::string wallpaper = dir.write("windows/" + std::string(kWallpaperFileName), kOldWallpaper);
    const std::uint64_t bmpSize = 54 + 192 * 48;  // 64 x 48
    CMainFrame frame;
    platform().freeSpace = bmpSize + kFreeSpaceMargin - 1;
    OneJpeg(frame, Jpeg("in.jpg", 64, 48), 0);
    EXPECT_EQ(frame.ChangeWallpaper(0), 1);
    ExpectBoxes({"Error: Can't save as BMP"});
    EXPECT_TRUE(platform().wallpaperCalls.empty());
    EXPECT_EQ(test::ReadFile(wallpaper), kOldWallpaper);
    EXPECT_FALSE(fs::exists(wallpaper + ".tmp"));

    platform().boxes.clear();
    platform().freeSpace = bmpSize + kFreeSpaceMargin;
    EXPECT_EQ(frame.ChangeWallpaper(0), 1);
    ExpectBoxes({});
    EXPECT_EQ(test::ReadFile(wallpaper).size(), bmpSize);
}

// With no wallpaper folder to be had (no home: the Windows directory and
// the own folder both unknown) or a relative one, the file would be made
// in the current directory, perhaps the picture folder, and the desktop
// handed a relative path. Refused, and nothing is made anywhere.
TEST_F(Faults, WallpaperFolderThatCannotBeHadOrIsRelativeCannotSaveAsBmp) {
    const fs::path pics = dir.path() / "pics";
    fs::create_directories(pics / "windows");
    const std::string jpeg = (pics / "in.jpg").string();
    test::WriteJpeg(jpeg, 8, 8);
    const fs::path started = fs::current_path();
    fs::current_path(pics);  // started from the picture folder
    platform().currentDirectory = pics.string();
    platform().localAppDataDirectory = "";
    CMainFrame frame;
    for (const char* windows : {"", "windows"}) {
        SCOPED_TRACE(windows);
        platform().boxes.clear();
        platform().windowsDirectory = windows;
        OneJpeg(frame, jpeg, 2);
        EXPECT_EQ(frame.ChangeWallpaper(0), 1);
        frame.ReapplyWallpaper();
        // Auto-Tile's size, the change, the re-application: each says so.
        ExpectBoxes({"Error: Can't save as BMP", "Error: Can't save as BMP", "Error: Can't save as BMP"});
        EXPECT_TRUE(platform().wallpaperCalls.empty());
    }
    fs::current_path(started);
    std::vector<std::string> made;
    for (const auto& entry : fs::recursive_directory_iterator(pics)) {
        made.push_back(entry.path().filename().string());
    }
    EXPECT_EQ(made.size(), 2u) << "only in.jpg and windows/";
    EXPECT_FALSE(fs::exists(fs::path("/") / kWallpaperFileName));
}

TEST_F(Faults, WindowsDirectoryThatCannotTakeTheFileCannotSaveAsBmp) {
    // A regular file where the folder should be, and a folder that is not
    // there: refused even when running as root.
    const std::string notAFolder = dir.write("windows-is-a-file", "x");
    for (const std::string& windows : {notAFolder, dir.file("no-such-folder")}) {
        SCOPED_TRACE(windows);
        platform().boxes.clear();
        platform().windowsDirectory = windows;
        CMainFrame frame;
        OneJpeg(frame, Jpeg("in.jpg", 8, 8), 0);
        EXPECT_EQ(frame.ChangeWallpaper(0), 1);
        EXPECT_EQ(frame.m_CurrentIndex, 0) << "the index moves anyway";
        ExpectBoxes({"Error: Can't save as BMP"});
        EXPECT_TRUE(platform().wallpaperCalls.empty());
    }
    EXPECT_EQ(test::ReadFile(notAFolder), "x");
}

TEST_F(Faults, ClosedWindowsDirectorySendsTheFileToTheOwnDataFolder) {
    // Paths as the platform joins them, with its own separator.
    const std::string sep(1, platform().separator);
    const std::string local = dir.file("local");
    fs::create_directory(local);
    platform().localAppDataDirectory = local;
    const std::string own = local + sep + "Quillmere";
    const std::string inOwn = own + sep + kWallpaperFileName;
    const std::string jpeg = Jpeg("in.jpg", 8, 8);

    // Open Windows directory: used, and the own folder is not made.
    platform().windowsDirectory = dir.str();
    CMainFrame frame;
    OneJpeg(frame, jpeg, 0);
    EXPECT_EQ(frame.ChangeWallpaper(0), 1);
    EXPECT_EQ(platform().wallpaperCalls,
              std::vector<std::string>{dir.str() + sep + kWallpaperFileName});
    EXPECT_FALSE(fs::exists(own));

    // Closed: the own folder is made and takes the file, on every change.
    const std::string notAFolder = dir.write("windows-is-a-file", "x");
    for (const std::string& windows : {notAFolder, dir.file("no-such-folder"), notAFolder}) {
        SCOPED_TRACE(windows);
        platform().wallpaperCalls.clear();
        platform().windowsDirectory = windows;
        OneJpeg(frame, jpeg, 0);
        EXPECT_EQ(frame.ChangeWallpaper(0), 1);
        EXPECT_EQ(platform().wallpaperCalls, std::vector<std::string>{inOwn});
        EXPECT_EQ(test::ReadFile(inOwn).size(), 54u + 24u * 8u);
    }
    ExpectBoxes({});
    EXPECT_EQ(test::ReadFile(notAFolder), "x");

    // Neither can be written: the usual message, and no wallpaper call.
    fs::remove_all(own);
    dir.write("local/Quillmere", "a file where the folder should be");
    platform().wallpaperCalls.clear();
    OneJpeg(frame, jpeg, 0);
    EXPECT_EQ(frame.ChangeWallpaper(0), 1);
    ExpectBoxes({"Error: Can't save as BMP"});
    EXPECT_TRUE(platform().wallpaperCalls.empty());
}

// --- The picture folder -----------------------------------------------------

TEST_F(Faults, FolderThatVanishesBetweenCountingAndCollectingGivesAnEmptyList) {
    const fs::path pics = dir.path() / "pics";
    fs::create_directory(pics);
    test::WriteJpeg((pics / "a.jpg").string(), 4, 4);
    dir.write("pics/b.bmp", test::BmpHeader(4, 4));
    CMainFrame frame;
    frame.Directory = pics.string();
    ASSERT_EQ(frame.BuildImageList(), 1);
    ASSERT_EQ(frame.m_LastIndex, 1);
    frame.m_CurrentIndex = 1;

    // The real folder goes away once both counts are in.
    platform().beforeFind = [&](const std::string& pattern) {
        if (pattern.ends_with("*.*")) {
            fs::remove_all(pics);
        }
        return true;
    };
    EXPECT_EQ(frame.BuildImageList(), 0);
    EXPECT_EQ(frame.m_LastIndex, -1);
    EXPECT_EQ(frame.m_ImageList, std::vector<std::string>(2)) << "sized by the counts, nothing stored";
    EXPECT_EQ(frame.ChangeWallpaper(0), 0);
    EXPECT_EQ(frame.ChangeWallpaper(1), 0);
    frame.ReapplyWallpaper();  // current index 1 points at an empty entry
    frame.SetWallpaperStyle();
    EXPECT_TRUE(platform().wallpaperCalls.empty());
    EXPECT_TRUE(platform().boxes.empty());
}

TEST_F(Faults, UnreadableFolderCountsNothingAndKeepsTheOldList) {
    const fs::path pics = dir.path() / "pics";
    fs::create_directory(pics);
    dir.write("pics/a.bmp", test::BmpHeader(4, 4));
    CMainFrame frame;
    frame.Directory = pics.string();
    ASSERT_EQ(frame.BuildImageList(), 1);
    const std::vector<std::string> before = frame.m_ImageList;

    // Every search in the folder is refused, as for a folder without read
    // permission (which root would not feel).
    platform().beforeFind = [](const std::string&) { return false; };
    EXPECT_EQ(frame.BuildImageList(), 0);
    EXPECT_EQ(frame.m_LastIndex, -1);
    EXPECT_EQ(frame.m_ImageList, before);
    EXPECT_EQ(frame.ChangeWallpaper(0), 0);

#ifdef __linux__
    platform().beforeFind = nullptr;
    if (geteuid() != 0) {
        fs::permissions(pics, fs::perms::none);
        EXPECT_EQ(frame.BuildImageList(), 0);
        EXPECT_EQ(frame.m_ImageList, before);
        fs::permissions(pics, fs::perms::owner_all);
    }
#endif
    platform().beforeFind = nullptr;
    EXPECT_EQ(frame.BuildImageList(), 1) << "readable again, listed again";
}

// --- The profile ------------------------------------------------------------------

TEST_F(Faults, ProfileValuesOfTheWrongTypeOrSizeReadAsMissingAndAreRepaired) {
    auto& config = platform().profile["Config"];
    platform().currentDirectory = "/start";
    const std::vector<HeadlessPlatform::Value> wrong = {
        std::string("12"), std::string(), Binary{}, Binary{{1}}, Binary{{1, 0}}, Binary{{1, 0, 0}},
        Binary{{7, 0, 0, 0}}, Binary{{1, 0, 0, 0, 0, 0, 0, 0}}, Binary{std::vector<std::uint8_t>(4096, 0xff)}};
    for (const auto& value : wrong) {
        for (const char* name : {"AutoChange", "Display", "Height", "Width", "Random", "Stretch", "Time", "When"}) {
            config[name] = value;
        }
        config["Directory"] = std::uint32_t{42};
        CMainFrame frame;
        EXPECT_EQ(test::NumbersOf(frame), test::kDefaultNumbers);
        EXPECT_EQ(frame.Directory, "/start");
        // The constructor's save leaves all nine of the proper type.
        for (const auto& [name, stored] : config) {
            if (name == "Directory") {
                EXPECT_TRUE(std::holds_alternative<std::string>(stored));
            } else {
                EXPECT_TRUE(std::holds_alternative<std::uint32_t>(stored)) << name;
            }
        }
    }
    // Values of the right type beside broken ones are kept; extreme
    // numbers are taken as stored.
    config.clear();
    config["Width"] = Binary{{9, 9}};
    config["Height"] = std::uint32_t{0x80000000u};
    config["Time"] = std::uint32_t{0xffffffffu};
    config["Directory"] = std::string(1000, 'd');
    CMainFrame frame;
    EXPECT_EQ(frame.Width, 301);
    EXPECT_EQ(frame.Height, INT32_MIN);
    EXPECT_EQ(frame.Time, -1);
    EXPECT_EQ(frame.Directory, std::string(1000, 'd'));
    EXPECT_EQ(frame.BuildImageList(), 0) << "a folder too long to search lists nothing";
    EXPECT_TRUE(platform().boxes.empty());
}

// --- The desktop key --------------------------------------------------------------

TEST_F(Faults, MissingOrUnopenableDesktopKeyStillSetsTheWallpaper) {
    fs::create_directory(dir.path() / "windows");
    platform().windowsDirectory = dir.file("windows");
    const std::string bmp = dir.write("a.bmp", test::BmpHeader(100, 100));
    const std::string jpeg = Jpeg("b.jpg", 400, 400);

    // Missing: the style write creates it; the re-layout commands, which
    // only open it, do nothing.
    {
        platform().desktopKeyExists = false;
        platform().desktop.clear();
        CMainFrame frame;
        frame.OnTileCurrent();
        EXPECT_FALSE(platform().desktopKeyExists);
        EXPECT_TRUE(platform().wallpaperCalls.empty());
        EXPECT_TRUE(frame.OnUpdateTileCurrent());
        EXPECT_FALSE(frame.OnUpdateCenterCurrent());
        OneJpeg(frame, bmp, 2);
        EXPECT_EQ(frame.ChangeWallpaper(0), 1);
        EXPECT_TRUE(platform().desktopKeyExists);
        EXPECT_EQ(platform().DesktopString("TileWallpaper"), "1");
        EXPECT_EQ(platform().wallpaperCalls, std::vector<std::string>{bmp});
    }
    // Cannot be created or opened: nothing is written or read, nothing is
    // shown, and the wallpaper call is made all the same.
    {
        platform().desktopKeyBroken = true;
        platform().desktop.clear();
        platform().wallpaperCalls.clear();
        CMainFrame frame;
        frame.m_ImageList = {bmp, jpeg};
        frame.m_LastIndex = 1;
        frame.Display = 2;
        EXPECT_EQ(frame.ChangeWallpaper(0), 1);
        EXPECT_EQ(frame.ChangeWallpaper(0), 1);
        frame.OnCenterCurrent();
        frame.OnTileCurrent();
        EXPECT_FALSE(frame.OnUpdateCenterCurrent());
        EXPECT_TRUE(frame.OnUpdateTileCurrent());
        EXPECT_TRUE(platform().desktop.empty());
        EXPECT_EQ(platform().wallpaperCalls,
                  (std::vector<std::string>{bmp, platform().windowsDirectory + "/" + kWallpaperFileName}));
        EXPECT_TRUE(platform().boxes.empty());
    }
}

}  // namespace
}  // namespace qm
