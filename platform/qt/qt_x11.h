// The few X11 questions the Qt backend asks itself, over Qt's own
// connection to the display. Without an X11 display (Wayland) they answer
// "none".
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include <QString>

namespace qm::x11 {

// Gives a window of ours the instance name of its WM_CLASS.
void SetWindowInstanceName(std::uint32_t window, const QByteArray& instance);

// Names the launch a window answers (_NET_STARTUP_ID), so that the window
// manager lets it take the focus as the launcher's request.
void SetStartupId(std::uint32_t window, const QByteArray& id);

// True when a top-level window (a child of the root window, or the client
// window inside a window manager's frame), mapped or not, has exactly this
// title and this instance name in its WM_CLASS.
bool HasWindow(const QString& title, const QByteArray& instance);

// The window owning the XEmbed system-tray selection of the default
// screen (_NET_SYSTEM_TRAY_S<n>); 0 when there is no such tray.
std::uint32_t SystemTrayOwner();

// Told of every change of that selection's owner (XFixes), as Qt's event
// loop reads it: the new owner, 0 when the tray is gone. Ends when
// destroyed.
class TrayOwnerWatch {
public:
    virtual ~TrayOwnerWatch() = default;
};
// Null without an X11 display or the XFixes extension.
std::unique_ptr<TrayOwnerWatch> WatchSystemTrayOwner(std::function<void(std::uint32_t)> changed);

}  // namespace qm::x11
