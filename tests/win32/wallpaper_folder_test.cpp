// Where a JPEG change writes the wallpaper file, through the real calls:
// the Windows directory when it can be written, otherwise the program's
// folder in the user's local application data; the desktop's "Wallpaper"
// names the file really written either way.
//
// Wine lets anyone write C:\windows, so the read-only case runs in a prefix
// of its own, owned by an ordinary user with that folder read-only
// (readonly-windows.sh); ctest leaves the ReadOnlyWindowsDirectory suite to
// that script.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "frame/main_frame.h"
#include "imaging/wallpaper_bmp.h"
#include "platform/wallpaper_directory.h"
#include "platform/win32/win32_platform.h"
#include "platform/win32/windows_api.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_images.h"
#include "tests/win32/raw_registry.h"

#include <shlobj.h>

namespace qm {
namespace {

namespace fs = std::filesystem;

// The real backend, with message boxes recorded instead of shown: there is
// nobody to close them.
class BoxRecordingPlatform : public Win32Platform {
public:
    std::vector<std::string> boxes;
    int AppMessageBox(const std::string& text, BoxIcon) override {
        boxes.push_back(text);
        return kIdOk;
    }
    int MessageBox(bool, const std::string& text, const std::string&, BoxIcon) override {
        boxes.push_back(text);
        return kIdOk;
    }
};

std::string DesktopWallpaperValue() {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, "Control Panel\\Desktop", 0, KEY_READ, &key) !=
        ERROR_SUCCESS) {
        return {};
    }
    char buf[MAX_PATH + 1] = {};
    DWORD size = MAX_PATH;
    const LONG rc =
        RegQueryValueExA(key, "Wallpaper", nullptr, nullptr, reinterpret_cast<BYTE*>(buf), &size);
    RegCloseKey(key);
    return rc == ERROR_SUCCESS ? std::string(buf) : std::string();
}

std::string WindowsDirectory() {
    char buf[MAX_PATH] = {};
    EXPECT_NE(GetWindowsDirectoryA(buf, MAX_PATH), 0u);
    return buf;
}

std::string OwnDataFolder() {
    char buf[MAX_PATH] = {};
    EXPECT_EQ(SHGetFolderPathA(nullptr, CSIDL_LOCAL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, buf),
              S_OK);
    return std::string(buf) + '\\' + kOwnDataFolderName;
}

// One change to a JPEG with the real backend installed; the profile goes
// to a company key of its own and the desktop's wallpaper is put back.
class Win32WallpaperFolderTest : public ::testing::Test {
protected:
    static constexpr const char* kCompany = "Quillmere Wallpaper Folder Test";

    void SetUp() override {
        previousWallpaper_ = DesktopWallpaperValue();
        platform.SetRegistryKey(kCompany, "Quillmere");
        SetCurrentPlatform(&platform.parts);
    }
    void TearDown() override {
        SetCurrentPlatform(nullptr);
        SystemParametersInfoA(SPI_SETDESKWALLPAPER, 0,
                              const_cast<char*>(previousWallpaper_.c_str()), SPIF_UPDATEINIFILE);
        RegDeleteTreeA(HKEY_CURRENT_USER, (std::string("Software\\") + kCompany).c_str());
    }

    // Changes to a 12 x 8 JPEG, centred; the path the desktop now names.
    std::string ChangeToJpeg() {
        const std::string jpeg = dir.file("holiday.jpg");
        test::WriteJpeg(jpeg, 12, 8);
        CMainFrame frame;
        frame.Display = 0;
        frame.m_ImageList = {jpeg};
        frame.m_LastIndex = 0;
        frame.m_CurrentIndex = -1;
        EXPECT_EQ(frame.ChangeWallpaper(0), 1);
        return DesktopWallpaperValue();
    }

    // The file is a whole 12 x 8 24-bit BMP.
    static void ExpectWallpaperBmp(const std::string& path) {
        const std::string bytes = test::ReadFile(path);
        ASSERT_EQ(bytes.size(), 54u + 36u * 8u) << path;
        EXPECT_EQ(bytes.substr(0, 2), "BM");
        EXPECT_EQ(bytes.substr(18, 8), test::BmpHeader(12, 8).substr(18, 8));
    }

    BoxRecordingPlatform platform;
    test::TempDir dir;

private:
    std::string previousWallpaper_;
};

TEST_F(Win32WallpaperFolderTest, WritableWindowsDirectoryTakesTheFileAndTheDesktopNamesIt) {
    const std::string windows = WindowsDirectory();
    const bool ownFolderExisted = fs::exists(OwnDataFolder());
    const std::string expected = windows + '\\' + kWallpaperFileName;
    const std::string named = ChangeToJpeg();

    EXPECT_TRUE(platform.boxes.empty()) << platform.boxes.front();
    EXPECT_EQ(platform.WallpaperDirectory(), windows);
    EXPECT_EQ(named, expected);
    ExpectWallpaperBmp(expected);
    EXPECT_EQ(fs::exists(OwnDataFolder()), ownFolderExisted)
        << "the own folder is made only when the Windows directory is closed";
    DeleteFileA(expected.c_str());
}

// Run by readonly-windows.sh only.
TEST_F(Win32WallpaperFolderTest, ReadOnlyWindowsDirectorySendsTheFileToTheOwnDataFolder) {
    const std::string windows = WindowsDirectory();
    // The premise, checked with the plain API: this user cannot create a
    // file in the Windows directory.
    const std::string probe = windows + "\\Quillmere premise check";
    HANDLE h = CreateFileA(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h != INVALID_HANDLE_VALUE) {
        CloseHandle(h);
        DeleteFileA(probe.c_str());
        FAIL() << windows << " can be written: run this through readonly-windows.sh";
    }
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));

    const std::string own = OwnDataFolder();
    RemoveDirectoryA(own.c_str());
    ASSERT_FALSE(fs::exists(own)) << "left over from an earlier run, not empty";

    const std::string expected = own + '\\' + kWallpaperFileName;
    const std::string named = ChangeToJpeg();
    EXPECT_TRUE(platform.boxes.empty()) << platform.boxes.front();
    EXPECT_EQ(named, expected);
    ExpectWallpaperBmp(expected);
    EXPECT_FALSE(fs::exists(windows + '\\' + kWallpaperFileName));

    // A second change writes over the same file.
    EXPECT_EQ(ChangeToJpeg(), expected);
    EXPECT_TRUE(platform.boxes.empty());

    // With the own folder closed too, saving fails with the usual message
    // and the desktop keeps the picture it had.
    DeleteFileA(expected.c_str());
    ASSERT_TRUE(RemoveDirectoryA(own.c_str()));
    const std::string blocker = dir.write("not a folder", "x");
    ASSERT_TRUE(MoveFileA(blocker.c_str(), own.c_str()));
    EXPECT_EQ(ChangeToJpeg(), expected);
    EXPECT_EQ(platform.boxes, std::vector<std::string>{"Error: Can't save as BMP"});
    DeleteFileA(own.c_str());
}

}  // namespace
}  // namespace qm
