// The shell operations that need no display: strings and the icon from the
// linked resource script, the profile's key, the single-instance claim and
// the thread's COM apartment.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/win32/win32_platform.h"
#include "platform/win32/windows_api.h"

#include <objbase.h>
#include "res/resource.h"
#include "tests/win32/raw_registry.h"

namespace qm {
namespace {

TEST(Win32ResourceTest, StringsComeFromTheModuleAndMissingOnesAreEmpty) {
    Win32Platform platform;
    EXPECT_EQ(platform.LoadString(IDR_MAINFRAME), "Quillmere");
    EXPECT_EQ(platform.LoadString(IDS_APP_TITLE), "Quillmere");
    EXPECT_EQ(platform.LoadString(4321), "");
}

TEST(Win32ResourceTest, TrayIconHasAnImageForEverySmallAndLargeIconSize) {
    // The icon group lists one image per size, so the tray's small icon is
    // drawn, never scaled, at 100 % to 250 %, and the large one up to 200 %.
    HMODULE module = GetModuleHandleA(nullptr);
    HRSRC group = FindResourceA(module, MAKEINTRESOURCEA(IDR_MAINFRAME), RT_GROUP_ICON);
    ASSERT_NE(group, nullptr);
    const auto* dir = static_cast<const BYTE*>(LockResource(LoadResource(module, group)));
    ASSERT_NE(dir, nullptr);
    const int count = dir[4] | (dir[5] << 8);
    std::vector<int> sizes;
    for (int i = 0; i < count; ++i) {
        const BYTE* entry = dir + 6 + 14 * i;  // GRPICONDIRENTRY
        EXPECT_EQ(entry[0], entry[1]);         // square
        EXPECT_EQ(entry[6] | (entry[7] << 8), 4) << "bits per pixel";
        sizes.push_back(entry[0]);
    }
    EXPECT_EQ(sizes, (std::vector<int>{16, 20, 24, 32, 40, 48, 64}));
    for (int size : sizes) {
        HANDLE icon = LoadImageA(module, MAKEINTRESOURCEA(IDR_MAINFRAME), IMAGE_ICON, size, size,
                                 LR_LOADMAP3DCOLORS);
        ASSERT_NE(icon, nullptr) << size;
        ICONINFO info = {};
        ASSERT_TRUE(GetIconInfo(static_cast<HICON>(icon), &info));
        BITMAP colour = {};
        ASSERT_NE(GetObjectA(info.hbmColor, sizeof colour, &colour), 0);
        EXPECT_EQ(colour.bmWidth, size);
        EXPECT_EQ(colour.bmHeight, size);
        DeleteObject(info.hbmColor);
        DeleteObject(info.hbmMask);
        DestroyIcon(static_cast<HICON>(icon));
    }
}

TEST(Win32InstanceTest, ClaimIsANamedMutexOfTheSessionWithOneHolder) {
    const std::string name = "Quillmere Test Claim " + std::to_string(GetCurrentProcessId());
    const std::string sessionName = "Local\\" + name;
    {
        Win32Platform first;
        ASSERT_TRUE(first.ClaimSingleInstance(name.c_str()));
        // What a copy started beside this one meets: the name taken, in the
        // session's own namespace.
        HANDLE seen = OpenMutexA(SYNCHRONIZE, FALSE, sessionName.c_str());
        EXPECT_NE(seen, nullptr);
        if (seen != nullptr) {
            CloseHandle(seen);
        }
        Win32Platform second;
        EXPECT_FALSE(second.ClaimSingleInstance(name.c_str()));
        EXPECT_FALSE(first.ClaimSingleInstance(name.c_str()));
    }
    // Held as long as its platform, which the program keeps to its end.
    EXPECT_EQ(OpenMutexA(SYNCHRONIZE, FALSE, sessionName.c_str()), nullptr);
    Win32Platform later;
    EXPECT_TRUE(later.ClaimSingleInstance(name.c_str()));
}

// The folder browser needs a single-threaded apartment on its thread.
TEST(Win32ComTest, ThreadIsASingleThreadedApartmentWhileThePlatformLives) {
    APTTYPE type = APTTYPE_CURRENT;
    APTTYPEQUALIFIER qualifier = APTTYPEQUALIFIER_NONE;
    ASSERT_EQ(CoGetApartmentType(&type, &qualifier), CO_E_NOTINITIALIZED);
    {
        Win32Platform platform;
        ASSERT_EQ(CoGetApartmentType(&type, &qualifier), S_OK);
        EXPECT_TRUE(type == APTTYPE_MAINSTA || type == APTTYPE_STA) << type;
    }
    EXPECT_EQ(CoGetApartmentType(&type, &qualifier), CO_E_NOTINITIALIZED);
}

TEST(Win32ProfileKeyTest, SetRegistryKeyMovesTheProfileUnderTheNamedCompanyAndApp) {
    const std::string company = "Software\\Quillmere Test Company";
    const std::string defaultSection = std::string("Software\\") +
                                       Win32Platform::kCompanyKey + "\\" +
                                       Win32Platform::kAppName + "\\KeyTest";
    const bool defaultCompanyExisted =
        test::KeyExists(std::string("Software\\") + Win32Platform::kCompanyKey);
    RegDeleteTreeA(HKEY_CURRENT_USER, company.c_str());
    RegDeleteTreeA(HKEY_CURRENT_USER, defaultSection.c_str());

    Win32Platform platform;
    platform.WriteProfileInt("KeyTest", "Before", 1);
    EXPECT_TRUE(test::KeyExists(defaultSection));

    platform.SetRegistryKey("Quillmere Test Company", "Test App");
    platform.WriteProfileInt("KeyTest", "Number", 42);
    platform.WriteProfileString("KeyTest", "Text", "moved");
    EXPECT_TRUE(test::KeyExists(company + "\\Test App\\KeyTest"));

    // Reads follow the key too: the value written before is not seen.
    EXPECT_EQ(platform.GetProfileInt("KeyTest", "Number", 0), 42);
    EXPECT_EQ(platform.GetProfileString("KeyTest", "Text", ""), "moved");
    EXPECT_EQ(platform.GetProfileInt("KeyTest", "Before", -1), -1);

    // A fresh platform still uses the default key.
    Win32Platform other;
    EXPECT_EQ(other.GetProfileInt("KeyTest", "Before", -1), 1);
    EXPECT_EQ(other.GetProfileInt("KeyTest", "Number", -1), -1);

    RegDeleteTreeA(HKEY_CURRENT_USER, company.c_str());
    RegDeleteTreeA(HKEY_CURRENT_USER, defaultSection.c_str());
    if (!defaultCompanyExisted) {
        RegDeleteTreeA(HKEY_CURRENT_USER,
                       (std::string("Software\\") + Win32Platform::kCompanyKey).c_str());
    }
}

}  // namespace
}  // namespace qm
