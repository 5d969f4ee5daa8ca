// The platform seam: every operation the application logic needs from the
// operating system, in the program's own terms. No Win32 type appears here so
// that a backend for another desktop can be written against the same header.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace qm {

// Message-box styles and answers. The values are those of the Windows
// message box, which the win32 backend passes through unchanged.
inline constexpr unsigned kMbOk = 0x00;
inline constexpr unsigned kMbIconError = 0x10;
inline constexpr unsigned kMbIconExclamation = 0x30;
inline constexpr int kIdOk = 1;
inline constexpr int kIdCancel = 2;

// Mouse messages as the tray icon reports them (Windows' values).
inline constexpr unsigned kWmMouseMove = 0x0200;
inline constexpr unsigned kWmLButtonDown = 0x0201;
inline constexpr unsigned kWmLButtonUp = 0x0202;
inline constexpr unsigned kWmLButtonDblClk = 0x0203;
inline constexpr unsigned kWmRButtonDown = 0x0204;
inline constexpr unsigned kWmRButtonUp = 0x0205;
inline constexpr unsigned kWmRButtonDblClk = 0x0206;
inline constexpr unsigned kWmMButtonDown = 0x0207;
inline constexpr unsigned kWmMButtonUp = 0x0208;

// The frame's private messages.
inline constexpr unsigned kWmUser = 0x0400;
inline constexpr unsigned WM_TRAYICON = kWmUser + 1234;
inline constexpr unsigned WM_UPDATE_IMAGE_LIST = kWmUser + 1;

// Longest path a fixed platform buffer holds, terminator included.
inline constexpr std::size_t kMaxPath = 260;

struct FindEntry {
    bool isDirectory = false;
    std::string name;  // long name, letter case as stored
};

// One open directory search (first/next over a folder and a `*` pattern).
class DirectorySearch {
public:
    virtual ~DirectorySearch() = default;
    // Fills the next entry; false once the enumeration is over.
    virtual bool FindNext(FindEntry& entry) = 0;
};

// The user's desktop key, open for reading and writing.
class DesktopKey {
public:
    virtual ~DesktopKey() = default;
    // Stores a string value (terminator included in the stored data).
    virtual void SetString(const char* name, const std::string& value) = 0;
    // Reads a value's raw data into buf (at most size bytes). Returns false
    // when the value is missing or does not fit. Always leaves buf
    // terminated; zero-length data counts as missing.
    virtual bool Query(const char* name, char* buf, std::size_t size) = 0;
};

// The notification-area icon's record, filled once and reused for removal.
struct TrayIconData {
    static constexpr unsigned kNifMessage = 0x1, kNifIcon = 0x2, kNifTip = 0x4;
    unsigned uID = 0;               // also the icon and menu resource id
    unsigned uFlags = 0;
    unsigned uCallbackMessage = 0;  // arrives as FrameEvents::OnTrayIcon
    unsigned iconResource = 0;      // loaded at 16 x 16 by the backend
    char szTip[64] = {};            // at most 63 characters and the terminator
};

// What the hidden frame window receives from its backend's message loop.
// Every call arrives on the one user-interface thread, possibly from inside
// a nested loop (a modal dialog or a message box).
class FrameEvents {
public:
    virtual ~FrameEvents() = default;
    // During window creation: 0 to go on, -1 to make creation fail.
    virtual int OnCreate() = 0;
    // The window is being destroyed (closed by the exit command).
    virtual void OnDestroy() = 0;
    virtual void OnTimer(unsigned id) = 0;
    // The tray icon's callback: wParam is the icon id, mouseMessage a kWm*.
    virtual long OnTrayIcon(unsigned wParam, unsigned mouseMessage) = 0;
    // WM_UPDATE_IMAGE_LIST, sent by the settings dialog.
    virtual long OnRebuildImageList() = 0;
    // A menu or dialog command that reached the frame; false when nobody
    // along the route (frame, then application) handles it.
    virtual bool OnCommand(int id) = 0;
    // A command-state update before a popup menu opens: sets enabled and
    // returns true when the command has an update handler.
    virtual bool OnUpdateCommand(int id, bool& enabled) = 0;
    // The shell that owns the notification area has (re)started.
    virtual void OnTaskbarCreated() = 0;
};

// One open modal dialog, as its handlers see it. Control ids are those of
// the dialog's template.
class DialogWindow {
public:
    virtual ~DialogWindow() = default;
    virtual std::string GetItemText(int id) = 0;
    virtual void SetItemText(int id, const std::string& text) = 0;
    virtual bool IsChecked(int id) = 0;
    virtual void SetCheck(int id, bool checked) = 0;
    virtual bool IsEnabled(int id) = 0;
    virtual void EnableItem(int id, bool enabled) = 0;
    // Up-down control: range, then position (which also rewrites the buddy
    // edit box's text with the position).
    virtual void SetUpDownRange(int id, int lower, int upper) = 0;
    virtual void SetUpDownPos(int id, int pos) = 0;
    // The radio buttons of the group that starts at firstId, in template
    // order: up to the next control that starts a group.
    virtual std::vector<int> RadioGroup(int firstId) = 0;
    // Gives the control the focus with its whole text selected.
    virtual void FocusAndSelectAll(int id) = 0;
    virtual void EndDialog(int result) = 0;
    // Sends (not posts) a message to the dialog's owner; its result.
    virtual long SendToOwner(unsigned message) = 0;
    // The folder browser, owned by this dialog: true with the chosen
    // file-system folder in path; false when cancelled or not a path.
    virtual bool BrowseForFolder(const char* title, std::string& path) = 0;
};

