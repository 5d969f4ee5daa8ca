// The profile and the desktop key against Wine's (or Windows') real registry.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/win32/win32_platform.h"
#include "platform/win32/windows_api.h"
#include "tests/win32/raw_registry.h"

namespace qm {
namespace {

constexpr const char* kSection = "Win32Tests";
const std::string kCompanyPath = std::string("Software\\") + Win32Platform::kCompanyKey;
const std::string kSectionPath =
    kCompanyPath + "\\" + Win32Platform::kAppName + "\\" + kSection;

// Removes what the tests write, and the company key too when it was not
// there before, so a real installation's settings are left alone.
class ProfileTest : public ::testing::Test {
protected:
    void SetUp() override {
        companyExisted_ = test::KeyExists(kCompanyPath);
        RegDeleteTreeA(HKEY_CURRENT_USER, kSectionPath.c_str());
    }
    void TearDown() override {
        RegDeleteTreeA(HKEY_CURRENT_USER, kSectionPath.c_str());
        if (!companyExisted_) {
            RegDeleteTreeA(HKEY_CURRENT_USER, kCompanyPath.c_str());
        }
    }

    // Stores data of any type exactly as given, as another program might.
    void PutRaw(const char* name, DWORD type, const void* data, DWORD size) {
        HKEY key = OpenForWrite();
        EXPECT_TRUE(test::SetRawValue(key, name, type, data, size));
        RegCloseKey(key);
    }
    void PutRawString(const char* name, DWORD type, const std::string& text) {
        HKEY key = OpenForWrite();
        EXPECT_TRUE(test::SetRawString(key, name, type, text));
        RegCloseKey(key);
    }
    static HKEY OpenForWrite() {
        HKEY key = nullptr;
        EXPECT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, kSectionPath.c_str(), 0, nullptr, 0,
                                  KEY_WRITE, nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        return key;
    }

    // The stored type and size of a value; false when missing.
    bool Stored(const char* name, DWORD& type, std::string& data) {
        HKEY key = nullptr;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, kSectionPath.c_str(), 0, KEY_READ, &key) !=
            ERROR_SUCCESS) {
            return false;
        }
        char buf[4096];
        DWORD size = sizeof buf;
        LONG rc = RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buf), &size);
        RegCloseKey(key);
        if (rc != ERROR_SUCCESS) {
            return false;
        }
        data.assign(buf, size);
        return true;
    }

    Win32Platform platform;
    bool companyExisted_ = false;
};

TEST_F(ProfileTest, NumbersAndStringsRoundTripWithRegistryTypes) {
    platform.WriteProfileInt(kSection, "Interval", 42);
    platform.WriteProfileInt(kSection, "Negative", -7);
    platform.WriteProfileString(kSection, "Folder", "C:\\Pictures\\Holiday");
    platform.WriteProfileString(kSection, "Empty", "");

    DWORD type = 0;
    std::string data;
    ASSERT_TRUE(Stored("Interval", type, data));
    EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
    ASSERT_EQ(data.size(), 4u);
    DWORD n = 0;
    std::memcpy(&n, data.data(), 4);
    EXPECT_EQ(n, 42u);

    ASSERT_TRUE(Stored("Folder", type, data));
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(data, std::string("C:\\Pictures\\Holiday", 20));  // terminator stored

    EXPECT_EQ(platform.GetProfileInt(kSection, "Interval", 5), 42);
    EXPECT_EQ(platform.GetProfileInt(kSection, "Negative", 5), -7);
    EXPECT_EQ(platform.GetProfileString(kSection, "Folder", "x"), "C:\\Pictures\\Holiday");
    // An emptied setting stays empty rather than falling back.
    EXPECT_EQ(platform.GetProfileString(kSection, "Empty", "x"), "");

    // Overwriting keeps one value of the new content.
    platform.WriteProfileString(kSection, "Folder", "D:\\");
    EXPECT_EQ(platform.GetProfileString(kSection, "Folder", "x"), "D:\\");
}

