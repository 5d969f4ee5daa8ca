#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <filesystem>
#include <fstream>

#include "frame/main_frame.h"
#include "platform/headless/headless_platform.h"
#include "tests/support/temp_dir.h"

namespace qm {
namespace {

class ImageList : public ::testing::Test {
protected:
    ImageList() { frame.Directory = dir.str(); }

    std::vector<std::string> Listed() const {
        std::vector<std::string> names;
        for (std::int32_t i = 0; i <= frame.m_LastIndex; ++i) {
            names.push_back(frame.m_ImageList[static_cast<std::size_t>(i)]);
        }
        return names;
    }
    std::string Entry(const std::string& name) const { return dir.str() + "/" + name; }
    std::vector<std::string> Sorted(std::vector<std::string> v) const {
        std::sort(v.begin(), v.end());
        return v;
    }

    ScopedHeadless h;
    test::TempDir dir;
    CMainFrame frame;
};

TEST_F(ImageList, TakesPicturesByTheirEndingInAnyCase) {
    for (const char* n : {"A.BMP", "b.Jpg", "c.jpeg", "C2.JPEG", "d.gif", "x.jpe", "y.bitmap", "bmp",
                          "jpg", ".jpg", "p.png", "P2.PnG", "w.webp", "W2.WEBP", "png", "x.webpx",
                          "x.pngs", "x.jpegs"}) {
        dir.write(n, "x");
    }
    std::filesystem::create_directory(dir.path() / "e.bmp");
    std::filesystem::create_directory(dir.path() / "f.png");
    std::filesystem::create_directory(dir.path() / "sub");
    dir.write("sub/inner.jpg", "x");

    EXPECT_EQ(frame.BuildImageList(), 1);
    EXPECT_EQ(frame.m_LastIndex, 8);
    EXPECT_EQ(Sorted(Listed()),
              Sorted({Entry(".jpg"), Entry("A.BMP"), Entry("b.Jpg"), Entry("c.jpeg"), Entry("C2.JPEG"),
                      Entry("p.png"), Entry("P2.PnG"), Entry("w.webp"), Entry("W2.WEBP")}));
}

// With Subfolders set, every picture of the tree, depth-first, each
// folder's files and folders in one name order; never through a link (one
// to a folder outside, one back up to the top), and past a folder that
// cannot be read. Without it, only the top folder, as before.
TEST_F(ImageList, SubfoldersAreWalkedDepthFirstInNameOrderWithoutLinks) {
    namespace fs = std::filesystem;
    for (const char* n : {"b.jpg", "d.png", "a/2.bmp", "a/1.webp", "a/z/deep.jpeg", "a/z/x.txt",
                          "c/only.jpg", "locked/hidden.jpg", "a/y/e.jpg"}) {
        fs::create_directories((dir.path() / n).parent_path());
        dir.write(n, "x");
    }
    fs::create_directories(dir.path() / "empty" / "emptier");
    test::TempDir outside;
    outside.write("far.jpg", "x");
    std::vector<std::string> links = {Entry("bb.jpg")};
#ifdef _WIN32
    links.clear();  // Wine's file system makes no links
#else
    fs::create_directory_symlink(outside.path(), dir.path() / "link-out");
    fs::create_directory_symlink(dir.path(), dir.path() / "a" / "loop");
    fs::create_symlink(dir.path() / "b.jpg", dir.path() / "bb.jpg");  // a file's link is a file
#endif
    h.platform.beforeFind = [this](const std::string& pattern) {
        return pattern.rfind(Entry("locked"), 0) != 0;  // unreadable
    };

    frame.Subfolders = 1;
    ASSERT_EQ(frame.BuildImageList(), 1);
    std::vector<std::string> tree = {Entry("a/1.webp"), Entry("a/2.bmp"), Entry("a/y/e.jpg"),
                                     Entry("a/z/deep.jpeg"), Entry("b.jpg")};
    tree.insert(tree.end(), links.begin(), links.end());
    tree.insert(tree.end(), {Entry("c/only.jpg"), Entry("d.png")});
    const char sep = h.platform.PathSeparator();
    for (std::string& e : tree) {
        std::replace(e.begin() + static_cast<std::ptrdiff_t>(dir.str().size()), e.end(), '/', sep);
    }
    EXPECT_EQ(Listed(), tree);
    EXPECT_EQ(frame.m_ImageList.size(), tree.size());
    EXPECT_EQ(frame.m_CurrentIndex, -1);
    frame.Random = 1;
    ASSERT_EQ(frame.BuildImageList(), 1);
    EXPECT_EQ(frame.m_CurrentIndex, static_cast<std::int32_t>(tree.size()) - 1);

    frame.Subfolders = 0;
    ASSERT_EQ(frame.BuildImageList(), 1);
    std::vector<std::string> top = {Entry("b.jpg"), Entry("d.png")};
    top.insert(top.end(), links.begin(), links.end());
    EXPECT_EQ(Sorted(Listed()), Sorted(top));

    // A tree with no picture at all counts as empty, as a flat folder does.
    frame.Subfolders = 1;
    frame.Directory = dir.file("empty");
    EXPECT_EQ(frame.BuildImageList(), 0);
    EXPECT_EQ(frame.m_LastIndex, -1);
}

TEST_F(ImageList, ListFollowsTheSearchOrder) {
    for (const char* n : {"3.jpg", "1.bmp", "2.jpg", "0.bmp"}) {
        dir.write(n, "x");
    }
    ASSERT_EQ(frame.BuildImageList(), 1);
    // Whatever order the search gives, the list keeps it: compare with a
    // search of our own.
    std::vector<std::string> expected;
    FindEntry e;
    auto search = h.platform.FindFirst((dir.str() + "/*.*").c_str(), e);
    do {
        if (!e.isDirectory) expected.push_back(Entry(e.name));
    } while (search->FindNext(e));
    EXPECT_EQ(Listed(), expected);
}

TEST_F(ImageList, EmptyOrMissingFolderGivesZero) {
    std::filesystem::create_directory(dir.path() / "only-a-folder.jpg");
    EXPECT_EQ(frame.BuildImageList(), 0);
    EXPECT_EQ(frame.m_LastIndex, -1);

    frame.Directory = dir.file("missing");
    EXPECT_EQ(frame.BuildImageList(), 0);
    EXPECT_EQ(frame.m_LastIndex, -1);
    EXPECT_EQ(frame.ChangeWallpaper(0), 0);
    EXPECT_TRUE(h.platform.wallpaperCalls.empty());
}

TEST_F(ImageList, RandomModeCountsTheLastImageAsCurrent) {
    for (const char* n : {"a.bmp", "b.bmp", "c.bmp"}) dir.write(n, "x");
    frame.Random = 1;
    ASSERT_EQ(frame.BuildImageList(), 1);
    EXPECT_EQ(frame.m_CurrentIndex, 2);
    frame.Random = 0;
    ASSERT_EQ(frame.BuildImageList(), 1);
    EXPECT_EQ(frame.m_CurrentIndex, -1);
}

TEST_F(ImageList, RebuildWithoutCandidatesKeepsOldEntriesAndCurrentIndex) {
    dir.write("a.bmp", "x");
    dir.write("b.bmp", "x");
    ASSERT_EQ(frame.BuildImageList(), 1);
    frame.ChangeWallpaper(0);
    frame.ChangeWallpaper(0);
    ASSERT_EQ(frame.m_CurrentIndex, 1);
    std::string current = frame.m_ImageList[1];

    std::filesystem::remove(dir.path() / "a.bmp");
    std::filesystem::remove(dir.path() / "b.bmp");
    EXPECT_EQ(frame.BuildImageList(), 0);
    EXPECT_EQ(frame.m_LastIndex, -1);
    EXPECT_EQ(frame.m_CurrentIndex, 1);

    // A re-apply still sets the image that was current; changes do nothing.
    h.platform.wallpaperCalls.clear();
    frame.ReapplyWallpaper();
    EXPECT_EQ(h.platform.wallpaperCalls, std::vector<std::string>{current});
    EXPECT_EQ(frame.ChangeWallpaper(0), 0);
    EXPECT_EQ(h.platform.wallpaperCalls.size(), 1u);
}

TEST_F(ImageList, FolderPathsAreUsedAsWritten) {
    dir.write("x.jpg", "x");
    frame.Directory = dir.str() + "/";
    ASSERT_EQ(frame.BuildImageList(), 1);
    EXPECT_EQ(frame.m_ImageList[0], dir.str() + "//x.jpg");
}

TEST_F(ImageList, PatternLongerThanAPathBufferSearchesNothing) {
    // 254 characters of folder plus "/*.bmp" would need 261 with the
    // terminator: no search may run on a cut pattern.
    std::string longDir = "/" + std::string(253, 'd');
    frame.Directory = longDir;
    bool searched = false;
    struct Spy : HeadlessPlatform {
        bool* flag;
        std::unique_ptr<DirectorySearch> FindFirst(const char* p, FindEntry& e) override {
            *flag = true;
            return HeadlessPlatform::FindFirst(p, e);
        }
    } spy;
    spy.flag = &searched;
    SetCurrentPlatform(&spy.parts);
    EXPECT_EQ(frame.BuildImageList(), 0);
    EXPECT_FALSE(searched);

    frame.Directory = "/" + std::string(252, 'd');  // fits exactly
    frame.BuildImageList();
    EXPECT_TRUE(searched);
    SetCurrentPlatform(&h.platform.parts);

#ifndef _WIN32
    // The limit is the platform's: where paths run to PATH_MAX (Linux), a
    // folder of 300 bytes (about 85 CJK characters) is listed.
    h.platform.maxPath = PATH_MAX;
    std::filesystem::path deep = dir.path();
    while (deep.string().size() < 300) {
        deep /= "\xe5\xa3\x81\xe7\xb4\x99\xe5\xa3\x81\xe7\xb4\x99\xe5\xa3\x81\xe7\xb4\x99";
    }
    std::filesystem::create_directories(deep);
    std::ofstream(deep / "a.jpg") << "x";
    frame.Directory = deep.string();
    ASSERT_EQ(frame.BuildImageList(), 1);
    EXPECT_EQ(frame.m_ImageList[0], (deep / "a.jpg").string());
#endif
}

// The count includes names the collecting pass rejects (short-name aliases
// on Windows): the array is longer than the list, the bound is m_LastIndex.
TEST_F(ImageList, ArrayMayBeLongerThanTheList) {
    struct AliasPlatform : HeadlessPlatform {
        std::unique_ptr<DirectorySearch> FindFirst(const char* p, FindEntry& e) override {
            std::string s = p;
            if (s.size() >= 5 && s.compare(s.size() - 5, 5, "*.bmp") == 0) {
                s += '*';
            }
            return HeadlessPlatform::FindFirst(s.c_str(), e);
        }
    } alias;
    SetCurrentPlatform(&alias.parts);
    dir.write("a.bmpx", "x");
    dir.write("b.bmp", "x");
    EXPECT_EQ(frame.BuildImageList(), 1);
    EXPECT_EQ(frame.m_ImageList.size(), 2u);
    EXPECT_EQ(frame.m_LastIndex, 0);
    EXPECT_EQ(frame.m_ImageList[0], Entry("b.bmp"));
    EXPECT_EQ(frame.m_ImageList[1], "");
    SetCurrentPlatform(&h.platform.parts);
}

}  // namespace
}  // namespace qm