// What a modal dialog receives.
class DialogEvents {
public:
    virtual ~DialogEvents() = default;
    // True lets the platform give the focus to the first tab stop.
    virtual bool OnInitDialog(DialogWindow& window) = 0;
    // A button was clicked (or OK/Cancel by keyboard or close box).
    virtual void OnCommand(DialogWindow& window, int id) = 0;
};

class Platform {
public:
    virtual ~Platform() = default;

    // Profile store: the per-user "Config" section of the program.
    virtual std::string GetProfileString(const char* section, const char* entry,
                                         const std::string& defaultValue) = 0;
    virtual int GetProfileInt(const char* section, const char* entry, int defaultValue) = 0;
    virtual void WriteProfileInt(const char* section, const char* entry, int value) = 0;
    virtual void WriteProfileString(const char* section, const char* entry,
                                    const std::string& value) = 0;

    // Directory search. Returns null when the search cannot start; otherwise
    // the first entry is in `first`.
    virtual std::unique_ptr<DirectorySearch> FindFirst(const char* pattern, FindEntry& first) = 0;

    // Desktop values and the wallpaper call. CreateDesktopKey makes the key
    // when it is missing; OpenDesktopKey only opens an existing one. Null
    // when the key cannot be had.
    virtual std::unique_ptr<DesktopKey> CreateDesktopKey() = 0;
    virtual std::unique_ptr<DesktopKey> OpenDesktopKey() = 0;
    virtual void SetDesktopWallpaper(const char* path) = 0;

    // Folders, as the platform reports them (empty on failure).
    virtual std::string WindowsDirectory() = 0;
    virtual std::string CurrentDirectory() = 0;
    virtual char PathSeparator() const = 0;

    // Replaces `target` by the finished file `source` in one step, so that
    // no reader ever sees a half-written target. False leaves target as it
    // was.
    virtual bool ReplaceFile(const std::string& source, const std::string& target) = 0;

    // The application's message box, captioned with the program's name.
    virtual int AppMessageBox(const std::string& text, unsigned type) = 0;
    // A box with its own caption; ownerIsActiveWindow picks the thread's
    // active window as owner, otherwise the box has none.
    virtual int MessageBox(bool ownerIsActiveWindow, const std::string& text,
                           const std::string& caption, unsigned style) = 0;

    // Multibyte-aware comparisons in the process's code page; 0 when equal.
    virtual int MbsCmp(const char* a, const char* b) = 0;
    virtual int MbsICmp(const char* a, const char* b) = 0;

    // Pseudo-random integer from 0 to 32767.
    virtual int Rand() = 0;

    // --- The shell: windows, icon, menu, timer, dialogs -----------------

    // Names the profile's key: <company>\<app>\<section>.
    virtual void SetRegistryKey(const char* company, const char* appName) = 0;
    // A string resource; "" when missing.
    virtual std::string LoadString(unsigned id) = 0;
    // True when a top-level window has this title (any letter case),
    // hidden or not, in any process.
    virtual bool FindTopLevelWindow(const char* title) = 0;
    // Claims the name for this process within the user's session, in one
    // step no other copy can come between; false when another process (or
    // an earlier claim of this one) holds it. Held until the process ends.
    virtual bool ClaimSingleInstance(const char* name) = 0;

    // Creates the one frame window (hidden until shown), calling
    // events.OnCreate inside; false when creation failed.
    virtual bool CreateFrameWindow(const std::string& title, FrameEvents& events) = 0;
    // Hides the frame (and repaints it, which for a hidden window is nothing).
    virtual void HideFrameWindow() = 0;
    // Closes the frame as its close box would; OnDestroy runs inside, and
    // the message loop ends afterwards.
    virtual void CloseFrameWindow() = 0;
    // Runs the message loop until the frame is destroyed; the exit code.
    virtual int RunMessageLoop() = 0;

    // The frame's timers; the same id replaces a running timer.
    virtual void SetTimer(unsigned id, std::uint32_t milliseconds) = 0;
    virtual void KillTimer(unsigned id) = 0;

    // The notification-area icon: add or delete, results not looked at.
    virtual void AddTrayIcon(const TrayIconData& data) = 0;
    virtual void DeleteTrayIcon(const TrayIconData& data) = 0;

    // Loads popup menu resource menuId, makes the item at position 0 of its
    // first popup the default, brings the frame to the foreground and opens
    // it at the cursor; the items' states come from OnUpdateCommand, and a
    // chosen item arrives later as OnCommand. False when the menu or its
    // popup cannot be loaded.
    virtual bool TrackPopupMenu(unsigned menuId) = 0;

    // Runs dialog template templateId modally, owned by the frame (or by
    // the dialog active above it); the value passed to EndDialog.
    virtual int RunModalDialog(unsigned templateId, DialogEvents& events) = 0;
};

// The platform the running program uses. The backend installs it at start.
Platform& CurrentPlatform();
void SetCurrentPlatform(Platform* platform);

}  // namespace qm