TEST_F(ProfileTest, MissingOrForeignValuesGiveTheDefault) {
    // No section key at all.
    EXPECT_EQ(platform.GetProfileInt(kSection, "Interval", 15), 15);
    EXPECT_EQ(platform.GetProfileString(kSection, "Folder", "dflt"), "dflt");

    const std::string text("12", 3);
    const DWORD number = 9;
    const unsigned long long wide = 9;
    const unsigned char four[4] = {9, 0, 0, 0};
    PutRawString("IntAsString", REG_SZ, text);
    PutRaw("IntAsBinary", REG_BINARY, four, sizeof four);
    PutRaw("IntAsQword", REG_QWORD, &wide, sizeof wide);
    PutRaw("IntTooShort", REG_DWORD, &number, 2);
    PutRaw("StringAsDword", REG_DWORD, &number, sizeof number);
    PutRaw("StringAsBinary", REG_BINARY, text.data(), 3);
    PutRawString("StringZeroLength", REG_SZ, "");
    PutRawString("ExpandZeroLength", REG_EXPAND_SZ, "");

    EXPECT_EQ(platform.GetProfileInt(kSection, "Absent", 15), 15);
    EXPECT_EQ(platform.GetProfileInt(kSection, "IntAsString", 15), 15);
    EXPECT_EQ(platform.GetProfileInt(kSection, "IntAsBinary", 15), 15);
    EXPECT_EQ(platform.GetProfileInt(kSection, "IntAsQword", 15), 15);
    EXPECT_EQ(platform.GetProfileInt(kSection, "IntTooShort", 15), 15);
    EXPECT_EQ(platform.GetProfileString(kSection, "Absent", "dflt"), "dflt");
    EXPECT_EQ(platform.GetProfileString(kSection, "StringAsDword", "dflt"), "dflt");
    EXPECT_EQ(platform.GetProfileString(kSection, "StringAsBinary", "dflt"), "dflt");
    EXPECT_EQ(platform.GetProfileString(kSection, "StringZeroLength", "dflt"), "dflt");
    EXPECT_EQ(platform.GetProfileString(kSection, "ExpandZeroLength", "dflt"), "dflt");
}

TEST_F(ProfileTest, StringsWithoutTerminatorOrWithExpandTypeReadWhole) {
    std::string longText(3000, 'q');
    longText += "END";
    PutRawString("Unterminated", REG_SZ, longText);
    PutRawString("Short", REG_SZ, "x");
    PutRawString("Padded", REG_SZ, std::string("abc\0\0\0", 6));
    PutRawString("Expand", REG_EXPAND_SZ, std::string("%WINDIR%\\Web", 13));

    EXPECT_EQ(platform.GetProfileString(kSection, "Unterminated", "dflt"), longText);
    EXPECT_EQ(platform.GetProfileString(kSection, "Short", "dflt"), "x");
    EXPECT_EQ(platform.GetProfileString(kSection, "Padded", "dflt"), "abc");
    // Read as stored: expansion is the caller's business.
    EXPECT_EQ(platform.GetProfileString(kSection, "Expand", "dflt"), "%WINDIR%\\Web");
}

// The desktop key is the user's real one: tests use their own value names
// and remove them, except where noted.
class DesktopKeyTest : public ::testing::Test {
protected:
    static constexpr const char* kPath = "Control Panel\\Desktop";

    void TearDown() override {
        HKEY key = nullptr;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, kPath, 0, KEY_ALL_ACCESS, &key) == ERROR_SUCCESS) {
            for (const char* name : {"QmTestStyle", "QmTestRaw", "QmTestEmpty"}) {
                RegDeleteValueA(key, name);
            }
            RegCloseKey(key);
        }
    }

    static void PutRawString(const char* name, const std::string& text) {
        HKEY key = nullptr;
        ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, kPath, 0, KEY_ALL_ACCESS, &key),
                  ERROR_SUCCESS);
        EXPECT_TRUE(test::SetRawString(key, name, REG_SZ, text));
        RegCloseKey(key);
    }

    Win32Platform platform;
};

