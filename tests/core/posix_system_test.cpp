// The POSIX system services the headless and Linux backends share.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>
#include <set>
#include <utility>

#ifndef _WIN32
#include <sys/statvfs.h>
#endif

#include "platform/posix/posix_system.h"
#include "tests/support/temp_dir.h"

namespace qm {
namespace {

std::set<std::string> Search(PosixSystem& sys, const std::string& pattern) {
    std::set<std::string> names;
    FindEntry e;
    auto search = sys.FindFirst(pattern.c_str(), e);
    if (search) {
        do {
            names.insert(e.name + (e.isDirectory ? "/" : ""));
        } while (search->FindNext(e));
    }
    return names;
}

TEST(PosixSystem, SearchListsDotsAndMatchesWithoutRegardToCase) {
    test::TempDir dir;
    dir.write("a.JPG", "x");
    dir.write("b.jpg", "x");
    dir.write("c.bmp", "x");
    std::filesystem::create_directory(dir.path() / "sub.jpg");
    PosixSystem sys;
    const std::string folder = dir.path().string();
    EXPECT_EQ(Search(sys, folder + "/*.jpg"),
              (std::set<std::string>{"a.JPG", "b.jpg", "sub.jpg/"}));
    EXPECT_EQ(Search(sys, folder + "/*.*"),
              (std::set<std::string>{"./", "../", "a.JPG", "b.jpg", "c.bmp", "sub.jpg/"}));
    EXPECT_TRUE(Search(sys, folder + "/missing/*.*").empty());
    EXPECT_TRUE(Search(sys, folder + "/" + std::string(kMaxPath, 'x')).empty());
}

#ifndef _WIN32
// The blocks this user may still write (f_bavail), not those free to root
// as well (f_bfree), in fragment units: exactly statvfs's own figure while
// the volume holds still. Checked on the test's folder and on the root's
// volume, which on most systems keeps blocks for root, so that the two
// figures differ there; the test says where none does.
TEST(PosixSystem, FreeDiskSpaceIsWhatThisUserMayWriteAndNothingForAMissingFolder) {
    test::TempDir dir;
    PosixSystem sys;
    bool told = false;
    for (const std::string& folder : {dir.str(), std::string("/")}) {
        SCOPED_TRACE(folder);
        const auto available = [&] {
            struct statvfs fs {};
            EXPECT_EQ(::statvfs(folder.c_str(), &fs), 0);
            return std::pair{std::uint64_t{fs.f_bavail} * fs.f_frsize,
                             std::uint64_t{fs.f_bfree} * fs.f_frsize};
        };
        // Other programs write too: measured between two equal readings.
        std::optional<std::uint64_t> free;
        std::pair<std::uint64_t, std::uint64_t> before, after;
        for (int tries = 0; tries < 100; ++tries) {
            before = available();
            free = sys.FreeDiskSpace(folder);
            after = available();
            if (before == after) {
                break;
            }
        }
        ASSERT_TRUE(free);
        EXPECT_GE(*free, std::min(before.first, after.first));
        EXPECT_LE(*free, std::max(before.first, after.first));
        if (before.second > before.first) {
            told = true;
            EXPECT_LT(*free, before.second) << "counted the blocks kept for root";
        }
    }
    if (!told) {
        std::cout << "no volume here keeps blocks for root: f_bavail and f_bfree agree\n";
    }
    EXPECT_FALSE(sys.FreeDiskSpace(dir.file("no such folder")));
}

// Paths as long as the system takes (PATH_MAX), not Windows' 260: a folder
// of 300 bytes (about 85 CJK characters) is searched.
TEST(PosixSystem, SearchTakesPathsAsLongAsTheSystemDoes) {
    test::TempDir dir;
    PosixSystem sys;
    EXPECT_EQ(sys.MaxPath(), std::size_t{PATH_MAX});
    std::filesystem::path deep = dir.path();
    while (deep.string().size() < 300) {
        deep /= "\xe5\xa3\x81\xe7\xb4\x99\xe5\xa3\x81\xe7\xb4\x99\xe5\xa3\x81\xe7\xb4\x99";
    }
    std::filesystem::create_directories(deep);
    std::ofstream(deep / "a.jpg") << "x";
    EXPECT_EQ(Search(sys, deep.string() + "/*.jpg"), std::set<std::string>{"a.jpg"});
    EXPECT_TRUE(Search(sys, deep.string() + "/" + std::string(PATH_MAX, 'x')).empty());
}

TEST(PosixSystem, WallpaperFolderIsMadeUnderTheUsersDataFolder) {
    test::TempDir dir;
    const char* oldData = std::getenv("XDG_DATA_HOME");
    const std::string saved = oldData ? oldData : "";
    PosixSystem sys;

    ::setenv("XDG_DATA_HOME", (dir.path() / "data").c_str(), 1);
    EXPECT_EQ(sys.WallpaperDirectory(), (dir.path() / "data" / "quillmere").string());
    EXPECT_TRUE(std::filesystem::is_directory(dir.path() / "data" / "quillmere"));

    // A file where the folder must go: no folder, so no wallpaper path.
    std::ofstream(dir.path() / "blocked") << "x";
    ::setenv("XDG_DATA_HOME", (dir.path() / "blocked").c_str(), 1);
    EXPECT_EQ(sys.WallpaperDirectory(), "");

    if (oldData) {
        ::setenv("XDG_DATA_HOME", saved.c_str(), 1);
    } else {
        ::unsetenv("XDG_DATA_HOME");
    }
}
// Sets an environment variable for the life of the object.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::string& value) : name_(name) {
        const char* old = std::getenv(name);
        had_ = old != nullptr;
        if (had_) old_ = old;
        ::setenv(name, value.c_str(), 1);
    }
    ~ScopedEnv() {
        if (had_) {
            ::setenv(name_, old_.c_str(), 1);
        } else {
            ::unsetenv(name_);
        }
    }

private:
    const char* name_;
    bool had_ = false;
    std::string old_;
};

