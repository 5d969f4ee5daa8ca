// Directory searches, file replacement, folders and the wallpaper call on
// the real Windows API.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <iterator>
#include <map>
#include <string>

#include "platform/win32/win32_platform.h"
#include "platform/win32/windows_api.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_images.h"

namespace qm {
namespace {

using test::TempDir;

// name -> isDirectory, for every entry a search yields.
std::map<std::string, bool> Collect(SystemServices& platform, const std::string& pattern,
                                    bool& started) {
    std::map<std::string, bool> seen;
    FindEntry entry;
    auto search = platform.FindFirst(pattern.c_str(), entry);
    started = static_cast<bool>(search);
    if (!search) {
        return seen;
    }
    do {
        seen[entry.name] = entry.isDirectory;
    } while (search->FindNext(entry));
    return seen;
}

TEST(Win32FindTest, ListsRealFolderWithDotEntriesAndMatchesWithoutCase) {
    Win32Platform platform;
    TempDir dir;
    dir.write("Alpha.JPG", "a");
    dir.write("beta.jpg", "b");
    dir.write("notes.txt", "c");
    std::filesystem::create_directory(dir.path() / "Sub.jpg");

    bool started = false;
    auto all = Collect(platform, dir.str() + "\\*", started);
    ASSERT_TRUE(started);
    std::map<std::string, bool> expected{{".", true},          {"..", true},
                                         {"Alpha.JPG", false}, {"beta.jpg", false},
                                         {"notes.txt", false}, {"Sub.jpg", true}};
    EXPECT_EQ(all, expected);

    auto jpegs = Collect(platform, dir.str() + "\\*.jPg", started);
    ASSERT_TRUE(started);
    std::map<std::string, bool> expectedJpegs{
        {"Alpha.JPG", false}, {"beta.jpg", false}, {"Sub.jpg", true}};
    EXPECT_EQ(jpegs, expectedJpegs);

    Collect(platform, dir.str() + "\\*.png", started);
    EXPECT_FALSE(started);
    Collect(platform, dir.str() + "\\missing\\*", started);
    EXPECT_FALSE(started);
}

TEST(Win32FindTest, PatternsOfMaxPathOrLongerAreNotSearched) {
    Win32Platform platform;
    TempDir dir;
    dir.write("a.jpg", "a");
    // Pad with ".\" steps so the pattern still names the same folder.
    auto padded = [&](std::size_t length) {
        std::string prefix = dir.str() + "\\";
        std::string tail = "*";
        std::string middle;
        while (prefix.size() + middle.size() + tail.size() + 2 <= length) {
            middle += ".\\";
        }
        if (prefix.size() + middle.size() + tail.size() < length) {
            tail = "**";
        }
        std::string pattern = prefix + middle + tail;
        EXPECT_EQ(pattern.size(), length);
        return pattern;
    };
    bool started = false;
    auto justFits = Collect(platform, padded(kMaxPath - 1), started);
    EXPECT_TRUE(started);
    EXPECT_EQ(justFits.count("a.jpg"), 1u);
    Collect(platform, padded(kMaxPath), started);
    EXPECT_FALSE(started);
    Collect(platform, padded(kMaxPath + 40), started);
    EXPECT_FALSE(started);
}

// Characters the ANSI code page lacks: the ANSI search reports them as '?'
// or as look-alike letters (best fit), a name that opens no file.
TEST(Win32FindTest, NamesOutsideTheCodePageComeByTheirShortNameOrNotAtAll) {
    Win32Platform platform;
    TempDir dir;
    const std::wstring folder = std::filesystem::path(dir.str()).wstring() + L"\\";
    // "\u0141\u00f3d\u017a\u0160.bmp" and "\u65e5\u672c.jpg" (Polish letters, Japanese).
    const std::wstring foreign[] = {L"\x141\xf3\x64\x17a\x160.bmp", L"\x65e5\x672c.jpg"};
    std::map<std::string, std::string> expected;  // name as listed -> content
    for (std::size_t i = 0; i < std::size(foreign); ++i) {
        BOOL lossy = FALSE;
        WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, foreign[i].c_str(), -1, nullptr, 0,
                            nullptr, &lossy);
        if (!lossy) {
            GTEST_SKIP() << "code page " << GetACP() << " spells every test name";
        }
        const std::string content = "picture " + std::to_string(i);
        HANDLE file = CreateFileW((folder + foreign[i]).c_str(), GENERIC_WRITE, 0, nullptr,
                                  CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        DWORD written = 0;
        WriteFile(file, content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
        CloseHandle(file);
        // Listed by the short name when the file system gave it one.
        WIN32_FIND_DATAW data;
        HANDLE found = FindFirstFileW((folder + foreign[i]).c_str(), &data);
        ASSERT_NE(found, INVALID_HANDLE_VALUE);
        FindClose(found);
        if (data.cAlternateFileName[0] != L'\0') {
            char shortName[14] = {};
            WideCharToMultiByte(CP_ACP, 0, data.cAlternateFileName, -1, shortName,
                                sizeof shortName, nullptr, nullptr);
            expected[shortName] = content;
        }
    }
    expected["plain.bmp"] = test::ReadFile(dir.write("plain.bmp", "plain"));

    bool started = false;
    std::map<std::string, std::string> listed;
    for (const auto& [name, isDirectory] : Collect(platform, dir.str() + "\\*", started)) {
        if (!isDirectory) {
            listed[name] = test::ReadFile(dir.str() + "\\" + name);
        }
    }
    ASSERT_TRUE(started);
    EXPECT_EQ(listed, expected) << "every name listed must open its own file";
    // A search whose only match is such a file: its short name, or no search.
    const auto jpegs = Collect(platform, dir.str() + "\\*.jpg", started);
    EXPECT_EQ(started, !jpegs.empty());
    for (const auto& [name, isDirectory] : jpegs) {
        EXPECT_EQ(expected.count(name), 1u) << name;
    }
}

TEST(Win32FileTest, ReplaceFileSwapsInTheNewContentOrLeavesTargetAlone) {
    Win32Platform platform;
    TempDir dir;
    std::string target = dir.write("wallpaper.bmp", "old");
    std::string source = dir.write("wallpaper.tmp", "new content");

    ASSERT_TRUE(platform.ReplaceFile(source, target));
    EXPECT_EQ(test::ReadFile(target), "new content");
    EXPECT_FALSE(std::filesystem::exists(source));

    EXPECT_FALSE(platform.ReplaceFile(dir.file("absent.tmp"), target));
    EXPECT_EQ(test::ReadFile(target), "new content");

    // Onto a name not yet taken works as well.
    std::string second = dir.write("second.tmp", "2");
    ASSERT_TRUE(platform.ReplaceFile(second, dir.file("fresh.bmp")));
    EXPECT_EQ(test::ReadFile(dir.file("fresh.bmp")), "2");
}

TEST(Win32FileTest, FreeDiskSpaceIsTheVolumesAndNothingForAMissingFolder) {
    Win32Platform platform;
    TempDir dir;
    const auto free = platform.FreeDiskSpace(dir.str());
    ASSERT_TRUE(free);
    const std::uintmax_t available = std::filesystem::space(dir.path()).available;
    EXPECT_NEAR(static_cast<double>(*free), static_cast<double>(available), 64.0 * (1 << 20));
    EXPECT_FALSE(platform.FreeDiskSpace(dir.file("no such folder")));
}

TEST(Win32FileTest, FoldersAreReportedWithBackslashes) {
    Win32Platform platform;
    EXPECT_EQ(platform.PathSeparator(), '\\');

    std::string wallpaper = platform.WallpaperDirectory();
    ASSERT_FALSE(wallpaper.empty());
    EXPECT_TRUE(std::filesystem::is_directory(wallpaper));
    EXPECT_EQ(wallpaper.find('/'), std::string::npos) << wallpaper;

    TempDir dir;
    char previous[MAX_PATH];
    ASSERT_NE(GetCurrentDirectoryA(MAX_PATH, previous), 0u);
    ASSERT_TRUE(SetCurrentDirectoryA(dir.str().c_str()));
    std::string current = platform.CurrentDirectory();
    SetCurrentDirectoryA(previous);
    EXPECT_EQ(std::filesystem::path(current), std::filesystem::path(dir.str()));
}

TEST(Win32CompareTest, MultibyteComparisonsOrderAndFoldCase) {
    Win32Platform platform;
    EXPECT_EQ(platform.MbsCmp("Holiday.jpg", "Holiday.jpg"), 0);
    EXPECT_NE(platform.MbsCmp("holiday.jpg", "Holiday.jpg"), 0);
    EXPECT_LT(platform.MbsCmp("a.jpg", "b.jpg"), 0);
    EXPECT_EQ(platform.MbsICmp("HOLIDAY.JPG", "holiday.jpg"), 0);
    EXPECT_LT(platform.MbsICmp("a.jpg", "B.jpg"), 0);
    EXPECT_GT(platform.MbsICmp("abc", "AB"), 0);
}

std::string QueryDesktop(const char* name) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, "Control Panel\\Desktop", 0, KEY_READ, &key) !=
        ERROR_SUCCESS) {
        return {};
    }
    char buf[1024] = {};
    DWORD size = sizeof buf - 1;
    LONG rc = RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(buf), &size);
    RegCloseKey(key);
    return rc == ERROR_SUCCESS ? std::string(buf) : std::string();
}

TEST(Win32WallpaperTest, SetDesktopWallpaperRecordsThePathInTheDesktopKey) {
    Win32Platform platform;
    TempDir dir;
    // A 2x2 24-bit picture: a header and four padded rows' worth of pixels.
    std::string bmp = test::BmpHeader(2, 2);
    bmp.resize(54, '\0');
    bmp += std::string(16, '\x7f');
    std::string path = dir.write("wall.bmp", bmp);

    std::string before = QueryDesktop("Wallpaper");
    platform.SetDesktopWallpaper(path.c_str());
    std::string after = QueryDesktop("Wallpaper");
    SystemParametersInfoA(SPI_SETDESKWALLPAPER, 0, const_cast<char*>(before.c_str()),
                          SPIF_UPDATEINIFILE);

    EXPECT_EQ(after, path);
}

}  // namespace
}  // namespace qm
