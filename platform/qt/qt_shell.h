// The shell of the Linux program, over Qt widgets: the hidden frame window
// (an unmapped X window titled like the Windows frame), its timers, the
// tray icon (qt_tray.h), the popup menu and the modal dialogs built from the
// resource script, QMessageBox message boxes, and the single-instance
// claim (a name on the session bus, or a lock file without a bus). The
// frame is an unmapped X window found by its title, as on Windows.
//
// Every loop is nested as on Windows: a dialog, menu or message box runs
// its own event loop, in which the frame goes on receiving its timer ticks
// and tray messages. Dialogs and boxes are modal to their owner only, never
// to the whole program, so that the tray icon stays usable beside them.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <memory>
#include <string>
#include <vector>

#include <QObject>
#include <QString>

#include "platform/qt/qt_events.h"
#include "platform/shell.h"

class QLockFile;
class QMenu;
class QSocketNotifier;
class QTimer;
class QWidget;

namespace qm {

class QtDialog;
class TrayArea;

// Exported on the claimed bus name: another copy's request, a command for
// the frame.
class CommandPort : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "local.Quillmere.Frame")

public:
    static constexpr const char* kInterface = "local.Quillmere.Frame";
    explicit CommandPort(std::function<void(int id)> command);

public slots:
    Q_SCRIPTABLE void Command(int id);

private:
    std::function<void(int id)> command_;
};

class QtShell : public ShellServices {
public:
    // A QApplication must exist.
    QtShell();
    ~QtShell() override;
    QtShell(const QtShell&) = delete;
    QtShell& operator=(const QtShell&) = delete;

    int AppMessageBox(const std::string& text, BoxIcon icon) override;
    int MessageBox(bool ownerIsActiveWindow, const std::string& text, const std::string& caption,
                   BoxIcon icon) override;
    std::string LoadString(unsigned id) override;
    // The X display's top-level windows, mapped or not (none on Wayland,
    // where the claim alone keeps a second copy out).
    bool FindTopLevelWindow(const char* title) override;
    // local.<name> on the session bus (letters, digits, '_'), which then
    // takes commands from other copies; without a bus, <name>.lock in
    // $XDG_RUNTIME_DIR.
    bool ClaimSingleInstance(const char* name) override;
    // Over the session bus, to the copy holding local.<name>.
    bool SendCommandToRunningCopy(const char* name, int id) override;
    void WarnIfNoTrayAfter(std::uint32_t milliseconds, const std::string& text) override;
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

    // The system asks the program to end (SIGTERM, the session ending):
    // the frame is closed as its close box would close it.
    void CloseFromOutside();
    // SIGTERM, SIGINT and SIGHUP close the frame so from the event loop
    // (those the program was started to ignore stay ignored).
    void CloseOnSignals();
    // When one of those signals came while the loop was busy (a
    // conversion), closes the frame and ends the process now.
    void EndNowIfAsked();

private:
    enum class FrameState { None, Creating, Alive, Destroying, Gone };

    bool FrameExists() const;
    void Close();
    // Fills menu with popup 0 of menu resource menuId and the update
    // handlers' states (actions kept when the items are the same); with
    // postChoices a chosen item posts its command. False: no such menu.
    bool BuildMenu(QMenu& menu, unsigned menuId, bool postChoices);
    void PostCommand(int id);
    int ShowBox(QWidget* owner, const std::string& text, const std::string& caption,
                BoxIcon icon);
    // Runs a frame event from the event loop: not once the frame is gone,
    // and never letting an exception into Qt.
    template <class F>
    void ToFrame(F&& f);

    ExceptionKeeper keeper_ = LoopEndingKeeper();
    std::unique_ptr<QWidget> frame_;
    FrameEvents* events_ = nullptr;
    FrameState state_ = FrameState::None;
    std::map<unsigned, QTimer*> timers_;  // the frame's children
    std::unique_ptr<TrayArea> tray_;
    std::unique_ptr<QSocketNotifier> signalNotifier_;
    std::unique_ptr<CommandPort> commandPort_;
    std::set<QString> claimed_;
    std::vector<std::unique_ptr<QLockFile>> locks_;
};

}  // namespace qm
