// The desktop adapter over a desktop of our own that remembers what it was
// given, and the choice of desktop from XDG_CURRENT_DESKTOP. The real
// desktops' tests drive the adapter too (GNOME's, Plasma's).
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <set>
#include <filesystem>
#include <fstream>

#include <QCoreApplication>

#include "platform/desktops/desktop_support.h"
#include "imaging/wallpaper_bmp.h"
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
    // A change, and the desktop's answer to it.
    void Set(const std::string& path) {
        adapter_.SetDesktopWallpaper(path.c_str());
        QCoreApplication::processEvents();
    }
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
        Set(picture);
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

// A picture on another file system is copied when its volume leaves room
// (else it goes under its own name), one behind a relative symbolic link is
// reached through it, one that is no BMP keeps its ending; one that cannot
// be read goes to the desktop under its own name, and the desktop decides.
// Temporaries a crash left are swept, the conversion's only when older than
// the run.
TEST_F(Adapter, PicturesThatCannotBeLinkedAsTheyAre) {
    namespace fs = std::filesystem;
    struct stat here {}, shm {};
    const fs::path made = dir_.path() / "made";
    fs::create_directories(made);
    const auto old = fs::file_time_type::clock::now() - std::chrono::hours(1);
    for (const char* left : {"Quillmere Wallpaper-12.bmp.tmp", "Quillmere Wallpaper.bmp.tmp",
                             "Quillmere Wallpaper.bmp.tmp2"}) {
        std::ofstream(made / left) << "left by a crash";
        fs::last_write_time(made / left, old);
    }
    test::TempDir other;  // replaced below when /dev/shm is another file system
    fs::path elsewhere = other.path();
    if (stat(dir_.str().c_str(), &here) == 0 && stat("/dev/shm", &shm) == 0 &&
        here.st_dev != shm.st_dev) {
        elsewhere = "/dev/shm/qm-desktop-test-" + std::to_string(getpid());
        fs::create_directories(elsewhere);
    }
    const std::string far = (elsewhere / "far.bmp").string();
    { std::ofstream(far, std::ios::binary) << "far picture"; }
    std::optional<std::uint64_t> free;
    Shown shown;
    LinuxDesktop adapter(std::make_unique<RememberingDesktop>(shown), made, nullptr,
                         [&](const std::string& folder) {
                             EXPECT_EQ(folder, made.string());
                             return free;
                         });
    // One this run's conversion is writing.
    std::ofstream(made / "Quillmere Wallpaper.bmp.tmp3") << "a conversion under way";
    fs::last_write_time(made / "Quillmere Wallpaper.bmp.tmp3",
                        fs::file_time_type::clock::now() + std::chrono::minutes(1));
    const auto set = [&](const std::string& path) {
        adapter.SetDesktopWallpaper(path.c_str());
        QCoreApplication::processEvents();
        return shown.picture.value_or("<none>");
    };
    if (elsewhere != other.path()) {
        free = kFreeSpaceMargin + 5;  // less than the picture and the margin
        EXPECT_EQ(set(far), far);
        free = kFreeSpaceMargin + 11;
    }
    EXPECT_EQ(fs::path(set(far)).parent_path(), made);
    EXPECT_EQ(shown.contents.back(), "far picture");
    fs::remove(far);
    EXPECT_EQ(test::ReadFile(*shown.picture), "far picture");
    if (elsewhere != other.path()) {
        fs::remove_all(elsewhere);
    }

    fs::create_directories(dir_.path() / "pictures" / "real");
    { std::ofstream(dir_.file("pictures/real/near.bmp"), std::ios::binary) << "near picture"; }
    fs::create_symlink("real/near.bmp", dir_.path() / "pictures" / "near.bmp");
    EXPECT_EQ(fs::path(set(dir_.file("pictures/near.bmp"))).parent_path(), made);
    EXPECT_EQ(shown.contents.back(), "near picture");

    // Tile Current on a picture someone else set: the loader goes by the ending.
    const std::string png = dir_.write("pictures/other.png", "\x89PNG");
    EXPECT_EQ(fs::path(set(png)).extension(), ".png");
    EXPECT_EQ(shown.contents.back(), "\x89PNG");
    EXPECT_EQ(fs::path(set(dir_.write("pictures/SHOUT.BMP", "BM"))).extension(), ".bmp");
    const std::string bare = dir_.write("pictures/no ending", "BM");
    EXPECT_EQ(set(bare), bare);

    const std::string missing = dir_.file("missing.bmp");
    EXPECT_EQ(set(missing), missing);
    // Only our names, no leftovers but the conversion under way.
    std::set<std::string> left;
    for (const auto& entry : fs::directory_iterator(made)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind(LinuxDesktop::kShownPrefix, 0) != 0) {
            left.insert(name);
        } else {
            EXPECT_TRUE(entry.path().extension() == ".bmp" || entry.path().extension() == ".png")
                << name;
        }
    }
    EXPECT_EQ(left, std::set<std::string>{"Quillmere Wallpaper.bmp.tmp3"});
}

