// The platform the Linux tests drive: an in-memory profile and desktop key
// that keep value types, a directory search over real folders, settable
// Windows and local application data folders, recorded message boxes and
// wallpaper calls with scripted answers, and a seedable random source. Its
// shell is a faithful simulation: a frame window, timers, the tray icon,
// popup menus and modal dialogs built from the program's own resource
// script, with helpers that act as the user (click the icon, pick a menu
// item, work a dialog) and records of everything the program showed.
//
// A typical session:
//   ScopedHeadless h;
//   h.platform.menuChoices = {ID_SETTINGS};
//   h.platform.ScriptDialog(IDD_SETTINGS, [](HeadlessDialog& d) {
//       d.Click(IDC_DISPLAY_TILE);
//       d.Type(IDC_TIME, "5");
//       d.platform().TickTimer(IDT_CHANGE);  // the nested loop runs on
//       d.PressOk();
//   });
//   ... start the program ...
//   h.platform.RightClickTray();  // menu, then Settings, then the script
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <variant>
#include <vector>

#include "platform/platform.h"
#include "platform/posix/posix_system.h"
#include "platform/resources/resource_script.h"

namespace qm {

class HeadlessPlatform;

// One control of an open dialog, as the user and the program see it.
struct HeadlessControl {
    int id = 0;
    std::string className;  // as in the template: "Button", "Edit", ...
    std::string text;
    std::uint32_t style = 0;  // as written in the template
    bool checked = false;
    bool enabled = true;
    // Up-down controls: range (Windows' default runs from 100 down to 0),
    // position, and the buddy (the control before it in template order).
    int lower = 100;
    int upper = 0;
    int pos = 0;
    int buddy = 0;  // id; 0 when none
    // Drop-down lists: the items and the selected one (-1: none).
    std::vector<std::string> items;
    int selection = -1;

    bool IsEdit() const;
    bool IsUpDown() const;
    bool IsRadio() const;     // plain or automatic radio button
    bool IsCheckBox() const;  // plain or automatic check box
    bool IsComboBox() const;
    bool StartsGroup() const;
    bool IsTabStop() const;
    bool operator==(const HeadlessControl&) const = default;
};

// An open modal dialog. The program drives it through DialogWindow; a test
// script acts on it as a user would through the "user" operations, which
// do nothing once the dialog has ended (as after EndDialog the real one is
// gone). Asking for a control id the template does not have throws
// std::out_of_range: on Windows it would silently do nothing, which hides
// the fault.
class HeadlessDialog final : public DialogWindow {
public:
    HeadlessDialog(HeadlessPlatform& platform, unsigned templateId, const rc::Dialog& tmpl,
                   DialogEvents& events);

    // --- The user ------------------------------------------------------
    // Replaces an edit box's text (nothing when disabled or read-only);
    // the box gets the focus, nothing selected.
    void Type(int id, const std::string& text);
    // Clicks a control. Disabled: nothing. Button: takes the focus; an
    // automatic check box toggles, an automatic radio button checks itself
    // and clears the other radio buttons of its group; then the handler
    // gets OnCommand(id) (group boxes and statics send nothing). Edit box:
    // takes the focus.
    void Click(int id);
    // An up-down control's arrows (nothing when disabled). With
    // UDS_SETBUDDYINT the control first takes up a buddy text that is an
    // integer inside its range, moves one step (stopping at the ends), then
    // writes the position into the buddy as a plain integer.
    void ClickUp(int id);
    void ClickDown(int id);
    // Picks item `index` of a drop-down list (nothing when disabled; an
    // index it does not have throws std::out_of_range).
    void Select(int id, int index);
    // Enter (the default button), Escape and the close box.
    void PressOk();      // OnCommand(IDOK)
    void PressCancel();  // OnCommand(IDCANCEL)
    void PressCloseBox();  // OnCommand(IDCANCEL)

