// The program as a user meets it: start-up, the tray icon and its menu, the
// change timer, the settings dialog and the about box, over the simulated
// shell.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>

#include "app/wallpaper_app.h"
#include "frame/main_frame.h"
#include "platform/headless/headless_platform.h"
#include "res/resource.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_images.h"

namespace qm {
namespace {

using Value = HeadlessPlatform::Value;

class Shell : public ::testing::Test {
protected:
    Shell() {
        SetCurrentPlatform(&p.parts);
        p.windowsDirectory = windows.str();
        pics.write("a.bmp", test::BmpHeader(640, 480));
        pics.write("b.bmp", test::BmpHeader(100, 100));
        pics.write("c.bmp", test::BmpHeader(800, 600));
        Store("Directory", pics.str());
    }
    ~Shell() override {
        delete app.m_pMainWnd;  // as AfxWinMain does after the loop
        SetCurrentPlatform(nullptr);
    }

    void Store(const std::string& entry, Value value) { p.profile["Config"][entry] = value; }
    Value Stored(const std::string& entry) { return p.profile["Config"].at(entry); }
    CMainFrame& Frame() { return *static_cast<CMainFrame*>(app.m_pMainWnd); }
    bool Start() {
        app.m_pszAppName = p.LoadString(IDS_APP_TITLE);
        return app.InitInstance();
    }
    // The list's entries in the order of the folder search.
    std::string Img(int i) { return Frame().m_ImageList.at(i); }
    std::string Shown() const {
        return p.wallpaperCalls.empty() ? "" : p.wallpaperCalls.back();
    }
    // Opens the settings dialog from the menu with a script for it.
    void RunSettings(HeadlessPlatform::DialogScript script) {
        p.ScriptDialog(IDD_SETTINGS, std::move(script));
        p.menuChoices = {ID_SETTINGS};
        p.RightClickTray();
    }

