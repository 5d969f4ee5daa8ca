// Directory searches, file replacement, folders and the wallpaper calls on
// the real Windows API (the per-monitor desktop object, which Wine lacks,
// played by a stand-in server).
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <iterator>
#include <map>
#include <optional>
#include <string>
#include <vector>

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

std::optional<std::string> DesktopValue(const char* name) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, "Control Panel\\Desktop", 0, KEY_READ, &key) !=
        ERROR_SUCCESS) {
        return std::nullopt;
    }
    char buf[1024] = {};
    DWORD size = sizeof buf - 1;
    LONG rc = RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(buf), &size);
    RegCloseKey(key);
    return rc == ERROR_SUCCESS ? std::optional<std::string>(buf) : std::nullopt;
}

void SetDesktopValue(const char* name, const std::optional<std::string>& value) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, "Control Panel\\Desktop", &key), ERROR_SUCCESS);
    if (value) {
        RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value->c_str()),
                       static_cast<DWORD>(value->size() + 1));
    } else {
        RegDeleteValueA(key, name);
    }
    RegCloseKey(key);
}

// The desktop's layout values and wallpaper, put back as they were.
class DesktopValuesKept {
public:
    DesktopValuesKept()
        : tile_(DesktopValue("TileWallpaper")),
          style_(DesktopValue("WallpaperStyle")),
          wallpaper_(QueryDesktop("Wallpaper")) {}
    ~DesktopValuesKept() {
        SetDesktopValue("TileWallpaper", tile_);
        SetDesktopValue("WallpaperStyle", style_);
        SystemParametersInfoA(SPI_SETDESKWALLPAPER, 0, const_cast<char*>(wallpaper_.c_str()),
                              SPIF_UPDATEINIFILE);
    }
    DesktopValuesKept(const DesktopValuesKept&) = delete;
    DesktopValuesKept& operator=(const DesktopValuesKept&) = delete;

private:
    std::optional<std::string> tile_, style_;
    std::string wallpaper_;
};

// The per-monitor desktop object played by desktop_wallpaper_standin.dll,
// built beside this program and registered while Register's caller lasts.
// Wine's COM looks classes up among the machine's only (its
// HKEY_CLASSES_ROOT is HKLM\Software\Classes, with no user part), so the
// class goes there, in the tests' own prefix.
class StandinDesktopObject {
public:
    StandinDesktopObject() {
        wchar_t exe[MAX_PATH] = {};
        GetModuleFileNameW(nullptr, exe, MAX_PATH);
        dll_ = std::filesystem::path(exe).replace_filename(kDll).wstring();
        module_ = LoadLibraryW(dll_.c_str());
        // What a run that ended without removing it left behind.
        if (RegisteredServer().ends_with(kDll)) {
            Unregister();
        }
    }
    ~StandinDesktopObject() {
        if (registered_) {
            Unregister();
        }
        if (module_ != nullptr) {
            FreeLibrary(module_);
        }
    }
    StandinDesktopObject(const StandinDesktopObject&) = delete;
    StandinDesktopObject& operator=(const StandinDesktopObject&) = delete;

    bool Loaded() const { return module_ != nullptr; }
    // Windows 8 on: the system's own object, which the test must leave be.
    bool SystemHasClass() const { return !RegisteredServer().empty(); }

    bool Register() {
        HKEY key = nullptr;
        if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, kServerKey, 0, nullptr, 0, KEY_WRITE, nullptr,
                            &key, nullptr) != ERROR_SUCCESS) {
            return false;
        }
        registered_ = true;
        const std::wstring model = L"Apartment";
        const bool written =
            RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(dll_.c_str()),
                           static_cast<DWORD>((dll_.size() + 1) * sizeof(wchar_t))) ==
                ERROR_SUCCESS &&
            RegSetValueExW(key, L"ThreadingModel", 0, REG_SZ,
                           reinterpret_cast<const BYTE*>(model.c_str()),
                           static_cast<DWORD>((model.size() + 1) * sizeof(wchar_t))) ==
                ERROR_SUCCESS;
        RegCloseKey(key);
        return written;
    }

    // The calls the object recorded since the last time asked.
    std::wstring TakeRecord() {
        using RecordFn = const wchar_t* (*)();
        using ClearFn = void (*)();
        auto record = reinterpret_cast<RecordFn>(
            reinterpret_cast<void*>(GetProcAddress(module_, "StandinRecord")));
        auto clear = reinterpret_cast<ClearFn>(
            reinterpret_cast<void*>(GetProcAddress(module_, "StandinClear")));
        if (record == nullptr || clear == nullptr) {
            return L"(no record)";
        }
        std::wstring taken = record();
        clear();
        return taken;
    }

