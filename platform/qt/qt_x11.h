// The few X11 questions the Qt backend asks itself, over Qt's own
// connection to the display. Without an X11 display (Wayland) they answer
// "none".
#pragma once

#include <cstdint>

#include <QString>

namespace qm::x11 {

// True when a top-level window (a child of the root window, or the client
// window inside a window manager's frame), mapped or not, has this title
// in any letter case.
bool HasWindowTitled(const QString& title);

// The window owning the XEmbed system-tray selection of the default
// screen (_NET_SYSTEM_TRAY_S<n>); 0 when there is no such tray.
std::uint32_t SystemTrayOwner();

}  // namespace qm::x11
