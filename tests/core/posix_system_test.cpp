// The POSIX system services the headless and Linux backends share.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>

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
TEST(PosixSystem, FreeDiskSpaceIsTheVolumesAndNothingForAMissingFolder) {
    test::TempDir dir;
    PosixSystem sys;
    const auto free = sys.FreeDiskSpace(dir.str());
    ASSERT_TRUE(free);
    const std::uintmax_t available = std::filesystem::space(dir.path()).available;
    EXPECT_NEAR(static_cast<double>(*free), static_cast<double>(available), 64.0 * (1 << 20));
    EXPECT_FALSE(sys.FreeDiskSpace(dir.file("no such folder")));
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
#endif

}  // namespace
}  // namespace qm