private:
    static constexpr const wchar_t* kDll = L"desktop_wallpaper_standin.dll";
    static constexpr const wchar_t* kClassKey =
        L"Software\\Classes\\CLSID\\{C2CF3110-460E-4fc1-B9D0-8A1C0C9CC4BD}";
    static constexpr const wchar_t* kServerKey =
        L"Software\\Classes\\CLSID\\{C2CF3110-460E-4fc1-B9D0-8A1C0C9CC4BD}\\InprocServer32";

    static std::wstring RegisteredServer() {
        wchar_t buf[MAX_PATH] = {};
        DWORD size = sizeof buf - sizeof(wchar_t);
        if (RegGetValueW(HKEY_LOCAL_MACHINE, kServerKey, nullptr, RRF_RT_REG_SZ, nullptr, buf,
                         &size) != ERROR_SUCCESS) {
            return {};
        }
        return buf;
    }
    static void Unregister() {
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, kClassKey);
        RegDeleteKeyW(HKEY_LOCAL_MACHINE, kClassKey);
    }

    std::wstring dll_;
    HMODULE module_ = nullptr;
    bool registered_ = false;
};

TEST(Win32WallpaperTest, EachMonitorGetsItsOwnFileThroughTheDesktopObject) {
    if (GetACP() != 1252) {
        GTEST_SKIP() << "the accented name is spelled in code page 1252, not " << GetACP();
    }
    Win32Platform platform;
    StandinDesktopObject standin;
    ASSERT_TRUE(standin.Loaded());
    if (standin.SystemHasClass()) {
        GTEST_SKIP() << "the system has its own per-monitor desktop object";
    }
    const MonitorRect a{0, 0, 1920, 1080};
    const MonitorRect c{1920, 0, 1280, 1024};
    const MonitorRect lacking{-1280, 0, 1280, 1024};
    const MonitorRect detached{0, 0, 0, 0};  // the rectangle the object gives B

    EXPECT_EQ(platform.HowEachMonitor(), EachMonitorWay::Composed);
    EXPECT_FALSE(platform.SetMonitorWallpapers({{a, "C:\\a.bmp"}}));
    ASSERT_TRUE(standin.Register());
    EXPECT_EQ(platform.HowEachMonitor(), EachMonitorWay::Each);

    const DesktopValuesKept kept;
    const std::wstring toA = L"wallpaper \\\\?\\DISPLAY#A ";
    const std::wstring toC = L"wallpaper \\\\?\\DISPLAY#C ";
    struct Case {
        const char* layout;
        const char* tile;   // nullptr: no such value
        const char* style;
        std::vector<MonitorPicture> pictures;
        bool handed;
        std::wstring record;
    };
    const Case cases[] = {
        {"tiled", "1", "2",
         {{c, "C:\\Walls\\c.bmp"},
          {lacking, "C:\\Walls\\gone.bmp"},
          {detached, "C:\\Walls\\b.bmp"},
          {a, "C:\\Walls\\caf\xe9.bmp"}},
         true,
         L"position 1\n" + toA + L"C:\\Walls\\caf\u00e9.bmp\n" + toC + L"C:\\Walls\\c.bmp\n"},
        {"centred", "0", "0", {{a, "C:\\a.bmp"}}, true, L"position 0\n" + toA + L"C:\\a.bmp\n"},
        {"stretched", "0", "2", {{c, "C:\\c.bmp"}}, true, L"position 2\n" + toC + L"C:\\c.bmp\n"},
        {"filled", "0", "10", {{a, "C:\\a.bmp"}}, true, L"position 4\n" + toA + L"C:\\a.bmp\n"},
        {"fitted", "0", "6", {{a, "C:\\a.bmp"}}, true, L"position 3\n" + toA + L"C:\\a.bmp\n"},
        {"no values", nullptr, nullptr, {{a, "C:\\a.bmp"}}, true,
         L"position 0\n" + toA + L"C:\\a.bmp\n"},
        {"no monitor of theirs", "0", "2",
         {{lacking, "C:\\gone.bmp"}, {detached, "C:\\b.bmp"}}, false, L""},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.layout);
        SetDesktopValue("TileWallpaper", test.tile ? std::optional<std::string>(test.tile)
                                                   : std::nullopt);
        SetDesktopValue("WallpaperStyle", test.style ? std::optional<std::string>(test.style)
                                                     : std::nullopt);
        standin.TakeRecord();
        EXPECT_EQ(platform.SetMonitorWallpapers(test.pictures), test.handed);
        EXPECT_EQ(standin.TakeRecord(), test.record);
    }
}

TEST(Win32WallpaperTest, ComposedFileIsTiledFromThePrimaryMonitor) {
    Win32Platform platform;
    TempDir dir;
    std::string bmp = test::BmpHeader(2, 2);
    bmp.resize(54, '\0');
    bmp += std::string(16, '\x7f');
    const std::string path = dir.write("composed.bmp", bmp);
    const DesktopValuesKept kept;
    SetDesktopValue("TileWallpaper", "0");
    SetDesktopValue("WallpaperStyle", "2");

    platform.SetComposedWallpaper(path.c_str());
    EXPECT_EQ(DesktopValue("TileWallpaper"), "1");
    EXPECT_EQ(DesktopValue("WallpaperStyle"), "0");
    EXPECT_EQ(QueryDesktop("Wallpaper"), path);
}

}  // namespace
}  // namespace qm
