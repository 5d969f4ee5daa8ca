// The desktop adapter over a desktop of our own that remembers what it was
// given, and the choice of desktop from XDG_CURRENT_DESKTOP. The real
// desktops' tests drive the adapter too (GNOME's, Plasma's).
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <unistd.h>

#include <algorithm>
#include <set>
#include <filesystem>
#include <fstream>

#include "platform/desktops/desktop_support.h"
#include "platform/desktops/linux_desktop.h"
#include "tests/support/temp_dir.h"

namespace qm::desktops {
namespace {

struct Shown {
    std::optional<std::string> picture;
    std::optional<Layout> layout;
    std::vector<std::string> contents;  // of each file given, when given
};

class RememberingDesktop : public WallpaperDesktop {
public:
    explicit RememberingDesktop(Shown& shown) : shown_(shown) {}
    void Apply(const std::string& path, Layout layout, Answer answer) override {
        shown_.picture = path;
        shown_.layout = layout;
        shown_.contents.push_back(test::ReadFile(path));
        AnswerLater(&context_, std::move(answer), true, {});
    }
    std::optional<std::string> CurrentPicture() override { return shown_.picture; }
    std::optional<Layout> CurrentLayout() override { return shown_.layout; }

private:
    Shown& shown_;
    QObject context_;
};

class Adapter : public ::testing::Test {
protected:
    test::TempDir dir_;
    Shown shown_;
    LinuxDesktop adapter_{std::make_unique<RememberingDesktop>(shown_), dir_.path() / "made",
                          nullptr};
    std::string Read(const char* name, std::size_t size = 260) {
        std::vector<char> buf(size, 'x');
        return adapter_.OpenDesktopKey()->Query(name, buf.data(), size) ? std::string(buf.data())
                                                                         : "<none:" + std::string(buf.data()) + ">";
    }
};

TEST_F(Adapter, LayoutFromTheWrittenValuesElseFromTheDesktop) {
    const std::string picture = dir_.write("p.bmp", "BM");
    const auto layoutAfter = [&](std::optional<Layout> desktopHas) {
        shown_.layout = desktopHas;
        adapter_.SetDesktopWallpaper(picture.c_str());
        return shown_.layout;
    };
    // Nothing written in this run: the desktop's own layout stays.
    EXPECT_EQ(layoutAfter(Layout::Filled), Layout::Filled);
    EXPECT_EQ(layoutAfter(Layout::Fitted), Layout::Fitted);
    EXPECT_EQ(layoutAfter(Layout::Stretched), Layout::Stretched);
    EXPECT_EQ(layoutAfter(Layout::Tiled), Layout::Tiled);
    EXPECT_EQ(layoutAfter(std::nullopt), Layout::Centred);
    // Only the tile value written: the stretch comes from the desktop.
    adapter_.OpenDesktopKey()->SetString("TileWallpaper", "0");
    EXPECT_EQ(layoutAfter(Layout::Stretched), Layout::Stretched);
    EXPECT_EQ(layoutAfter(Layout::Tiled), Layout::Centred);

    const struct {
        const char* tile;
        const char* style;
        Layout layout;
    } cases[] = {{"1", "2", Layout::Tiled},
                 {"1", "0", Layout::Tiled},
                 {"1", "10", Layout::Tiled},
                 {"0", "2", Layout::Stretched},
                 {"0", "10", Layout::Filled},
                 {"0", "6", Layout::Fitted},
                 {"0", "22", Layout::Centred},
                 {"0", "0", Layout::Centred}};
    for (const auto& c : cases) {
        adapter_.CreateDesktopKey()->SetString("TileWallpaper", c.tile);
        adapter_.CreateDesktopKey()->SetString("WallpaperStyle", c.style);
        EXPECT_EQ(layoutAfter(Layout::Stretched), c.layout) << c.tile << c.style;
    }
}

TEST_F(Adapter, ValuesReadBack) {
    EXPECT_EQ(Read("Wallpaper"), "<none:>");
    EXPECT_EQ(Read("TileWallpaper"), "<none:>");
    EXPECT_EQ(Read("WallpaperStyle"), "<none:>");

    shown_.picture = "/usr/share/backgrounds/other.png";
    shown_.layout = Layout::Tiled;
    EXPECT_EQ(Read("Wallpaper"), "/usr/share/backgrounds/other.png");
    EXPECT_EQ(Read("TileWallpaper"), "1");
    shown_.layout = Layout::Stretched;
    EXPECT_EQ(Read("TileWallpaper"), "0");
    // A zoomed or scaled picture is not tiled.
    shown_.layout = Layout::Filled;
    EXPECT_EQ(Read("TileWallpaper"), "0");
    shown_.layout = Layout::Fitted;
    EXPECT_EQ(Read("TileWallpaper"), "0");
    // The tile value is the desktop's, whatever was written.
    adapter_.CreateDesktopKey()->SetString("TileWallpaper", "1");
    adapter_.CreateDesktopKey()->SetString("WallpaperStyle", "2");
    EXPECT_EQ(Read("TileWallpaper"), "0");
    EXPECT_EQ(Read("WallpaperStyle"), "2");
    // Too long for the buffer (terminator included): missing, buffer empty.
    EXPECT_EQ(Read("Wallpaper", 32), "<none:>");
    EXPECT_EQ(Read("Wallpaper", 33), "/usr/share/backgrounds/other.png");
}

// A picture on another file system is copied, one behind a relative
// symbolic link is reached through it; one that cannot be read goes to the
// desktop under its own name, and the desktop decides.
TEST_F(Adapter, PicturesThatCannotBeLinkedAsTheyAre) {
    struct stat here {}, shm {};
    const std::string made = (dir_.path() / "made").string();
    test::TempDir other;  // replaced below when /dev/shm is another file system
    std::filesystem::path elsewhere = other.path();
    if (stat(dir_.str().c_str(), &here) == 0 && stat("/dev/shm", &shm) == 0 &&
        here.st_dev != shm.st_dev) {
        elsewhere = "/dev/shm/qm-desktop-test-" + std::to_string(getpid());
        std::filesystem::create_directories(elsewhere);
    }
    const std::string far = (elsewhere / "far.bmp").string();
    { std::ofstream(far, std::ios::binary) << "far picture"; }
    adapter_.SetDesktopWallpaper(far.c_str());
    ASSERT_TRUE(shown_.picture);
    EXPECT_EQ(std::filesystem::path(*shown_.picture).parent_path(), made);
    EXPECT_EQ(shown_.contents.back(), "far picture");
    std::filesystem::remove(far);
    EXPECT_EQ(test::ReadFile(*shown_.picture), "far picture");
    if (elsewhere != other.path()) {
        std::filesystem::remove_all(elsewhere);
    }

    std::filesystem::create_directories(dir_.path() / "pictures" / "real");
    { std::ofstream(dir_.file("pictures/real/near.bmp"), std::ios::binary) << "near picture"; }
    std::filesystem::create_symlink("real/near.bmp", dir_.path() / "pictures" / "near.bmp");
    adapter_.SetDesktopWallpaper(dir_.file("pictures/near.bmp").c_str());
    EXPECT_EQ(std::filesystem::path(*shown_.picture).parent_path(), made);
    EXPECT_EQ(shown_.contents.back(), "near picture");

    const std::string missing = dir_.file("missing.bmp");
    adapter_.SetDesktopWallpaper(missing.c_str());
    EXPECT_EQ(shown_.picture, missing);
    // Only our names, no leftovers.
    for (const auto& entry : std::filesystem::directory_iterator(made)) {
        EXPECT_EQ(entry.path().filename().string().rfind(LinuxDesktop::kShownPrefix, 0), 0u)
            << entry.path();
        EXPECT_EQ(entry.path().extension(), ".bmp") << entry.path();
    }
}

// A desktop that keeps pictures by name (mutter does for a while) must get
// a name it was never given, also when the same picture is laid out again;
// our folder keeps only the name shown and the newest.
TEST_F(Adapter, EveryChangeGetsANameNeverGivenBefore) {
    const std::string picture = dir_.write("p.bmp", "BM");
    std::set<std::string> given;
    for (int i = 0; i < 6; ++i) {
        adapter_.SetDesktopWallpaper(i % 2 == 0 ? picture.c_str() : shown_.picture->c_str());
        ASSERT_TRUE(shown_.picture);
        EXPECT_TRUE(given.insert(*shown_.picture).second) << *shown_.picture;
        EXPECT_EQ(test::ReadFile(*shown_.picture), "BM");
    }
    const auto files = std::distance(std::filesystem::directory_iterator(dir_.path() / "made"),
                                     std::filesystem::directory_iterator());
    EXPECT_LE(files, 2);
    // A new run goes on above the numbers it finds.
    Shown again;
    LinuxDesktop later{std::make_unique<RememberingDesktop>(again), dir_.path() / "made", nullptr};
    later.SetDesktopWallpaper(picture.c_str());
    ASSERT_TRUE(again.picture);
    EXPECT_EQ(given.count(*again.picture), 0u) << *again.picture;
}

// No data folder (no home): no names are made, least of all relative ones
// in the folder the program started in, which may be the picture folder.
TEST(AdapterWithoutAFolder, GivesThePictureAsItIsAndMakesNothing) {
    test::TempDir pictures;
    const std::string picture = pictures.write("p.bmp", "BM");
    Shown shown;
    LinuxDesktop adapter(std::make_unique<RememberingDesktop>(shown), "", nullptr);
    const std::filesystem::path started = std::filesystem::current_path();
    std::filesystem::current_path(pictures.path());
    adapter.SetDesktopWallpaper(picture.c_str());
    adapter.SetDesktopWallpaper(picture.c_str());
    std::filesystem::current_path(started);
    EXPECT_EQ(shown.picture, picture);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(pictures.path()),
                            std::filesystem::directory_iterator()),
              1);
}