// A desktop that keeps pictures by name (mutter does for a while) must get
// a name it was never given, also when the same picture is laid out again;
// our folder keeps only the name shown. Names read back whatever the folder
// holds: a planted name of 18 nines, the most the rule reads, or a clock
// before 1970 leave every name of ours readable, and so removed in turn.
TEST_F(Adapter, EveryChangeGetsANameNeverGivenBefore) {
    namespace fs = std::filesystem;
    const fs::path made = dir_.path() / "made";
    fs::create_directories(made);
    const std::string planted = "Quillmere Wallpaper-999999999999999999.bmp";
    std::ofstream(made / planted) << "planted";
    std::ofstream(made / "Quillmere Wallpaper-99999999999999.bmp") << "planted too";
    const std::string picture = dir_.write("p.bmp", "BM");
    std::set<std::string> given;
    for (int i = 0; i < 6; ++i) {
        Set(i % 2 == 0 ? picture : *shown_.picture);
        ASSERT_TRUE(shown_.picture);
        EXPECT_TRUE(given.insert(*shown_.picture).second) << *shown_.picture;
        EXPECT_EQ(test::ReadFile(*shown_.picture), "BM");
    }
    std::set<std::string> files;
    for (const auto& entry : fs::directory_iterator(made)) {
        files.insert(entry.path().filename().string());
    }
    EXPECT_EQ(files, (std::set<std::string>{planted, fs::path(*shown_.picture).filename()}));
    EXPECT_LE(fs::path(*shown_.picture).stem().string().size(),
              std::string(LinuxDesktop::kShownPrefix).size() + 15);
    // A new run goes on above the numbers it finds.
    Shown again;
    LinuxDesktop later{std::make_unique<RememberingDesktop>(again), made, nullptr};
    later.SetDesktopWallpaper(picture.c_str());
    ASSERT_TRUE(again.picture);
    EXPECT_EQ(given.count(*again.picture), 0u) << *again.picture;
    // Whatever the clock says.
    for (const long long clock : {-86400LL, 0LL, 1765000000LL, 1LL << 62}) {
        const unsigned long long first = LinuxDesktop::FirstNumber(clock);
        EXPECT_GE(first, 1u) << clock;
        EXPECT_LT(first * 10, LinuxDesktop::kNumberLimit) << clock;
    }
}

// A desktop that answers when the test says, and shows what it took.
class HoldingDesktop : public WallpaperDesktop {
public:
    struct Call {
        std::string path;
        Answer answer;
    };
    void Apply(const std::string& path, Layout, Answer answer) override {
        calls.push_back({path, std::move(answer)});
        open = std::max(open, ++inFlight);
    }
    std::optional<std::string> CurrentPicture() override { return shows; }
    std::optional<Layout> CurrentLayout() override { return Layout::Centred; }
    void Reply(std::size_t call, bool shown) {
        --inFlight;
        if (shown) {
            shows = calls.at(call).path;
        }
        const Answer answer = std::move(calls.at(call).answer);  // it may hand over the next
        answer(shown, shown ? "" : "refused");
    }

    std::vector<Call> calls;
    std::optional<std::string> shows;
    int inFlight = 0;
    int open = 0;  // the most calls the desktop had to answer at once
};

// A double click, or a burst of commands against a desktop that is slow to
// answer: the desktop has one picture at a time, and the newest asked for
// waits. No name it may show goes before a newer one is shown.
TEST_F(Adapter, OnePictureAtATimeAndTheNewestWaits) {
    namespace fs = std::filesystem;
    auto owned = std::make_unique<HoldingDesktop>();
    HoldingDesktop& desktop = *owned;
    std::vector<std::string> notices;
    LinuxDesktop adapter(std::move(owned), dir_.path() / "made",
                         [&](unsigned, const std::string& why) { notices.push_back(why); });
    const std::string wallpaper = dir_.file("Quillmere Wallpaper.bmp");
    const auto convert = [&](int n) {
        std::ofstream(wallpaper + ".tmp", std::ios::binary) << "picture " << n;
        fs::rename(wallpaper + ".tmp", wallpaper);
        adapter.SetDesktopWallpaper(wallpaper.c_str());
    };
    const auto ours = [&] {
        return std::distance(fs::directory_iterator(dir_.path() / "made"),
                             fs::directory_iterator());
    };
    const auto wallpaperValue = [&] {
        char buf[260];
        return adapter.OpenDesktopKey()->Query("Wallpaper", buf, sizeof buf) ? std::string(buf)
                                                                              : "";
    };

    convert(0);
    for (int n = 1; n <= 1100; ++n) {
        convert(n);
    }
    ASSERT_EQ(desktop.calls.size(), 1u);
    EXPECT_EQ(desktop.open, 1);
    EXPECT_EQ(ours(), 2);  // the one on its way and the newest waiting
    EXPECT_EQ(test::ReadFile(wallpaperValue()), "picture 1100");

    desktop.Reply(0, true);
    ASSERT_EQ(desktop.calls.size(), 2u);
    EXPECT_EQ(test::ReadFile(desktop.calls[1].path), "picture 1100");
    // Not yet taken: the name shown stays beside it.
    convert(1101);
    EXPECT_EQ(test::ReadFile(desktop.calls[0].path), "picture 0");
    desktop.Reply(1, true);
    ASSERT_EQ(desktop.calls.size(), 3u);
    EXPECT_FALSE(fs::exists(desktop.calls[0].path));
    EXPECT_EQ(test::ReadFile(desktop.calls[1].path), "picture 1100");
    // A refusal keeps what is shown, and is told once.
    desktop.Reply(2, false);
    EXPECT_FALSE(fs::exists(desktop.calls[2].path));
    EXPECT_EQ(wallpaperValue(), desktop.calls[1].path);
    EXPECT_EQ(ours(), 1);
    EXPECT_EQ(notices, std::vector<std::string>{"refused"});
    EXPECT_EQ(desktop.open, 1);
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