    HeadlessPlatform p;
    test::TempDir pics;
    test::TempDir windows;
    WallpaperApp app;
};

TEST_F(Shell, FirstStartWritesProfileAddsIconArmsTimerAndChangesNothing) {
    ASSERT_TRUE(Start());
    EXPECT_EQ(p.registryCompany, "Brandle Software");
    EXPECT_EQ(p.registryApp, "Quillmere");
    EXPECT_EQ(p.frameTitle, "Quillmere");
    EXPECT_FALSE(p.frameVisible);
    for (const char* entry : {"AutoChange", "Display", "Height", "Width", "Random", "Stretch",
                              "Time", "When"}) {
        EXPECT_TRUE(std::holds_alternative<std::uint32_t>(Stored(entry))) << entry;
    }
    EXPECT_EQ(std::get<std::string>(Stored("Directory")), pics.str());

    ASSERT_TRUE(p.trayIcon);
    EXPECT_EQ(p.trayIcon->uID, 128u);
    EXPECT_EQ(p.trayIcon->iconResource, 128u);
    EXPECT_STREQ(p.trayIcon->szTip, "Quillmere, click to change wallpaper");
    EXPECT_EQ(p.timers, (std::map<unsigned, std::uint32_t>{{IDT_CHANGE, 1'200'000u}}));
    EXPECT_EQ(Frame().m_ImageList.size(), 3u);
    EXPECT_TRUE(p.wallpaperCalls.empty());
    EXPECT_TRUE(p.boxes.empty());
}

TEST_F(Shell, TimerFollowsStoredSettings) {
    Store("Time", 2u);
    Store("When", 1u);
    ASSERT_TRUE(Start());
    EXPECT_EQ(p.timers.at(IDT_CHANGE), 7'200'000u);
}

TEST_F(Shell, StoredIntervalOutsideTheDialogsRangeRunsAsTheDialogShowsIt) {
    Store("Time", 0u);
    ASSERT_TRUE(Start());
    EXPECT_EQ(p.timers.at(IDT_CHANGE), 60'000u) << "never more often than once a minute";
    RunSettings([](HeadlessDialog& d) {
        EXPECT_EQ(d.Text(IDC_TIME), "1");
        d.PressCancel();
    });
    EXPECT_EQ(p.timers.at(IDT_CHANGE), 60'000u);
    EXPECT_EQ(std::get<std::uint32_t>(Stored("Time")), 0u) << "the profile keeps it until OK";

    // Counts whose milliseconds overflow 32 bits, and negative ones.
    struct Case {
        std::int32_t time, when;
        const char* shown;
        std::uint32_t ms;
    };
    for (const Case& c : {Case{50'036'369, 0, "120", 7'200'000u},
                          Case{1'000, 1, "120", 432'000'000u}, Case{-3, 1, "1", 3'600'000u}}) {
        SCOPED_TRACE(c.time);
        Frame().Time = c.time;
        Frame().When = c.when;
        EXPECT_EQ(Frame().ChangeInterval(), c.ms);
        RunSettings([&](HeadlessDialog& d) { EXPECT_EQ(d.Text(IDC_TIME), c.shown); });
    }
}

// The size in the profile, as the dialog's list shows it and as OK stores
// it: the four sizes, what a profile of the yes/no days holds (0 and 1
// mean what they meant), no value at all (stretched) and a value no dialog
// wrote (shown and kept as stretched once confirmed).
TEST_F(Shell, SizeListShowsAndStoresTheStretchValue) {
    Store("Display", 0u);
    ASSERT_TRUE(Start());
    struct Case {
        std::optional<std::uint32_t> stored;
        const char* shown;
        int pick;  // -1: OK as shown
        std::uint32_t saved;
        const char* style;
    };
    for (const Case& c : {Case{0u, "As it is", -1, 0u, "0"}, Case{1u, "Stretched", -1, 1u, "2"},
                          Case{2u, "Filled", -1, 2u, "10"}, Case{3u, "Fitted", -1, 3u, "6"},
                          Case{std::nullopt, "Stretched", -1, 1u, "2"},
                          Case{9u, "Stretched", -1, 1u, "2"}, Case{0u, "As it is", 2, 2u, "10"},
                          Case{1u, "Stretched", 3, 3u, "6"}}) {
        SCOPED_TRACE(c.shown);
        if (c.stored) {
            Store("Stretch", *c.stored);
        } else {
            p.profile["Config"].erase("Stretch");
        }
        Frame().LoadSettings();
        EXPECT_EQ(Frame().Stretch, c.stored ? static_cast<std::int32_t>(*c.stored) : 1);
        RunSettings([&](HeadlessDialog& d) {
            EXPECT_EQ(d.Item(IDC_STRETCH).items,
                      (std::vector<std::string>{"As it is", "Stretched", "Filled", "Fitted"}));
            EXPECT_EQ(d.SelectedText(IDC_STRETCH), c.shown);
            if (c.pick >= 0) {
                d.Select(IDC_STRETCH, c.pick);
            }
            d.PressOk();
        });
        EXPECT_EQ(std::get<std::uint32_t>(Stored("Stretch")), c.saved);
        EXPECT_EQ(p.DesktopString("TileWallpaper"), "0");
        EXPECT_EQ(p.DesktopString("WallpaperStyle"), c.style);
    }
}

TEST_F(Shell, NoAutoChangeArmsNoTimer) {
    Store("AutoChange", 0u);
    ASSERT_TRUE(Start());
    EXPECT_TRUE(p.timers.empty());
}

TEST_F(Shell, OnlyAnotherCopysFrameStopsTheStart) {
    // Another copy's frame (one that holds no claim) stops it, untouched.
    p.otherFrames = {"QUILLMERE"};
    EXPECT_FALSE(Start());
    EXPECT_TRUE(p.profileWrites.empty());
    EXPECT_TRUE(p.registryCompany.empty());
    EXPECT_FALSE(p.FrameExists());
    EXPECT_TRUE(p.trayCalls.empty());

    // Explorer titles a window on the program's own folder "Quillmere": no
    // running copy, so the program starts beside it.
    p.otherFrames.clear();
    p.instanceClaims.clear();  // the copy that stopped has ended
    p.otherWindows = {"Quillmere", "QUILLMERE"};
    ASSERT_TRUE(Start());
    EXPECT_TRUE(p.trayIcon);
}

TEST_F(Shell, SecondCopyOpensTheFirstOnesSettingsAndEnds) {
    ASSERT_TRUE(Start());
    const auto writes = p.profileWrites.size();
    WallpaperApp second;
    EXPECT_FALSE(second.InitInstance());
    EXPECT_EQ(p.commandsToRunningCopy, std::vector<int>{ID_SETTINGS});
    EXPECT_EQ(p.profileWrites.size(), writes) << "the second copy wrote the profile";
    // The first copy gets the command from its loop and opens its settings,
    // once, even when asked again while they are open.
    p.ScriptDialog(IDD_SETTINGS, [&](HeadlessDialog&) {
        WallpaperApp third;
        EXPECT_FALSE(third.InitInstance());
        p.Pump();
    });
    p.Pump();
    ASSERT_EQ(p.dialogs.size(), 1u);
    EXPECT_EQ(p.dialogs[0].templateId, static_cast<unsigned>(IDD_SETTINGS));
    EXPECT_EQ(p.activated, std::vector<unsigned>{IDD_SETTINGS});
    EXPECT_TRUE(p.trayIcon);
    EXPECT_TRUE(p.LeftClickTray());
    EXPECT_EQ(Shown(), Img(0));
    EXPECT_TRUE(p.TickTimer(IDT_CHANGE));
}

TEST_F(Shell, CopyThatCannotClaimTheInstanceEndsBeforeLookingForWindows) {
    // Started at the same moment as another copy, whose window does not
    // exist yet: only the claim can tell.
    p.instancesHeldElsewhere = {kSingleInstanceName};
    EXPECT_FALSE(Start());
    EXPECT_TRUE(p.windowSearches.empty());
    EXPECT_TRUE(p.profileWrites.empty()) << "its settings would overwrite the other copy's";
    EXPECT_FALSE(p.FrameExists());
    EXPECT_TRUE(p.trayCalls.empty());
    EXPECT_TRUE(p.instanceClaims.empty());

    p.instancesHeldElsewhere.clear();
    ASSERT_TRUE(Start());
    EXPECT_EQ(p.instanceClaims, std::vector<std::string>{kSingleInstanceName});
}

TEST_F(Shell, FailedWindowEndsTheStartSilently) {
    p.refuseFrameWindow = true;
    EXPECT_FALSE(Start());
    EXPECT_EQ(app.m_pMainWnd, nullptr);
    EXPECT_TRUE(p.trayCalls.empty());
    EXPECT_TRUE(p.boxes.empty());
}

TEST_F(Shell, EmptyFolderAsksForAnotherWithIconAlreadyShown) {
    test::TempDir empty;
    Store("Directory", empty.str());
    bool iconDuringBox = false;
    p.duringBox = [&] { iconDuringBox = p.trayIcon.has_value(); };
    p.ScriptDialog(IDD_SETTINGS, [&](HeadlessDialog& d) {
        d.Type(IDC_DIRECTORY, pics.str());
        d.PressOk();
    });
    ASSERT_TRUE(Start());
    ASSERT_EQ(p.boxes.size(), 1u);
    EXPECT_EQ(p.boxes[0].text, "Change the Settings to a Directory that Contains Images");
    EXPECT_EQ(p.boxes[0].caption, "Quillmere");
    EXPECT_TRUE(iconDuringBox);
    ASSERT_EQ(p.dialogs.size(), 1u);
    EXPECT_TRUE(p.dialogs[0].ownedByFrame);
    // OK took the new folder and set its current image... of which there is
    // none yet in sequential order, so nothing is shown until a click.
    EXPECT_EQ(Frame().m_ImageList.size(), 3u);
    EXPECT_TRUE(p.LeftClickTray());
    EXPECT_EQ(Shown(), Img(0));
}

TEST_F(Shell, EmptyFolderThenCancelStillStarts) {
    test::TempDir empty;
    Store("Directory", empty.str());
    ASSERT_TRUE(Start());  // no script: the dialog is closed by its close box
    EXPECT_EQ(p.dialogs.size(), 1u);
    EXPECT_TRUE(p.trayIcon);
    EXPECT_TRUE(p.LeftClickTray());  // an empty list: nothing happens
    EXPECT_TRUE(p.wallpaperCalls.empty());
}

TEST_F(Shell, IconClicksChangeOnPressAndDoubleClickTwice) {
    ASSERT_TRUE(Start());
    p.LeftClickTray();
    EXPECT_EQ(p.wallpaperCalls, std::vector<std::string>{Img(0)});
    p.DoubleClickTray();
    EXPECT_EQ(p.wallpaperCalls.size(), 3u);
    EXPECT_EQ(Shown(), Img(2));
    for (TrayMouse ignored :
         {TrayMouse::RightDown, TrayMouse::Move, TrayMouse::MiddleDown, TrayMouse::LeftUp}) {
        p.ClickTray(ignored);
        EXPECT_EQ(p.lastTrayResult, 1);
    }
    EXPECT_EQ(p.wallpaperCalls.size(), 3u);
    EXPECT_TRUE(p.menus.empty());
}

TEST_F(Shell, RightReleaseOpensTheMenuWithItsStates) {
    ASSERT_TRUE(Start());
    p.desktop["TileWallpaper"] = std::string("1");
    p.RightClickTray();
    ASSERT_EQ(p.menus.size(), 1u);
    const auto& items = p.menus[0].items;
    ASSERT_EQ(items.size(), 8u);
    EXPECT_EQ(items[0].text, "&Previous Wallpaper");
    EXPECT_TRUE(items[0].isDefault);
    EXPECT_FALSE(items[1].enabled);  // tiled already: "Tile" greyed
    EXPECT_TRUE(items[2].enabled);
    EXPECT_TRUE(items[3].separator && items[5].separator);
    EXPECT_EQ(items[7].text, "E&xit");
    EXPECT_EQ(p.frameForegrounds, 1);

    p.desktop["TileWallpaper"] = std::string("0");
    p.RightClickTray();
    EXPECT_TRUE(p.menus[1].items[1].enabled);
    EXPECT_FALSE(p.menus[1].items[2].enabled);

    p.failMenuLoad = true;
    p.RightClickTray();
    EXPECT_EQ(p.lastTrayResult, 0);
    EXPECT_EQ(p.menus.size(), 2u);
}

TEST_F(Shell, MenuCommandsRelayOutAndGoBack) {
    Store("Display", 0u);
    ASSERT_TRUE(Start());
    p.LeftClickTray();
    p.LeftClickTray();  // b shown
    p.desktop["TileWallpaper"] = std::string("0");
    p.menuChoices = {ID_TILE_CURRENT};
    p.RightClickTray();
    EXPECT_EQ(p.DesktopString("TileWallpaper"), "1");
    EXPECT_EQ(Shown(), Img(1));
    p.menuChoices = {ID_CENTER_CURRENT};
    p.RightClickTray();
    EXPECT_EQ(p.DesktopString("TileWallpaper"), "0");
    p.menuChoices = {ID_PREVIOUS_WALLPAPER};
    p.RightClickTray();
    EXPECT_EQ(Shown(), Img(0));
    EXPECT_TRUE(std::all_of(p.commands.begin(), p.commands.end(),
                            [](const auto& c) { return c.handled; }));
}

TEST_F(Shell, TimerTicksChangeAndAnEmptyListKeepsTheTimer) {
    ASSERT_TRUE(Start());
    p.TickTimer(IDT_CHANGE);
    EXPECT_EQ(Shown(), Img(0));
    Frame().m_ImageList.clear();
    Frame().m_LastIndex = -1;
    Frame().m_CurrentIndex = -1;
    EXPECT_TRUE(p.TickTimer(IDT_CHANGE));
    EXPECT_EQ(p.wallpaperCalls.size(), 1u);
    EXPECT_EQ(p.timers.count(IDT_CHANGE), 1u);
}

TEST_F(Shell, TicksDuringAChangesBoxStartNoChangeButClicksStillDo) {
    // The folder's drive went away: every picture in the list fails with a
    // box, whose message loop the timer keeps ticking into.
    auto gone = std::make_unique<test::TempDir>();
    for (const char* name : {"a.jpg", "b.jpg", "c.jpg"}) {
        test::WriteJpeg(gone->file(name), 8, 8);
    }
    Store("Directory", gone->str());
    Store("Display", 0u);
    ASSERT_TRUE(Start());
    gone.reset();

    // Each open box gets a tick; a fault would open one more box inside it,
    // without end (cut at 6 here).
    int ticks = 0;
    std::function<void()> tickInside = [&] {
        if (++ticks < 6) {
            p.duringBox = tickInside;
        }
        p.TickTimer(IDT_CHANGE);
    };
    p.duringBox = tickInside;
    EXPECT_TRUE(p.TickTimer(IDT_CHANGE));
    p.duringBox = nullptr;
    ASSERT_EQ(p.boxes.size(), 1u) << "a tick inside a change's box started another change";
    EXPECT_EQ(p.boxes[0].text, "JPEG :\nCan't open " + Img(0) + "\n");
    EXPECT_EQ(Frame().m_CurrentIndex, 0);

    // A click inside the box is someone's: it still changes.
    p.duringBox = [&] { p.LeftClickTray(); };
    EXPECT_TRUE(p.TickTimer(IDT_CHANGE));
    ASSERT_EQ(p.boxes.size(), 3u);
    EXPECT_EQ(p.boxes[2].text, "JPEG :\nCan't open " + Img(2) + "\n");
    // And once the change is over, ticks change again.
    EXPECT_TRUE(p.TickTimer(IDT_CHANGE));
    EXPECT_EQ(p.boxes.size(), 4u);
    EXPECT_EQ(Frame().m_CurrentIndex, 0);
}

TEST_F(Shell, ExitSavesRemovesTheIconAndEndsTheLoop) {
    ASSERT_TRUE(Start());
    Frame().Time = 7;  // changed since the start: must reach the profile
    p.profileWrites.clear();
    p.userActions.push_back([&] {
        p.menuChoices = {ID_APP_EXIT};
        p.RightClickTray();
    });
    EXPECT_EQ(p.RunMessageLoop(), 0);
    EXPECT_TRUE(p.FrameDestroyed());
    EXPECT_EQ(p.profileWrites.size(), 11u);
    EXPECT_EQ(std::get<std::uint32_t>(Stored("Time")), 7u);
    EXPECT_FALSE(p.trayIcon);
    ASSERT_FALSE(p.trayCalls.empty());
    EXPECT_FALSE(p.trayCalls.back().add);
    EXPECT_EQ(p.trayCalls.back().data.uID, 128u);
    p.RestartTaskbar();  // gone for good: no icon comes back
    EXPECT_FALSE(p.trayIcon);
}

TEST_F(Shell, ExceptionOutOfAHandlerStillSavesRemovesTheIconAndSaysWhy) {
    // A whole run: the failure comes out of a folder search that the
    // settings dialog's "Update Image List" starts from the menu.
    p.userActions.push_back([&] {
        Frame().Time = 7;  // changed since the start: must reach the profile
        p.profileWrites.clear();
        p.beforeFind = [](const std::string&) -> bool {
            throw std::runtime_error("the folder search broke");
        };
        RunSettings([](HeadlessDialog& d) { d.Click(IDC_UPDATE_IMAGE_LIST); });
    });
    EXPECT_EQ(AfxWinMain(), 1);
    EXPECT_TRUE(p.FrameDestroyed());
    EXPECT_EQ(p.profileWrites.size(), 11u);
    EXPECT_EQ(std::get<std::uint32_t>(Stored("Time")), 7u);
    EXPECT_FALSE(p.trayIcon);
    ASSERT_FALSE(p.boxes.empty());
    EXPECT_EQ(p.boxes.back().caption, "Quillmere");
    EXPECT_EQ(p.boxes.back().text, "Quillmere has to close after an error:\nthe folder search broke");
    EXPECT_EQ(p.boxes.back().style, BoxIcon::Error);
}

TEST_F(Shell, RestartedTaskbarGetsTheIconBack) {
    ASSERT_TRUE(Start());
    p.RestartTaskbar();
    ASSERT_TRUE(p.trayIcon);
    EXPECT_STREQ(p.trayIcon->szTip, "Quillmere, click to change wallpaper");
    EXPECT_TRUE(p.LeftClickTray());
    EXPECT_EQ(Shown(), Img(0));
}

TEST_F(Shell, MonitorChangesLayTheSamePictureOutAgainOncePerBurst) {
    p.monitors = {{0, 0, 1920, 1080}};
    ASSERT_TRUE(Start());
    p.ChangeMonitors({{0, 0, 1280, 1024}});
    EXPECT_TRUE(p.TickTimer(IDT_RELAYOUT));
    EXPECT_TRUE(p.wallpaperCalls.empty());  // nothing shown yet, nothing to lay out

    EXPECT_TRUE(p.LeftClickTray());
    const std::size_t shown = p.wallpaperCalls.size();
    // A second monitor plugged in, reported three times: one re-layout,
    // once the burst is over, of the same picture.
    p.ChangeMonitors({{0, 0, 1280, 1024}, {1280, 0, 1920, 1080}}, 3);
    EXPECT_EQ(p.timers.at(IDT_RELAYOUT), kRelayoutDelay);
    EXPECT_EQ(p.wallpaperCalls.size(), shown);
    EXPECT_TRUE(p.TickTimer(IDT_RELAYOUT));
    EXPECT_FALSE(p.timers.contains(IDT_RELAYOUT));
    EXPECT_EQ(p.wallpaperCalls.size(), shown + 1);
    EXPECT_EQ(Shown(), Img(0));
    // An event after which the monitors are as they were converts nothing.
    p.ChangeMonitors(p.monitors);
    EXPECT_TRUE(p.TickTimer(IDT_RELAYOUT));
    EXPECT_EQ(p.wallpaperCalls.size(), shown + 1);
    // The rotation did not move.
    EXPECT_TRUE(p.LeftClickTray());
    EXPECT_EQ(Shown(), Img(1));
}

// --- The settings dialog --------------------------------------------------

TEST_F(Shell, DialogOpensWithTheStoredSettings) {
    Store("Display", 1u);
    Store("Width", 0u);  // outside the box's range
    Store("When", 5u);   // neither unit
    Store("Random", 7u);
    ASSERT_TRUE(Start());
    RunSettings([](HeadlessDialog& d) {
        EXPECT_FALSE(d.Enabled(IDC_WIDTH));
        EXPECT_FALSE(d.Enabled(IDC_HEIGHT));
        EXPECT_TRUE(d.Enabled(IDC_WIDTH_SPIN));
        EXPECT_TRUE(d.Checked(IDC_DISPLAY_TILE));
        EXPECT_FALSE(d.Checked(IDC_WHEN_MINUTES) || d.Checked(IDC_WHEN_HOURS));
        EXPECT_TRUE(d.Checked(IDC_RANDOM_RANDOM));
        EXPECT_EQ(d.Text(IDC_WIDTH), "1");
        EXPECT_EQ(d.Text(IDC_HEIGHT), "301");
        EXPECT_EQ(d.Text(IDC_TIME), "20");
        d.Click(IDC_DISPLAY_AUTOTILE);
        EXPECT_TRUE(d.Enabled(IDC_WIDTH) && d.Enabled(IDC_HEIGHT));
        d.Click(IDC_DISPLAY_CENTER);
        EXPECT_FALSE(d.Enabled(IDC_WIDTH) || d.Enabled(IDC_HEIGHT));
    });
    EXPECT_EQ(p.dialogs.back().result, kIdCancel);
}

TEST_F(Shell, DialogRefusesBadNumbersAndStaysOpen) {
    ASSERT_TRUE(Start());
    RunSettings([&](HeadlessDialog& d) {
        d.Type(IDC_WIDTH, "2001");
        d.Type(IDC_HEIGHT, "0");
        d.PressOk();  // the height is exchanged first
        ASSERT_TRUE(d.IsOpen());
        EXPECT_EQ(p.boxes.back().text, "Please enter an integer between 1 and 2000.");
        EXPECT_EQ(d.Focused(), IDC_HEIGHT);
        EXPECT_TRUE(d.TextSelected());
        d.Type(IDC_HEIGHT, "1");
        d.Type(IDC_TIME, "abc");
        d.PressOk();
        EXPECT_EQ(p.boxes.back().text, "Please enter an integer.");
        EXPECT_EQ(d.Focused(), IDC_TIME);
        d.Type(IDC_TIME, "121");
        d.PressOk();
        EXPECT_EQ(p.boxes.back().text, "Please enter an integer between 1 and 120.");
        d.Type(IDC_TIME, "120");
        d.Click(IDC_DISPLAY_CENTER);  // width box disabled, still checked
        d.PressOk();
        EXPECT_EQ(d.Focused(), IDC_WIDTH);
        // The arrows still work on it, from the last valid position.
        d.ClickDown(IDC_WIDTH_SPIN);
        EXPECT_EQ(d.Text(IDC_WIDTH), "300");
        d.Click(IDC_DISPLAY_AUTOTILE);
        d.Type(IDC_WIDTH, "2000");
        d.Type(IDC_DIRECTORY, "");
        d.PressOk();
        EXPECT_FALSE(d.IsOpen());
    });
    EXPECT_EQ(p.boxes.size(), 4u);
    EXPECT_EQ(Frame().Width, 2000);
    EXPECT_EQ(Frame().Height, 1);
    EXPECT_EQ(Frame().Time, 120);
    EXPECT_EQ(Frame().Display, 2);
    EXPECT_EQ(Frame().Directory, "");
}

TEST_F(Shell, OkAppliesEverythingInOrder) {
    ASSERT_TRUE(Start());
    p.LeftClickTray();
    test::TempDir other;
    other.write("z.bmp", test::BmpHeader(50, 50));
    p.profileWrites.clear();
    p.wallpaperCalls.clear();
    RunSettings([&](HeadlessDialog& d) {
        d.Type(IDC_DIRECTORY, other.str());
        d.Click(IDC_DISPLAY_TILE);
        d.Select(IDC_STRETCH, 0);  // stretched by default: now as it is
        d.Click(IDC_WHEN_HOURS);
        d.Type(IDC_TIME, "5");
        d.Click(IDC_RANDOM_RANDOM);
        d.PressOk();
    });
    EXPECT_EQ(Frame().Directory, other.str());
    const std::string z = other.str() + p.PathSeparator() + "z.bmp";
    EXPECT_EQ(Frame().m_ImageList, std::vector<std::string>{z});
    EXPECT_EQ(Frame().Random, 1);
    EXPECT_EQ(p.profileWrites.size(), 11u);
    EXPECT_EQ(std::get<std::uint32_t>(Stored("Display")), 1u);
    EXPECT_EQ(p.DesktopString("TileWallpaper"), "1");
    EXPECT_EQ(p.DesktopString("WallpaperStyle"), "0");
    // The rebuilt random list has a current image: it is set again at once.
    EXPECT_EQ(p.wallpaperCalls, std::vector<std::string>{z});
    EXPECT_EQ(p.timerCalls.back(), (HeadlessPlatform::TimerCall{true, IDT_CHANGE, 18'000'000u}));
}

TEST_F(Shell, OkRebuildsOnlyWhenTheFolderTextChanged) {
    ASSERT_TRUE(Start());
    p.LeftClickTray();
    pics.write("d.bmp", test::BmpHeader(10, 10));  // seen only by a rebuild
    RunSettings([](HeadlessDialog& d) { d.PressOk(); });
    EXPECT_EQ(Frame().m_ImageList.size(), 3u);
    EXPECT_EQ(Shown(), Img(0));  // the current image set again
    // Ticking "Include subfolders" alone rebuilds, with the tree under the
    // folder; it is stored, and the dialog shows it next time.
    std::filesystem::create_directory(pics.path() / "sub");
    pics.write("sub/e.bmp", test::BmpHeader(10, 10));
    RunSettings([](HeadlessDialog& d) {
        EXPECT_FALSE(d.Checked(IDC_SUBFOLDERS));
        d.Click(IDC_SUBFOLDERS);
        d.PressOk();
    });
    EXPECT_EQ(Frame().Subfolders, 1);
    EXPECT_EQ(std::get<std::uint32_t>(Stored("Subfolders")), 1u);
    EXPECT_EQ(Frame().m_LastIndex, 4);
    EXPECT_EQ(Img(4), pics.str() + p.PathSeparator() + "sub" + p.PathSeparator() + "e.bmp");
    RunSettings([](HeadlessDialog& d) {
        EXPECT_TRUE(d.Checked(IDC_SUBFOLDERS));
        d.PressOk();
    });
    EXPECT_EQ(Frame().m_LastIndex, 4);
    std::string upper = pics.str();
    std::transform(upper.begin(), upper.end(), upper.begin(), ::toupper);
    RunSettings([&](HeadlessDialog& d) {
        d.Type(IDC_DIRECTORY, upper);
        d.Click(IDC_AUTOCHANGE);  // off: the timer stops
        d.PressOk();
    });
    EXPECT_EQ(Frame().Directory, upper);  // letter case alone counts
    EXPECT_EQ(p.timerCalls.back(), (HeadlessPlatform::TimerCall{false, IDT_CHANGE, 0}));
    EXPECT_FALSE(p.TickTimer(IDT_CHANGE));
}

TEST_F(Shell, NoUnitSelectedRunsTheTimerInHours) {
    Store("When", 5u);
    ASSERT_TRUE(Start());
    RunSettings([](HeadlessDialog& d) { d.PressOk(); });
    EXPECT_EQ(Frame().When, -1);
    EXPECT_EQ(p.timers.at(IDT_CHANGE), 20u * 3'600'000u);
}

TEST_F(Shell, CancelChangesNothingButAnAskedRebuildStays) {
    ASSERT_TRUE(Start());
    p.LeftClickTray();
    pics.write("d.bmp", test::BmpHeader(10, 10));
    test::TempDir other;
    const auto writes = p.profileWrites.size();
    const auto timerCalls = p.timerCalls.size();
    const auto desktop = p.desktop;
    p.browseAnswers = {HeadlessPlatform::BrowseAnswer::Cancel(),
                       HeadlessPlatform::BrowseAnswer::Chosen(other.str())};
    RunSettings([&](HeadlessDialog& d) {
        d.Type(IDC_DIRECTORY, "elsewhere");
        d.Click(IDC_BROWSE);  // cancelled: the box keeps what was typed
        EXPECT_EQ(d.Text(IDC_DIRECTORY), "elsewhere");
        d.Click(IDC_BROWSE);
        EXPECT_EQ(d.Text(IDC_DIRECTORY), other.str());
        d.Click(IDC_DISPLAY_CENTER);
        d.Type(IDC_TIME, "3");
        d.Click(IDC_UPDATE_IMAGE_LIST);  // the stored folder, not the typed one
        d.PressCancel();
    });
    EXPECT_EQ(p.browses.at(0).title, "Select a folder containing Wallpapers");
    EXPECT_EQ(Frame().m_ImageList.size(), 4u);
    EXPECT_EQ(Frame().Directory, pics.str());
    EXPECT_EQ(Frame().Time, 20);
    EXPECT_EQ(p.profileWrites.size(), writes);
    EXPECT_EQ(p.timerCalls.size(), timerCalls);
    EXPECT_EQ(p.desktop, desktop);
}

TEST_F(Shell, StartAtLoginShowsTheSystemsEntryAndOkWritesOnlyWhatDiffers) {
    // The box shows the system's entry as it is when the dialog opens; OK
    // writes this program's entry, removes it, or leaves it; a failed write
    // is told after every other setting was applied.
    struct Case {
        const char* what;
        LoginStart before;
        bool click;  // the user toggles the box
        bool fail;   // the system refuses the write
        bool shown;
        std::vector<bool> writes;
        LoginStart after;
    };
    const Case cases[] = {
        {"none, left", LoginStart::None, false, false, false, {}, LoginStart::None},
        {"none, checked", LoginStart::None, true, false, false, {true}, LoginStart::ThisProgram},
        {"ours, left", LoginStart::ThisProgram, false, false, true, {}, LoginStart::ThisProgram},
        {"ours, cleared", LoginStart::ThisProgram, true, false, true, {false}, LoginStart::None},
        {"another copy's, left: rewritten", LoginStart::OtherCopy, false, false, true, {true},
         LoginStart::ThisProgram},
        {"another copy's, cleared", LoginStart::OtherCopy, true, false, true, {false},
         LoginStart::None},
        {"none, checked, refused", LoginStart::None, true, true, false, {true}, LoginStart::None},
    };
    ASSERT_TRUE(Start());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        p.loginStart = c.before;
        p.failLoginStart = c.fail;
        p.loginStartWrites.clear();
        p.boxes.clear();
        p.profileWrites.clear();
        RunSettings([&](HeadlessDialog& d) {
            EXPECT_EQ(d.Checked(IDC_START_AT_LOGIN), c.shown);
            if (c.click) d.Click(IDC_START_AT_LOGIN);
            d.Type(IDC_TIME, "7");
            d.PressOk();
        });
        EXPECT_EQ(p.loginStartWrites, c.writes);
        EXPECT_EQ(p.loginStart, c.after);
        EXPECT_EQ(Frame().Time, 7);
        EXPECT_EQ(p.profileWrites.size(), 11u);  // the eleven settings, nothing of it
        ASSERT_EQ(p.boxes.size(), c.fail ? 1u : 0u);
        if (c.fail) {
            EXPECT_EQ(p.boxes[0].text, p.LoadString(IDS_LOGIN_START_FAILED));
            EXPECT_EQ(p.boxes[0].style, BoxIcon::Exclamation);
        }
    }
    // Cancel writes nothing.
    p.loginStart = LoginStart::None;
    p.failLoginStart = false;
    p.loginStartWrites.clear();
    RunSettings([](HeadlessDialog& d) {
        d.Click(IDC_START_AT_LOGIN);
        d.PressCancel();
    });
    EXPECT_TRUE(p.loginStartWrites.empty());
}

TEST_F(Shell, AboutOpensAboveTheDialogAndLeavesItsEdits) {
    ASSERT_TRUE(Start());
    p.ScriptDialog(IDD_ABOUTBOX, [](HeadlessDialog& about) {
        EXPECT_EQ(about.Text(IDC_CONTACT), "dev@quillmere.invalid");
        about.Type(IDC_CONTACT, "changed");  // read-only
        EXPECT_EQ(about.Text(IDC_CONTACT), "dev@quillmere.invalid");
        about.PressOk();
    });
    RunSettings([&](HeadlessDialog& d) {
        d.Type(IDC_TIME, "9");
        d.Click(ID_APP_ABOUT);
        EXPECT_TRUE(d.IsOpen());
        EXPECT_EQ(d.Text(IDC_TIME), "9");
        d.PressOk();
    });
    ASSERT_EQ(p.dialogs.size(), 2u);
    EXPECT_EQ(p.dialogs[0].templateId, unsigned(IDD_SETTINGS));
    EXPECT_EQ(p.dialogs[1].templateId, unsigned(IDD_ABOUTBOX));
    EXPECT_EQ(p.dialogs[1].ownerDialog, unsigned(IDD_SETTINGS));
    EXPECT_EQ(Frame().Time, 9);

    p.menuChoices = {ID_APP_ABOUT};  // from the menu: owned by the frame
    p.RightClickTray();
    EXPECT_TRUE(p.dialogs.back().ownedByFrame);
}

// Settings from the tray menu while the dialog is open: were a second
// dialog opened over it, the outer OK would put back what the inner OK
// saved. The open one comes to the front; clicks still change. About, the
// same: one box at a time.
TEST_F(Shell, SettingsOrAboutWhileOpenBringsTheOpenOneToTheFront) {
    ASSERT_TRUE(Start());
    p.ScriptDialog(IDD_SETTINGS, [](HeadlessDialog& d) {
        d.Type(IDC_TIME, "9");
        d.platform().menuChoices = {ID_SETTINGS};
        d.platform().RightClickTray();
        d.platform().LeftClickTray();
        d.Click(ID_APP_ABOUT);
        d.PressOk();
    });
    p.ScriptDialog(IDD_SETTINGS, [](HeadlessDialog& second) {
        second.Type(IDC_TIME, "7");
        second.PressOk();
    });
    p.ScriptDialog(IDD_ABOUTBOX, [](HeadlessDialog& about) {
        about.platform().menuChoices = {ID_APP_ABOUT, ID_SETTINGS};
        about.platform().RightClickTray();
        about.platform().RightClickTray();
        about.PressOk();
    });
    p.menuChoices = {ID_SETTINGS};
    p.RightClickTray();
    ASSERT_EQ(p.dialogs.size(), 2u) << "a second dialog was opened";
    EXPECT_EQ(p.dialogs[1].templateId, unsigned(IDD_ABOUTBOX));
    // Settings asked for under About rises with About above it, and About,
    // which disables it, keeps the input.
    EXPECT_EQ(p.raised, (std::vector<unsigned>{IDD_SETTINGS, IDD_ABOUTBOX, IDD_SETTINGS,
                                               IDD_ABOUTBOX}));
    EXPECT_EQ(p.activated, (std::vector<unsigned>{IDD_SETTINGS, IDD_ABOUTBOX, IDD_ABOUTBOX}));
    EXPECT_EQ(Frame().Time, 9);
    EXPECT_EQ(Shown(), Img(0)) << "the click beside the dialog changed, OK re-applied";

    // Closed, the command opens it again.
    p.menuChoices = {ID_SETTINGS};
    p.RightClickTray();
    EXPECT_EQ(p.dialogs.size(), 3u);
    EXPECT_EQ(Frame().Time, 7);
}

TEST_F(Shell, ChangesWhileTheDialogIsOpenUseTheOldSettings) {
    ASSERT_TRUE(Start());
    RunSettings([&](HeadlessDialog& d) {
        d.Click(IDC_RANDOM_RANDOM);
        d.platform().TickTimer(IDT_CHANGE);
        d.platform().LeftClickTray();
        d.PressOk();
    });
    // Both changes were sequential: a, then b.
    ASSERT_GE(p.wallpaperCalls.size(), 2u);
    EXPECT_EQ(p.wallpaperCalls[0], Img(0));
    EXPECT_EQ(p.wallpaperCalls[1], Img(1));
    EXPECT_EQ(Frame().Random, 1);
}

}  // namespace
}  // namespace qm
