// A short version of bench/long_run: 2,000 changes of every kind, for the
// sanitizer build's leak check and the rules that must hold throughout
// (no box for good pictures, indices inside the list).
#include <gtest/gtest.h>

#include <filesystem>

#include "bench/long_run.h"
#include "tests/support/temp_dir.h"

namespace qm {
namespace {

TEST(LongRun, TwoThousandMixedChangesStayInTheListAndShowNoBox) {
    test::TempDir dir;
    std::filesystem::create_directory(dir.path() / "pics");
    std::filesystem::create_directory(dir.path() / "windows");
    bench::MakePictureFolder(dir.file("pics"));
    ScopedHeadless headless;
    headless.platform.windowsDirectory = dir.file("windows");
    CMainFrame frame;
    frame.Directory = dir.file("pics");
    const bench::RunStats s = bench::RunChanges(frame, headless.platform, 2000);
    EXPECT_EQ(frame.m_LastIndex, 17);
    EXPECT_EQ(s.changes, 2000);
    EXPECT_EQ(s.boxes, 0);
    EXPECT_EQ(s.outOfList, 0);
    EXPECT_GE(s.wallpaperCalls, s.changes) << "every change and re-apply sets a picture";
}

}  // namespace
}  // namespace qm
