// The shell: message boxes, string resources, the hidden frame window with
// its timer, notification-area icon and popup menu, and modal dialogs. The
// types are the program's own; each backend maps them to its toolkit.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qm {

// What a message box shows besides its text.
enum class BoxIcon { None, Error, Exclamation };

// Dialog and message-box results (also the ids of the OK and Cancel buttons
// in the dialog templates).
inline constexpr int kIdOk = 1;
inline constexpr int kIdCancel = 2;

// What the mouse did on the tray icon.
enum class TrayMouse {
    Move,
    LeftDown,
    LeftUp,
    LeftDoubleClick,
    RightDown,
    RightUp,
    RightDoubleClick,
    MiddleDown,
    MiddleUp,
};

// The frame's private message, sent by the settings dialog.
inline constexpr unsigned WM_UPDATE_IMAGE_LIST = 0x0400 + 1;

// The notification-area icon's record, filled once and reused for removal.
struct TrayIconData {
    unsigned uID = 0;           // also the icon and menu resource id
    unsigned iconResource = 0;  // shown at the tray's small-icon size
    char szTip[64] = {};        // at most 63 characters and the terminator
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
    // The tray icon's callback: the icon's id and what the mouse did.
    virtual long OnTrayIcon(unsigned id, TrayMouse mouse) = 0;
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
    // A monitor was added, removed, resized or rescaled. One change of
    // arrangement often comes as several of these.
    virtual void OnDisplayChange() = 0;
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
    // A drop-down list (CBS_DROPDOWNLIST): replaces its items; the index
    // of the selected item, -1 for none; selects one (-1 clears).
    virtual void SetComboItems(int id, const std::vector<std::string>& items) = 0;
    virtual int GetComboSelection(int id) = 0;
    virtual void SetComboSelection(int id, int index) = 0;
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
    // To the top of the windows, without the input.
    virtual void Raise() = 0;
    // To the foreground, with the input.
    virtual void Activate() = 0;
};

// The modal dialogs open now, innermost last, and what follows from them:
// which window owns a new dialog or box, and what comes forward when an
// open dialog is asked for. Kept once, here, for every shell; a backend
// records each dialog it runs for as long as it is open.
class DialogStack {
public:
    void Push(unsigned templateId, DialogWindow& window);
    void Pop(DialogWindow& window);
    // What a new dialog or box belongs to: the innermost open dialog (About
    // opened from Settings sits above it); null when none is open, and the
    // frame owns it.
    DialogWindow* Innermost() const;
    // Brings the open dialog of this template forward with every dialog
    // above it, and activates the innermost one: each dialog is owned by the
    // one beneath, and an owner that a dialog above disables would, made
    // active, leave the user a window that ignores every click. False, and
    // nothing done, when no dialog of that template is open.
    bool BringToFront(unsigned templateId);

private:
    struct Open {
        unsigned templateId;
        DialogWindow* window;
    };
    std::vector<Open> open_;
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

class ShellServices {
public:
    virtual ~ShellServices() = default;

    // The application's message box, captioned with the program's name.
    virtual int AppMessageBox(const std::string& text, BoxIcon icon) = 0;
    // A box with its own caption; ownerIsActiveWindow picks the thread's
    // active window as owner, otherwise the box has none.
    virtual int MessageBox(bool ownerIsActiveWindow, const std::string& text,
                           const std::string& caption, BoxIcon icon) = 0;

    // A string resource; "" when missing.
    virtual std::string LoadString(unsigned id) = 0;
    // True when a running copy's frame window with this title (any letter
    // case) exists, hidden or not, in any process: the backend knows its
    // frame by more than the title (its window class, its instance name),
    // so another program's window of the same title is not one.
    virtual bool FindTopLevelWindow(const char* title) = 0;
    // Claims the name for this process within the user's session, in one
    // step no other copy can come between; false when another process (or
    // an earlier claim of this one) holds it. Held until the process ends.
    virtual bool ClaimSingleInstance(const char* name) = 0;
    // Asks the copy that holds the claim `name` to carry out command id as
    // if chosen from its menu; false where the platform has no way to ask
    // (the second copy then just ends).
    virtual bool SendCommandToRunningCopy(const char* /*name*/, int /*id*/) { return false; }
    // Shows text in the application's box, once, if no notification area
    // exists `milliseconds` from now; nothing where one always exists.
    virtual void WarnIfNoTrayAfter(std::uint32_t /*milliseconds*/, const std::string& /*text*/) {}

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

    // Runs dialog template templateId modally, owned by OpenDialogs()'s
    // innermost dialog, or by the frame when none is open; recorded in
    // OpenDialogs() while open. The value passed to EndDialog.
    virtual int RunModalDialog(unsigned templateId, DialogEvents& events) = 0;
    // Brings the open modal dialog of template templateId to the front and
    // gives it the user's attention; a dialog open above it (owned by it,
    // such as About over Settings) stays on top and keeps the input. False,
    // and nothing done, when no dialog of that template is open.
    bool BringDialogToFront(unsigned templateId) { return dialogs_.BringToFront(templateId); }

protected:
    DialogStack& OpenDialogs() { return dialogs_; }
    const DialogStack& OpenDialogs() const { return dialogs_; }

private:
    DialogStack dialogs_;
};

}  // namespace qm