TEST(ChooseDesktop, FirstKnownNameOfTheList) {
    const struct {
        const char* value;
        DesktopKind kind;
    } cases[] = {
        {"GNOME", DesktopKind::Gnome},
        {"ubuntu:GNOME", DesktopKind::Gnome},
        {"Budgie:GNOME", DesktopKind::Gnome},
        {"Unity", DesktopKind::Gnome},
        {"Pantheon", DesktopKind::Gnome},
        {"X-Cinnamon", DesktopKind::Cinnamon},
        {"MATE", DesktopKind::Mate},
        {"XFCE", DesktopKind::Xfce},
        {"xfce", DesktopKind::Xfce},
        {"KDE", DesktopKind::Plasma},
        {"unknown:kde:GNOME", DesktopKind::Plasma},
        {"sway", DesktopKind::Sway},
        {"LXQt", DesktopKind::Lxqt},
        {"LXDE", DesktopKind::Lxde},
        {"", DesktopKind::RootWindow},
        {"i3", DesktopKind::RootWindow},
        {"GNOME-Flashback", DesktopKind::RootWindow},
        {":", DesktopKind::RootWindow},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ChooseDesktop(c.value), c.kind) << '"' << c.value << '"';
    }
    // sway names no desktop; its socket does, after any name we know.
    EXPECT_EQ(ChooseDesktop("", true), DesktopKind::Sway);
    EXPECT_EQ(ChooseDesktop("wlroots", true), DesktopKind::Sway);
    EXPECT_EQ(ChooseDesktop("KDE", true), DesktopKind::Plasma);
}

}  // namespace
}  // namespace qm::desktops