TEST(PosixSystem, LoginStartIsTheFreedesktopAutostartEntry) {
    test::TempDir dir;
    ScopedEnv home("XDG_CONFIG_HOME", (dir.path() / "config").string());
    ScopedEnv dirs("XDG_CONFIG_DIRS", (dir.path() / "xdg").string());
    const auto user = dir.path() / "config" / "autostart" / "quillmere.desktop";
    const auto system = dir.path() / "xdg" / "autostart" / "quillmere.desktop";
    PosixSystem sys;
    const std::string self = PosixSystem::ProgramPath();
    ASSERT_FALSE(self.empty());
    ASSERT_EQ(self.front(), '/');

    EXPECT_EQ(sys.GetLoginStart(), LoginStart::None);
    ASSERT_TRUE(sys.SetLoginStart(true));  // makes the autostart folder
    const std::string text = test::ReadFile(user.string());
    EXPECT_NE(text.find("[Desktop Entry]\nType=Application\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\nExec=\"" + self + "\"\n"), std::string::npos) << text;
    EXPECT_EQ(text.find("Hidden"), std::string::npos) << text;
    EXPECT_EQ(sys.GetLoginStart(), LoginStart::ThisProgram);

    // Entries written by others, as the rules read them.
    struct Case {
        const char* text;
        LoginStart expected;
    };
    const Case cases[] = {
        {"[Desktop Entry]\nType=Application\nExec=/opt/old/quillmere --x\n", LoginStart::OtherCopy},
        {"[Desktop Entry]\r\nExec = \"/opt/my apps/quillmere\" -x\r\n", LoginStart::OtherCopy},
        {"[Desktop Entry]\nExec=/opt/old/quillmere\nHidden=true\n", LoginStart::None},
        {"[Other]\nExec=/x\n[Desktop Entry]\nExec=SELF\n", LoginStart::ThisProgram},
        {"[Desktop Entry]\nExec=\"SELF\" %U\n", LoginStart::ThisProgram},
    };
    for (const Case& c : cases) {
        std::string t = c.text;
        for (auto at = t.find("SELF"); at != std::string::npos; at = t.find("SELF")) {
            t.replace(at, 4, self);
        }
        SCOPED_TRACE(t);
        std::ofstream(user) << t;
        EXPECT_EQ(sys.GetLoginStart(), c.expected);
    }
    // Another copy's entry is rewritten to this one.
    ASSERT_TRUE(sys.SetLoginStart(true));
    EXPECT_EQ(sys.GetLoginStart(), LoginStart::ThisProgram);
    // Off, with no system entry: the file goes.
    ASSERT_TRUE(sys.SetLoginStart(false));
    EXPECT_FALSE(std::filesystem::exists(user));
    EXPECT_TRUE(sys.SetLoginStart(false));  // nothing to remove

    // A system-wide entry starts it too; off hides it with a user entry.
    std::filesystem::create_directories(system.parent_path());
    std::ofstream(system) << "[Desktop Entry]\nExec=/usr/bin/quillmere\n";
    EXPECT_EQ(sys.GetLoginStart(), LoginStart::OtherCopy);
    ASSERT_TRUE(sys.SetLoginStart(false));
    EXPECT_NE(test::ReadFile(user.string()).find("\nHidden=true\n"), std::string::npos);
    EXPECT_EQ(sys.GetLoginStart(), LoginStart::None);
    EXPECT_TRUE(std::filesystem::exists(system));

    // No folder can be made for the entry: the write fails.
    std::filesystem::remove_all(dir.path() / "config");
    std::ofstream(dir.path() / "config") << "x";
    EXPECT_FALSE(sys.SetLoginStart(true));
}
#endif

}  // namespace
}  // namespace qm