    // --- What the user sees ----------------------------------------------
    bool IsOpen() const { return open_; }
    int Result() const { return result_; }
    unsigned TemplateId() const { return templateId_; }
    const HeadlessControl& Item(int id) const;
    const std::vector<HeadlessControl>& Controls() const { return controls_; }
    std::string Text(int id) const { return Item(id).text; }
    bool Checked(int id) const { return Item(id).checked; }
    bool Enabled(int id) const { return Item(id).enabled; }
    int UpDownPos(int id) const { return Item(id).pos; }
    int Selection(int id) const { return Item(id).selection; }
    // The selected item's text; "" when none is.
    std::string SelectedText(int id) const;
    int Focused() const { return focused_; }  // 0: no control has the focus
    bool TextSelected() const { return selected_; }
    // The platform, to deliver frame events while the dialog is open (its
    // nested loop): platform().TickTimer(1), platform().ClickTray(...).
    HeadlessPlatform& platform() { return platform_; }

    // --- DialogWindow ----------------------------------------------------
    std::string GetItemText(int id) override;
    void SetItemText(int id, const std::string& text) override;
    bool IsChecked(int id) override;
    void SetCheck(int id, bool checked) override;
    bool IsEnabled(int id) override;
    void EnableItem(int id, bool enabled) override;
    void SetUpDownRange(int id, int lower, int upper) override;
    void SetUpDownPos(int id, int pos) override;
    void SetComboItems(int id, const std::vector<std::string>& items) override;
    int GetComboSelection(int id) override;
    void SetComboSelection(int id, int index) override;
    std::vector<int> RadioGroup(int firstId) override;
    void FocusAndSelectAll(int id) override;
    void EndDialog(int result) override;
    long SendToOwner(unsigned message) override;
    bool BrowseForFolder(const char* title, std::string& path) override;
    void Raise() override;
    void Activate() override;

private:
    friend class HeadlessPlatform;
    HeadlessControl& Find(int id);
    std::size_t IndexOf(int id) const;
    void StepUpDown(int id, int direction);
    void FocusFirstTabStop();

