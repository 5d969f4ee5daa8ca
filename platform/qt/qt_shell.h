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

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QVariantMap>

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

// Exported on the claimed bus name: what a second start may ask of the
// running copy, and nothing more. Activate brings the running copy forward
// (the frame gets the Settings command), with the launcher's token in the
// platform data as org.freedesktop.Application's Activate takes it
// ("activation-token" on Wayland, "desktop-startup-id" on X11).
class InstancePort : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "com.brandlesoftware.Quillmere.Instance")

public:
    static constexpr const char* kInterface = "com.brandlesoftware.Quillmere.Instance";
    explicit InstancePort(std::function<void(const QVariantMap& platformData)> activate);

public slots:
    Q_SCRIPTABLE void Activate(const QVariantMap& platformData);

private:
    std::function<void(const QVariantMap&)> activate_;
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
    // A reverse-DNS name on the session bus made of the name's words
    // ("Maker Name App" is com.makername.App), which then takes a second
    // start's Activate; without a bus, <name>.lock in $XDG_RUNTIME_DIR.
    bool ClaimSingleInstance(const char* name) override;
    // Over the session bus, to the copy holding that name: only the
    // Settings command crosses, as Activate, with this launch's token.
    bool SendCommandToRunningCopy(const char* name, int id) override;
    // How this copy was launched (XDG_ACTIVATION_TOKEN, DESKTOP_STARTUP_ID,
    // read before Qt takes them), for the running copy's window to take
    // the focus in this launch's name.
    void SetLaunchTokens(const QByteArray& activationToken, const QByteArray& startupId);
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
    // (those the program was started to ignore stay ignored), whatever box
    // or dialog is open; one that comes when there is no frame to close
    // (a second one) ends the process at once.
    void CloseOnSignals();
    // When one of those signals came while the loop was busy (a
    // conversion), closes the frame and ends the process now.
    void EndNowIfAsked();

private:
    enum class FrameState { None, Creating, Alive, Destroying, Gone };

    bool FrameExists() const;
    // Reports monitor changes to the frame for as long as it lives.
    void WatchScreens();
    void Close();
    void RethrowKept();
    // Fills menu with popup 0 of menu resource menuId and the update
    // handlers' states (actions kept when the items are the same); with
    // postChoices a chosen item posts its command. False: no such menu.
    bool BuildMenu(QMenu& menu, unsigned menuId, bool postChoices);
    void PostCommand(int id);
    // Hands the token a second start brought to the dialog about to come
    // forward, so that the window manager gives it the focus.
    void ApplyActivation(QWidget* dialog);
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
    // The frame was closed from inside a running loop: no box, dialog or
    // menu is shown any more.
    bool ending_ = false;
    std::map<unsigned, QTimer*> timers_;  // the frame's children
    std::unique_ptr<TrayArea> tray_;
    std::unique_ptr<QSocketNotifier> signalNotifier_;
    std::unique_ptr<InstancePort> instancePort_;
    QVariantMap pendingActivation_;  // from the last Activate, until used
    QByteArray activationToken_;     // this launch's
    QByteArray startupId_;
    std::set<QString> claimed_;
    std::vector<std::unique_ptr<QLockFile>> locks_;
};

}  // namespace qm
