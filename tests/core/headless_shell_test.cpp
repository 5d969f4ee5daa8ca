// The headless shell's own rules: where it strayed from the real shell, the
// application tests built on it would pass or fail for the wrong reason.
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "platform/headless/headless_platform.h"
#include "res/resource.h"

namespace qm {
namespace {

// A frame that records what reaches it.
struct RecordingFrame : FrameEvents {
    HeadlessPlatform& platform;
    explicit RecordingFrame(HeadlessPlatform& p) : platform(p) {}

    int createResult = 0;
    std::function<void()> onCreate;
    std::vector<std::string> events;
    bool inTrayHandler = false;
    std::vector<bool> commandsInsideTrayHandler;
    bool tileEnabled = false;

    int OnCreate() override {
        if (onCreate) {
            onCreate();
        }
        events.push_back("create");
        return createResult;
    }
    void OnDestroy() override { events.push_back("destroy"); }
    void OnTimer(unsigned id) override { events.push_back("timer " + std::to_string(id)); }
    long OnTrayIcon(unsigned id, TrayMouse message) override {
        events.push_back("tray " + std::to_string(id) + " " +
                         std::to_string(static_cast<int>(message)));
        if (message == TrayMouse::RightUp) {
            inTrayHandler = true;
            bool shown = platform.TrackPopupMenu(IDR_MAINFRAME);
            inTrayHandler = false;
            return shown ? 1 : 0;
        }
        return 1;
    }
    long OnRebuildImageList() override {
        events.push_back("rebuild");
        return 1;
    }
    bool OnCommand(int id) override {
        events.push_back("command " + std::to_string(id));
        commandsInsideTrayHandler.push_back(inTrayHandler);
        return id != 4242;
    }
    bool OnUpdateCommand(int id, bool& enabled) override {
        if (id == ID_TILE_CURRENT) {
            enabled = tileEnabled;
            return true;
        }
        return false;
    }
    void OnTaskbarCreated() override { events.push_back("taskbar"); }
    void OnDisplayChange() override { events.push_back("display"); }
};

TrayIconData Icon() {
    TrayIconData d;
    d.uID = IDR_MAINFRAME;
    d.iconResource = IDR_MAINFRAME;
    return d;
}

// Dialog handlers made of lambdas; by default OK and Cancel end the dialog.
struct ScriptedHandlers : DialogEvents {
    std::function<void(DialogWindow&)> init;
    std::function<void(DialogWindow&, int)> command;
    std::vector<int> commands;
    bool OnInitDialog(DialogWindow& w) override {
        if (init) {
            init(w);
        }
        return true;
    }
    void OnCommand(DialogWindow& w, int id) override {
        commands.push_back(id);
        if (command) {
            command(w, id);
        }
        if (id == kIdOk || id == kIdCancel) {
            w.EndDialog(id);
        }
    }
};

TEST(HeadlessShell, FrameWindowLifeAndSearchByTitle) {
    HeadlessPlatform p;
    RecordingFrame frame(p);
    // Another program's window is no running copy, whatever its title;
    // another copy's frame is found without regard to case.
    p.otherWindows = {"Quillmere"};
    EXPECT_FALSE(p.FindTopLevelWindow("Quillmere"));
    p.otherFrames = {"Other Frame"};
    EXPECT_TRUE(p.FindTopLevelWindow("other FRAME"));
    p.otherFrames.clear();

    // Creation refused by OnCreate leaves no window, and no OnDestroy.
    frame.createResult = -1;
    frame.onCreate = [&] { p.SetTimer(1, 1000); };
    EXPECT_FALSE(p.CreateFrameWindow("Quillmere", frame));
    EXPECT_FALSE(p.FrameExists());
    EXPECT_FALSE(p.FindTopLevelWindow("Quillmere"));
    EXPECT_TRUE(p.timers.empty());
    EXPECT_EQ(frame.events, (std::vector<std::string>{"create"}));

    // A timer armed inside OnCreate belongs to the window being created.
    frame.createResult = 0;
    frame.events.clear();
    ASSERT_TRUE(p.CreateFrameWindow("Quillmere", frame));
    EXPECT_TRUE(p.FindTopLevelWindow("QUILLMERE"));
    EXPECT_FALSE(p.frameVisible);
    EXPECT_EQ(p.timers.at(1), 1000u);

    p.CloseFrameWindow();
    EXPECT_EQ(frame.events, (std::vector<std::string>{"create", "destroy"}));
    EXPECT_TRUE(p.FrameDestroyed());
    EXPECT_FALSE(p.FindTopLevelWindow("Quillmere"));
    EXPECT_TRUE(p.timers.empty());  // timers end with the window
    EXPECT_FALSE(p.TickTimer(1));

    HeadlessPlatform refusing;
    refusing.refuseFrameWindow = true;
    RecordingFrame never(refusing);
    EXPECT_FALSE(refusing.CreateFrameWindow("Quillmere", never));
    EXPECT_TRUE(never.events.empty());
}

TEST(HeadlessShell, TimersTickOnlyWhileArmedAndTheSameIdReplaces) {
    HeadlessPlatform p;
    RecordingFrame frame(p);
    ASSERT_TRUE(p.CreateFrameWindow("Quillmere", frame));
    EXPECT_FALSE(p.TickTimer(1));
    p.SetTimer(1, 1200000);
    p.SetTimer(1, 300000);
    EXPECT_EQ(p.timers, (std::map<unsigned, std::uint32_t>{{1, 300000}}));
    EXPECT_TRUE(p.TickTimer(1));
    EXPECT_FALSE(p.TickTimer(2));
    p.KillTimer(1);
    p.KillTimer(1);  // harmless when none runs
    EXPECT_FALSE(p.TickTimer(1));
    EXPECT_EQ(frame.events, (std::vector<std::string>{"create", "timer 1"}));
    using Call = HeadlessPlatform::TimerCall;
    EXPECT_EQ(p.timerCalls, (std::vector<Call>{{true, 1, 1200000}, {true, 1, 300000},
                                               {false, 1, 0}, {false, 1, 0}}));
}

TEST(HeadlessShell, TrayMessagesReachTheFrameOnlyWhileTheIconIsShown) {
    HeadlessPlatform p;
    RecordingFrame frame(p);
    ASSERT_TRUE(p.CreateFrameWindow("Quillmere", frame));
    EXPECT_FALSE(p.ClickTray(TrayMouse::LeftDown));

    TrayIconData icon = Icon();
    std::snprintf(icon.szTip, sizeof icon.szTip, "%s", "tip");
    p.AddTrayIcon(icon);
    ASSERT_TRUE(p.trayIcon.has_value());
    EXPECT_STREQ(p.trayIcon->szTip, "tip");

    frame.events.clear();
    EXPECT_TRUE(p.DoubleClickTray());
    EXPECT_EQ(frame.events, (std::vector<std::string>{"tray 128 1", "tray 128 2",
                                                      "tray 128 3", "tray 128 2"}));

    // Gone with a restart of the taskbar, which the frame is told of.
    frame.events.clear();
    p.RestartTaskbar();
    EXPECT_FALSE(p.trayIcon.has_value());
    EXPECT_FALSE(p.ClickTray(TrayMouse::LeftDown));
    EXPECT_EQ(frame.events, (std::vector<std::string>{"taskbar"}));

    TrayIconData again = Icon();
    p.AddTrayIcon(again);
    EXPECT_TRUE(p.ClickTray(TrayMouse::LeftDown));

    p.DeleteTrayIcon(again);
    EXPECT_FALSE(p.trayIcon.has_value());
    ASSERT_EQ(p.trayCalls.size(), 3u);
    EXPECT_FALSE(p.trayCalls[2].add);
}

TEST(HeadlessShell, MenuShowsStatesAndItsChoiceArrivesAfterTheTrayHandler) {
    HeadlessPlatform p;
    RecordingFrame frame(p);
    ASSERT_TRUE(p.CreateFrameWindow("Quillmere", frame));
    p.AddTrayIcon(Icon());

    p.menuChoices = {ID_SETTINGS};
    EXPECT_TRUE(p.RightClickTray());
    EXPECT_EQ(p.lastTrayResult, 1);
    ASSERT_EQ(p.menus.size(), 1u);
    const auto& items = p.menus[0].items;
    ASSERT_EQ(items.size(), 8u);
    EXPECT_TRUE(items[0].isDefault);
    EXPECT_EQ(items[0].text, "&Previous Wallpaper");
    EXPECT_FALSE(items[1].isDefault);
    EXPECT_FALSE(items[1].enabled);  // its update handler greyed it
    EXPECT_TRUE(items[2].enabled);   // no update handler: as the resource says
    EXPECT_TRUE(items[3].separator);
    EXPECT_TRUE(items[5].separator);
    EXPECT_EQ(p.menus[0].chosen, ID_SETTINGS);
    EXPECT_EQ(frame.commandsInsideTrayHandler, (std::vector<bool>{false}));
    EXPECT_EQ(frame.events.back(), "command 32772");
    EXPECT_EQ(p.commands, (std::vector<HeadlessPlatform::Command>{{ID_SETTINGS, true}}));

    // Dismissed, or a greyed item picked: no command.
    p.menuChoices = {0, ID_TILE_CURRENT};
    EXPECT_TRUE(p.RightClickTray());
    EXPECT_TRUE(p.RightClickTray());
    EXPECT_EQ(p.menus.size(), 3u);
    EXPECT_EQ(p.menus[2].chosen, 0);
    EXPECT_EQ(p.commands.size(), 1u);

    // Once enabled it can be picked. An id the menu lacks is a test fault.
    frame.tileEnabled = true;
    p.menuChoices = {ID_TILE_CURRENT, 12345};
    EXPECT_TRUE(p.RightClickTray());
    EXPECT_EQ(p.commands.back().id, ID_TILE_CURRENT);
    EXPECT_THROW(p.RightClickTray(), std::invalid_argument);

    p.failMenuLoad = true;
    EXPECT_TRUE(p.RightClickTray());
    EXPECT_EQ(p.lastTrayResult, 0);
    EXPECT_EQ(p.menus.size(), 4u);
}

TEST(HeadlessShell, MessageLoopRunsPostedCommandsAndUserActionsUntilTheFrameCloses) {
    HeadlessPlatform p;
    RecordingFrame frame(p);
    ASSERT_TRUE(p.CreateFrameWindow("Quillmere", frame));
    p.PostCommand(ID_PREVIOUS_WALLPAPER);
    p.userActions.push_back([&] { p.PostCommand(4242); });
    p.userActions.push_back([&] { p.CloseFrameWindow(); });
    p.userActions.push_back([&] { p.PostCommand(ID_SETTINGS); });  // never runs
    EXPECT_EQ(p.RunMessageLoop(), 0);
    EXPECT_EQ(frame.events,
              (std::vector<std::string>{"create", "command 32774", "command 4242", "destroy"}));
    EXPECT_EQ(p.commands, (std::vector<HeadlessPlatform::Command>{{ID_PREVIOUS_WALLPAPER, true},
                                                                  {4242, false}}));
    EXPECT_EQ(p.userActions.size(), 1u);
}

TEST(HeadlessShell, AutoButtonsKeepTheirGroupsAndDisabledControlsIgnoreTheUser) {
    HeadlessPlatform p;
    ScriptedHandlers handlers;
    handlers.init = [](DialogWindow& w) {
        w.SetCheck(IDC_WHEN_HOURS, true);
        w.SetCheck(IDC_RANDOM_RANDOM, true);
        w.EnableItem(IDC_WIDTH, false);
        w.EnableItem(IDC_DISPLAY_TILE, false);
        w.SetComboItems(IDC_STRETCH, {"one", "two", "three"});
        w.SetComboSelection(IDC_STRETCH, 7);  // past the items: none
    };
    p.ScriptDialog(IDD_SETTINGS, [](HeadlessDialog& d) {
        d.Click(IDC_DISPLAY_CENTER);
        d.Click(IDC_DISPLAY_AUTOTILE);
        EXPECT_FALSE(d.Checked(IDC_DISPLAY_CENTER));
        EXPECT_TRUE(d.Checked(IDC_DISPLAY_AUTOTILE));
        // The other groups are untouched.
        EXPECT_TRUE(d.Checked(IDC_WHEN_HOURS));
        EXPECT_TRUE(d.Checked(IDC_RANDOM_RANDOM));
        d.Click(IDC_RANDOM_SEQUENTIAL);
        EXPECT_FALSE(d.Checked(IDC_RANDOM_RANDOM));
        EXPECT_TRUE(d.Checked(IDC_DISPLAY_AUTOTILE));

        d.Click(IDC_DISPLAY_TILE);  // disabled: nothing, no command
        EXPECT_FALSE(d.Checked(IDC_DISPLAY_TILE));
        EXPECT_TRUE(d.Checked(IDC_DISPLAY_AUTOTILE));

        d.Click(IDC_AUTOCHANGE);
        d.Click(IDC_AUTOCHANGE);
        EXPECT_EQ(d.Selection(IDC_STRETCH), -1);
        d.Click(IDC_STRETCH);  // a drop-down list sends no command for a click
        d.Select(IDC_STRETCH, 2);
        EXPECT_FALSE(d.Checked(IDC_AUTOCHANGE));
        EXPECT_EQ(d.SelectedText(IDC_STRETCH), "three");
        EXPECT_THROW(d.Select(IDC_STRETCH, 3), std::out_of_range);
        EXPECT_THROW(d.Select(IDC_AUTOCHANGE, 0), std::invalid_argument);

        d.Type(IDC_WIDTH, "123");  // disabled
        d.Type(IDC_TIME, "45");
        EXPECT_EQ(d.Text(IDC_WIDTH), "");
        EXPECT_EQ(d.Text(IDC_TIME), "45");
        EXPECT_EQ(d.Focused(), IDC_TIME);
        EXPECT_THROW(d.Type(9999, "x"), std::out_of_range);
        d.PressOk();
        d.Select(IDC_STRETCH, 0);  // after the end: nothing
    });
    EXPECT_EQ(p.RunModalDialog(IDD_SETTINGS, handlers), kIdOk);
    EXPECT_EQ(handlers.commands,
              (std::vector<int>{1015, 1017, 1003, 1006, 1006, kIdOk}));
    ASSERT_EQ(p.dialogs.size(), 1u);
    EXPECT_TRUE(p.dialogs[0].Opened(IDC_WHEN_HOURS).checked);
    EXPECT_FALSE(p.dialogs[0].Opened(IDC_WIDTH).enabled);
    EXPECT_EQ(p.dialogs[0].Closed(IDC_STRETCH).selection, 2);
    EXPECT_EQ(p.dialogs[0].Closed(IDC_TIME).text, "45");

    // The contact address of the about box cannot be changed.
    ScriptedHandlers about;
    about.init = [](DialogWindow& w) { w.SetItemText(IDC_CONTACT, "me@example.org"); };
    p.ScriptDialog(IDD_ABOUTBOX, [](HeadlessDialog& d) {
        d.Type(IDC_CONTACT, "changed");
        EXPECT_EQ(d.Text(IDC_CONTACT), "me@example.org");
    });
    EXPECT_EQ(p.RunModalDialog(IDD_ABOUTBOX, about), kIdCancel);
}

TEST(HeadlessShell, UpDownClampsAndWritesItsBuddyAsAPlainInteger) {
    HeadlessPlatform p;
    ScriptedHandlers handlers;
    handlers.init = [](DialogWindow& w) {
        w.SetUpDownRange(IDC_WIDTH_SPIN, 1, 2000);
        w.SetUpDownPos(IDC_WIDTH_SPIN, 2500);  // pulled to the top
        w.SetUpDownRange(IDC_TIME_SPIN, 1, 120);
        w.SetUpDownPos(IDC_TIME_SPIN, 1);
        w.EnableItem(IDC_WIDTH, false);
    };
    p.ScriptDialog(IDD_SETTINGS, [](HeadlessDialog& d) {
        EXPECT_EQ(d.Item(IDC_WIDTH_SPIN).buddy, IDC_WIDTH);
        EXPECT_EQ(d.Item(IDC_HEIGHT_SPIN).buddy, IDC_HEIGHT);
        EXPECT_EQ(d.UpDownPos(IDC_WIDTH_SPIN), 2000);
        EXPECT_EQ(d.Text(IDC_WIDTH), "2000");  // no thousands separator
        d.ClickUp(IDC_WIDTH_SPIN);
        EXPECT_EQ(d.Text(IDC_WIDTH), "2000");
        // The arrows still work on a disabled buddy.
        d.ClickDown(IDC_WIDTH_SPIN);
        EXPECT_EQ(d.Text(IDC_WIDTH), "1999");

        d.ClickDown(IDC_TIME_SPIN);
        EXPECT_EQ(d.Text(IDC_TIME), "1");
        // A typed value in range is taken up before the step; one that is
        // out of range or not a number is not.
        d.Type(IDC_TIME, "50");
        d.ClickUp(IDC_TIME_SPIN);
        EXPECT_EQ(d.Text(IDC_TIME), "51");
        d.Type(IDC_TIME, "500");
        d.ClickUp(IDC_TIME_SPIN);
        EXPECT_EQ(d.Text(IDC_TIME), "52");
        d.Type(IDC_TIME, "x");
        d.ClickDown(IDC_TIME_SPIN);
        EXPECT_EQ(d.Text(IDC_TIME), "51");
        EXPECT_THROW(d.ClickUp(IDC_TIME), std::invalid_argument);
    });
    p.RunModalDialog(IDD_SETTINGS, handlers);
}

TEST(HeadlessShell, NestedDialogsOwnersFocusAndUnscriptedClosing) {
    HeadlessPlatform p;
    RecordingFrame frame(p);
    ASSERT_TRUE(p.CreateFrameWindow("Quillmere", frame));
    p.AddTrayIcon(Icon());

    ScriptedHandlers about;
    ScriptedHandlers settings;
    settings.command = [&](DialogWindow& w, int id) {
        if (id == ID_APP_ABOUT) {
            p.RunModalDialog(IDD_ABOUTBOX, about);
        }
        if (id == IDC_UPDATE_IMAGE_LIST) {
            EXPECT_EQ(w.SendToOwner(WM_UPDATE_IMAGE_LIST), 1);
        }
        if (id == IDC_BROWSE) {
            std::string path = "unchanged";
            bool got = w.BrowseForFolder("Pick", path);
            w.SetItemText(IDC_DIRECTORY, got ? path : "<none>");
        }
        if (id == kIdOk) {
            w.FocusAndSelectAll(IDC_HEIGHT);  // as a failed validation does
        }
    };
    p.browseAnswers = {HeadlessPlatform::BrowseAnswer::Chosen("/pics"),
                       HeadlessPlatform::BrowseAnswer::NoPath()};
    p.ScriptDialog(IDD_SETTINGS, [&](HeadlessDialog& d) {
        EXPECT_EQ(d.Focused(), IDC_AUTOCHANGE);  // the first tab stop
        d.Type(IDC_DIRECTORY, "typed");
        d.Click(ID_APP_ABOUT);  // opens the about box above
        EXPECT_EQ(d.Text(IDC_DIRECTORY), "typed");
        d.Click(IDC_UPDATE_IMAGE_LIST);  // synchronous
        EXPECT_EQ(frame.events.back(), "rebuild");
        d.Click(IDC_BROWSE);
        EXPECT_EQ(d.Text(IDC_DIRECTORY), "/pics");
        d.Click(IDC_BROWSE);
        EXPECT_EQ(d.Text(IDC_DIRECTORY), "<none>");
        // The frame goes on receiving its events meanwhile.
        EXPECT_TRUE(d.platform().ClickTray(TrayMouse::LeftDown));
        EXPECT_EQ(p.OpenDialog(), &d);
        d.Click(kIdOk);
    });
    EXPECT_EQ(p.RunModalDialog(IDD_SETTINGS, settings), kIdOk);
    EXPECT_EQ(p.OpenDialog(), nullptr);

    ASSERT_EQ(p.dialogs.size(), 2u);
    const auto& s = p.dialogs[0];
    const auto& a = p.dialogs[1];
    EXPECT_EQ(s.templateId, IDD_SETTINGS);
    EXPECT_TRUE(s.ownedByFrame);
    EXPECT_TRUE(s.scripted);
    EXPECT_EQ(s.focusedAtClose, IDC_HEIGHT);
    EXPECT_TRUE(s.selectedAtClose);
    EXPECT_EQ(a.templateId, IDD_ABOUTBOX);
    EXPECT_FALSE(a.ownedByFrame);
    EXPECT_EQ(a.ownerDialog, IDD_SETTINGS);
    EXPECT_FALSE(a.scripted);  // no script left: closed by its close box
    EXPECT_EQ(a.result, kIdCancel);
    EXPECT_EQ(about.commands, (std::vector<int>{kIdCancel}));

    ASSERT_EQ(p.browses.size(), 2u);
    EXPECT_EQ(p.browses[0].title, "Pick");
    EXPECT_EQ(p.browses[0].ownerDialog, IDD_SETTINGS);
    EXPECT_EQ(p.ownerMessages, (std::vector<HeadlessPlatform::OwnerMessage>{
                                   {IDD_SETTINGS, WM_UPDATE_IMAGE_LIST, 1}}));

    // A script that leaves its dialog open: the user closes it by the box;
    // a dialog that refuses to close is abandoned rather than hanging.
    ScriptedHandlers leaving;
    p.ScriptDialog(IDD_ABOUTBOX, [](HeadlessDialog&) {});
    EXPECT_EQ(p.RunModalDialog(IDD_ABOUTBOX, leaving), kIdCancel);
    EXPECT_TRUE(p.dialogs.back().scripted);
    EXPECT_EQ(leaving.commands, (std::vector<int>{kIdCancel}));
    struct Refusing : DialogEvents {
        bool OnInitDialog(DialogWindow&) override { return false; }
        void OnCommand(DialogWindow&, int) override {}
    } refusing;
    EXPECT_EQ(p.RunModalDialog(IDD_ABOUTBOX, refusing), kIdCancel);
    EXPECT_TRUE(p.dialogs.back().abandoned);
    EXPECT_EQ(p.dialogs.back().focusedAtClose, 0);  // OnInitDialog kept the focus
    EXPECT_EQ(p.RunModalDialog(4242, refusing), -1);
}

}  // namespace
}  // namespace qm