    HeadlessPlatform& platform_;
    unsigned templateId_;
    DialogEvents& events_;
    std::vector<HeadlessControl> controls_;
    bool open_ = true;
    int result_ = 0;
    int focused_ = 0;
    bool selected_ = false;
    bool ownedByFrame_ = false;
    unsigned ownerDialog_ = 0;
};

class HeadlessPlatform : public ProfileStore,
                         public PosixSystem,
                         public DesktopServices,
                         public ShellServices {
public:
    // A stored value: REG_DWORD-like number, REG_SZ-like string, or raw
    // bytes of some other type (what a foreign writer may leave behind).
    struct Binary {
        std::vector<std::uint8_t> bytes;
        bool operator==(const Binary&) const = default;
    };
    using Value = std::variant<std::uint32_t, std::string, Binary>;

    struct Box {
        bool ownerIsActiveWindow;  // only meaningful for captioned boxes
        std::string text;
        std::string caption;  // "Quillmere" for the application's box
        BoxIcon style;
    };

    HeadlessPlatform();
    ~HeadlessPlatform() override;
    HeadlessPlatform(const HeadlessPlatform&) = delete;
    HeadlessPlatform& operator=(const HeadlessPlatform&) = delete;

    // What SetCurrentPlatform installs: this one object serves every part.
    Platform parts{*this, *this, *this, *this};

    // Profile: section -> entry -> value.
    std::map<std::string, std::map<std::string, Value>> profile;
    std::vector<std::string> profileWrites;  // entry names, in write order

    // Desktop key values, present when desktopKeyExists.
    bool desktopKeyExists = true;
    bool desktopKeyBroken = false;  // neither creatable nor openable
    std::map<std::string, Value> desktop;
    std::vector<std::string> wallpaperCalls;  // paths handed to the desktop
    std::uint32_t backgroundColour = 0;       // 0xRRGGBB, as the desktop reports it
    // What Monitors() reports; none by default, as a backend that cannot tell.
    std::vector<MonitorRect> monitors;
    // How the desktop shows a picture per monitor, and each call of a file
    // per monitor, or of a composed one (its path also in wallpaperCalls).
    EachMonitorWay eachMonitorWay = EachMonitorWay::None;
    std::vector<std::vector<MonitorPicture>> monitorWallpaperCalls;
    std::vector<std::string> composedWallpaperCalls;

    // Folders served from memory instead of the disk, by folder path:
    // names no real file system would hold. "." and ".." are added.
    std::map<std::string, std::vector<FindEntry>> listings;
    // Runs with each search pattern before the search starts; false makes
    // the search fail, as a vanished or unreadable folder would.
    std::function<bool(const std::string& pattern)> beforeFind;

    // Real folders: the wallpaper file goes in windowsDirectory when a file
    // can be made there, else in <localAppDataDirectory>/Quillmere (made
    // when missing; none while localAppDataDirectory is empty).
    std::string windowsDirectory;
    std::string localAppDataDirectory;
    std::string currentDirectory = "/";
    char separator = '/';
    // Windows' MAX_PATH, unless a test asks for the longer paths of POSIX.
    std::size_t maxPath = kMaxPath;
    bool failReplace = false;
    // Free space on every volume, when set; otherwise the disk's own.
    std::optional<std::uint64_t> freeSpace;
    // The login entry as the system holds it, every write asked for (true:
    // start this program, false: none), and a write that fails.
    LoginStart loginStart = LoginStart::None;
    std::vector<bool> loginStartWrites;
    bool failLoginStart = false;

    // Message boxes shown, and the answers to give (IDOK when none left).
    std::vector<Box> boxes;
    std::deque<int> boxAnswers;
    // Runs while the next box is open, as a nested message loop would run
    // other handlers; cleared before it runs, so it fires once.
    std::function<void()> duringBox;


    std::string GetProfileString(const char* section, const char* entry,
                                 const std::string& defaultValue) override;
    int GetProfileInt(const char* section, const char* entry, int defaultValue) override;
    void WriteProfileInt(const char* section, const char* entry, int value) override;
    void WriteProfileString(const char* section, const char* entry,
                            const std::string& value) override;

    std::unique_ptr<DirectorySearch> FindFirst(const char* pattern, FindEntry& first) override;

    std::unique_ptr<DesktopKey> CreateDesktopKey() override;
    std::unique_ptr<DesktopKey> OpenDesktopKey() override;
    void SetDesktopWallpaper(const char* path) override;
    std::uint32_t BackgroundColour() override { return backgroundColour; }
    std::vector<MonitorRect> Monitors() override { return monitors; }
    EachMonitorWay HowEachMonitor() override { return eachMonitorWay; }
    bool SetMonitorWallpapers(const std::vector<MonitorPicture>& pictures) override {
        if (eachMonitorWay != EachMonitorWay::Each) {
            return false;
        }
        monitorWallpaperCalls.push_back(pictures);
        return true;
    }
    void SetComposedWallpaper(const char* path) override {
        composedWallpaperCalls.emplace_back(path);
        SetDesktopWallpaper(path);
    }

    std::string WallpaperDirectory() override;
    std::string CurrentDirectory() override { return currentDirectory; }
    char PathSeparator() const override { return separator; }
    std::size_t MaxPath() const override { return maxPath; }
    std::optional<std::uint64_t> FreeDiskSpace(const std::string& folder) override;
    bool ReplaceFile(const std::string& source, const std::string& target) override;
    LoginStart GetLoginStart() override { return loginStart; }
    bool SetLoginStart(bool start) override;

    int AppMessageBox(const std::string& text, BoxIcon icon) override;
    int MessageBox(bool ownerIsActiveWindow, const std::string& text,
                   const std::string& caption, BoxIcon icon) override;


    // --- The shell ------------------------------------------------------
    // Every user-action helper below (TickTimer, ClickTray, ...) delivers
    // its event and then runs the message pump, so commands that a popup
    // menu posted arrive after the handler that opened the menu returned.

    // Profile key named by SetRegistryKey ("" until then).
    std::string registryCompany, registryApp;
    // Top-level window titles of other programs, which FindTopLevelWindow
    // passes over, and of other copies' frames, which it finds without
    // regard to case (as it finds the own frame, once created).
    std::vector<std::string> otherWindows;
    std::vector<std::string> otherFrames;
    std::vector<std::string> windowSearches;  // titles searched for
    // Commands a second copy asked the running one to carry out; when this
    // platform holds the claim, each is posted to its own frame.
    std::vector<int> commandsToRunningCopy;
    // Single-instance claims: names another copy holds (set by a test), and
    // the names this process claimed, in order.
    std::set<std::string> instancesHeldElsewhere;
    std::vector<std::string> instanceClaims;

    // The frame window. refuseFrameWindow makes creation fail before
    // OnCreate runs (as a failed window-class registration would).
    bool refuseFrameWindow = false;
    std::string frameTitle;
    bool frameVisible = false;
    int frameHides = 0;
    int frameForegrounds = 0;  // SetForegroundWindow before each menu
    bool FrameExists() const;
    bool FrameDestroyed() const { return frameState_ == FrameState::Gone; }

    // Commands delivered to the frame by the pump, and whether the route
    // (frame, then application) handled each.
    struct Command {
        int id;
        bool handled;
        bool operator==(const Command&) const = default;
    };
    std::vector<Command> commands;
    // Posts a command to the frame, as a menu choice or another program
    // would; delivered by the next pump.
    void PostCommand(int id);
    // Delivers posted messages until none is left (or the frame is gone).
    void Pump();
    // The user's next moves, run one at a time by RunMessageLoop whenever
    // no posted message waits: lets a whole session run inside AfxWinMain.
    std::deque<std::function<void()>> userActions;

    // Timers: the armed ones (id -> interval) and every call.
    struct TimerCall {
        bool set;  // false: KillTimer
        unsigned id;
        std::uint32_t milliseconds;  // 0 for KillTimer
        bool operator==(const TimerCall&) const = default;
    };
    std::map<unsigned, std::uint32_t> timers;
    std::vector<TimerCall> timerCalls;
    // One tick of timer id: OnTimer only when that timer is armed.
    bool TickTimer(unsigned id);

    // The notification-area icon: what is shown now, and every call.
    struct TrayCall {
        bool add;  // false: delete
        TrayIconData data;
    };
    std::optional<TrayIconData> trayIcon;
    std::vector<TrayCall> trayCalls;
    long lastTrayResult = 0;  // what OnTrayIcon returned last
    // A mouse message on the icon (TrayMouse::LeftDown, TrayMouse::RightUp, ...),
    // delivered only while the icon is shown.
    bool ClickTray(TrayMouse mouse);
    bool LeftClickTray();    // down, up
    bool DoubleClickTray();  // down, up, double click, up: the real sequence
    bool RightClickTray();   // down, up: the menu opens on the release
    // The shell that owns the notification area restarts: every icon is
    // gone, then the frame gets OnTaskbarCreated.
    void RestartTaskbar();
    // The monitors become `now` and the frame hears of it, as many times as
    // `events` (a real change often comes as a burst).
    void ChangeMonitors(std::vector<MonitorRect> now, int events = 1);

    // Popup menus. failMenuLoad makes the menu resource fail to load.
    // menuChoices: what the user picks each time a menu opens, by command
    // id; 0 or an empty queue dismisses it, a greyed item cannot be picked
    // (the menu is dismissed), an id not in the menu throws.
    bool failMenuLoad = false;
    std::deque<int> menuChoices;
    struct MenuItemSeen {
        std::string text;
        int id;
        bool separator;
        bool enabled;
        bool isDefault;
        bool operator==(const MenuItemSeen&) const = default;
    };
    struct MenuShown {
        unsigned menuId;
        std::vector<MenuItemSeen> items;
        int chosen;  // the command posted; 0 when dismissed
    };
    std::vector<MenuShown> menus;

    // Modal dialogs. A script acts as the user of one showing of a
    // template; with none left the dialog is closed at once by its close
    // box. A script that returns with its dialog still open leaves by the
    // close box too.
    using DialogScript = std::function<void(HeadlessDialog&)>;
    std::map<unsigned, std::deque<DialogScript>> dialogScripts;
    void ScriptDialog(unsigned templateId, DialogScript script) {
        dialogScripts[templateId].push_back(std::move(script));
    }
    struct DialogShown {
        unsigned templateId = 0;
        bool ownedByFrame = false;  // owner: the frame ...
        unsigned ownerDialog = 0;   // ... or the dialog beneath (its template)
        bool scripted = false;
        bool abandoned = false;  // Cancel did not end it; the loop gave up
        std::vector<HeadlessControl> atOpen;   // after OnInitDialog
        std::vector<HeadlessControl> atClose;
        int focusedAtClose = 0;
        bool selectedAtClose = false;
        int result = 0;
        // The control as the user saw it at opening / at closing.
        const HeadlessControl& Opened(int id) const;
        const HeadlessControl& Closed(int id) const;
    };
    std::vector<DialogShown> dialogs;  // in order of opening
    // Open dialogs brought to the top of the windows, and given the input,
    // by their templates, in order.
    std::vector<unsigned> raised;
    std::vector<unsigned> activated;
    // The topmost open dialog, or null (for duringBox and the like).
    HeadlessDialog* OpenDialog();

    // The folder browser: scripted answers (cancelled when none is left)
    // and the titles it was opened with.
    struct BrowseAnswer {
        enum Kind { Path, Cancelled, NotAPath } kind = Cancelled;
        std::string path;
        static BrowseAnswer Chosen(std::string p) { return {Path, std::move(p)}; }
        static BrowseAnswer Cancel() { return {Cancelled, {}}; }
        static BrowseAnswer NoPath() { return {NotAPath, {}}; }
    };
    std::deque<BrowseAnswer> browseAnswers;
    struct BrowseShown {
        std::string title;
        unsigned ownerDialog;
    };
    std::vector<BrowseShown> browses;

    // Messages dialogs sent to their owner, with the results.
    struct OwnerMessage {
        unsigned fromDialog;
        unsigned message;
        long result;
        bool operator==(const OwnerMessage&) const = default;
    };
    std::vector<OwnerMessage> ownerMessages;

    // The resources menus, dialogs and strings come from: the embedded
    // script unless a test gives another.
    const rc::Script* resources = nullptr;
    const rc::Script& Resources() const;

    void SetRegistryKey(const char* company, const char* appName) override;
    std::string LoadString(unsigned id) override;
    bool FindTopLevelWindow(const char* title) override;
    bool ClaimSingleInstance(const char* name) override;
    bool SendCommandToRunningCopy(const char* name, int id) override;
    bool CreateFrameWindow(const std::string& title, FrameEvents& events) override;
    void HideFrameWindow() override;
    void CloseFrameWindow() override;
    int RunMessageLoop() override;
    void SetTimer(unsigned id, std::uint32_t milliseconds) override;
    void KillTimer(unsigned id) override;
    void AddTrayIcon(const TrayIconData& data) override;
    void DeleteTrayIcon(const TrayIconData& data) override;
    bool TrackPopupMenu(unsigned menuId) override;
    int RunModalDialog(unsigned templateId, DialogEvents& events) override;

    // The desktop value as a string, or "" when missing or not a string.
    std::string DesktopString(const std::string& name) const;

private:
    friend class HeadlessDialog;
    enum class FrameState { None, Creating, Alive, Destroying, Gone };

    int ShowBox(Box box);
    long DeliverToOwner(HeadlessDialog& dialog, unsigned message);
    bool Browse(HeadlessDialog& dialog, const char* title, std::string& path);

    FrameState frameState_ = FrameState::None;
    FrameEvents* frame_ = nullptr;
    std::deque<int> posted_;
};

// Installs a HeadlessPlatform as the current platform for one scope.
class ScopedHeadless {
public:
    ScopedHeadless() { SetCurrentPlatform(&platform.parts); }
    ~ScopedHeadless() { SetCurrentPlatform(nullptr); }
    ScopedHeadless(const ScopedHeadless&) = delete;
    ScopedHeadless& operator=(const ScopedHeadless&) = delete;
    HeadlessPlatform platform;
};

}  // namespace qm