TEST_F(DesktopKeyTest, SetStringStoresTerminatedStringThatQueryReads) {
    auto key = platform.CreateDesktopKey();
    ASSERT_TRUE(key);
    key->SetString("QmTestStyle", "1");

    HKEY raw = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, kPath, 0, KEY_READ, &raw), ERROR_SUCCESS);
    DWORD type = 0;
    char data[16] = {};
    DWORD size = sizeof data;
    ASSERT_EQ(RegQueryValueExA(raw, "QmTestStyle", nullptr, &type, reinterpret_cast<BYTE*>(data),
                               &size),
              ERROR_SUCCESS);
    RegCloseKey(raw);
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(size, 2u);
    EXPECT_STREQ(data, "1");

    auto opened = platform.OpenDesktopKey();
    ASSERT_TRUE(opened);
    char buf[kMaxPath];
    ASSERT_TRUE(opened->Query("QmTestStyle", buf, sizeof buf));
    EXPECT_STREQ(buf, "1");
}

TEST_F(DesktopKeyTest, QueryKeepsBufferTerminatedAndRejectsWhatDoesNotFit) {
    auto key = platform.OpenDesktopKey();
    ASSERT_TRUE(key);
    PutRawString("QmTestRaw", "abc");  // no terminator stored
    PutRawString("QmTestEmpty", "");

    char buf[8];
    std::memset(buf, 'x', sizeof buf);
    ASSERT_TRUE(key->Query("QmTestRaw", buf, 4));
    EXPECT_STREQ(buf, "abc");

    // Three bytes of data need a fourth for the terminator.
    std::memset(buf, 'x', sizeof buf);
    EXPECT_FALSE(key->Query("QmTestRaw", buf, 3));
    EXPECT_EQ(buf[0], '\0');

    std::memset(buf, 'x', sizeof buf);
    EXPECT_FALSE(key->Query("QmTestEmpty", buf, sizeof buf));
    EXPECT_EQ(buf[0], '\0');

    std::memset(buf, 'x', sizeof buf);
    EXPECT_FALSE(key->Query("QmTestAbsent", buf, sizeof buf));
    EXPECT_EQ(buf[0], '\0');
}

// The key missing and then made, on a throwaway tree: for this process
// HKEY_CURRENT_USER stands for a scratch key while the test runs, so the
// user's real desktop key is never taken away. Removing that would leave
// every process that holds it open writing into a deleted key: user32 opens
// it once at start and keeps it, and the wallpaper call writes through that
// handle ("Wallpaper" then reads empty for the rest of the process).
TEST_F(DesktopKeyTest, OpenFailsOnMissingKeyWhichCreateMakes) {
    const char* scratchPath = "Software\\Quillmere Desktop Key Test";
    RegDeleteTreeA(HKEY_CURRENT_USER, scratchPath);
    HKEY scratch = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, scratchPath, 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &scratch, nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(RegOverridePredefKey(HKEY_CURRENT_USER, scratch), ERROR_SUCCESS);

    bool openedMissing = static_cast<bool>(platform.OpenDesktopKey());
    bool created = false;
    bool openedAfterCreate = false;
    {
        auto key = platform.CreateDesktopKey();
        created = static_cast<bool>(key);
        if (key) {
            key->SetString("QmTestStyle", "2");
        }
    }
    char buf[8] = {};
    if (auto key = platform.OpenDesktopKey()) {
        openedAfterCreate = key->Query("QmTestStyle", buf, sizeof buf);
    }

    // The real HKEY_CURRENT_USER back before judging.
    ASSERT_EQ(RegOverridePredefKey(HKEY_CURRENT_USER, nullptr), ERROR_SUCCESS);
    RegCloseKey(scratch);
    const bool madeInScratch = test::KeyExists(std::string(scratchPath) + "\\" + kPath);
    RegDeleteTreeA(HKEY_CURRENT_USER, scratchPath);
    RegDeleteKeyA(HKEY_CURRENT_USER, scratchPath);

    EXPECT_FALSE(openedMissing);
    EXPECT_TRUE(created);
    EXPECT_TRUE(openedAfterCreate);
    EXPECT_STREQ(buf, "2");
    EXPECT_TRUE(madeInScratch);
}

}  // namespace
}  // namespace qm
