// The tray icon and its popup menu.
#include "platform/win32/win32_internal.h"

#include <cstring>

#include <shellapi.h>

namespace qm {

using namespace win32;

namespace {

// The shell's first-version record: what every Windows version accepts.
NOTIFYICONDATAA TrayRecord(HWND frame, const TrayIconData& data, HICON icon) {
    NOTIFYICONDATAA nid;
    std::memset(&nid, 0, sizeof nid);
    nid.cbSize = NOTIFYICONDATAA_V1_SIZE;
    nid.hWnd = frame;
    nid.uID = data.uID;
    nid.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    nid.uCallbackMessage = WM_TRAYICON;
    nid.hIcon = icon;
    lstrcpynA(nid.szTip, data.szTip, 64);
    return nid;
}

}  // namespace

void Win32Shell::AddTrayIcon(const TrayIconData& data) {
    if (trayIcon_ == nullptr || trayIconResource_ != data.iconResource) {
        if (trayIcon_ != nullptr) {
            DestroyIcon(static_cast<HICON>(trayIcon_));
        }
        trayIcon_ = LoadImageA(Module(), MAKEINTRESOURCEA(data.iconResource), IMAGE_ICON, 16, 16,
                               LR_LOADMAP3DCOLORS);
        trayIconResource_ = data.iconResource;
    }
    NOTIFYICONDATAA nid =
        TrayRecord(static_cast<HWND>(frame_), data, static_cast<HICON>(trayIcon_));
    Shell_NotifyIconA(NIM_ADD, &nid);
}

void Win32Shell::DeleteTrayIcon(const TrayIconData& data) {
    NOTIFYICONDATAA nid =
        TrayRecord(static_cast<HWND>(frame_), data, static_cast<HICON>(trayIcon_));
    Shell_NotifyIconA(NIM_DELETE, &nid);
}

bool Win32Shell::TrackPopupMenu(unsigned menuId) {
    HMENU menu = LoadMenuA(Module(), MAKEINTRESOURCEA(menuId));
    if (menu == nullptr) {
        return false;
    }
    HMENU popup = GetSubMenu(menu, 0);
    if (popup == nullptr) {
        DestroyMenu(menu);
        return false;
    }
    SetMenuDefaultItem(popup, 0, TRUE);  // by position
    POINT cursor = {};
    GetCursorPos(&cursor);
    HWND frame = static_cast<HWND>(frame_);
    // Without the foreground the menu would not close on a click elsewhere.
    SetForegroundWindow(frame);
    ::TrackPopupMenu(popup, TPM_LEFTALIGN | TPM_LEFTBUTTON, cursor.x, cursor.y, 0, frame, nullptr);
    // A message for the frame after the menu: without it the foreground
    // switch above can make the next menu open and close at once.
    PostMessageA(frame, WM_NULL, 0, 0);
    DestroyMenu(menu);
    keeper_.RethrowKept();
    return true;
}

void Win32Shell::Callbacks::UpdateMenuItems(FrameEvents& events, HMENU menu) {
    const int count = GetMenuItemCount(menu);
    for (int i = 0; i < count; ++i) {
        const UINT id = GetMenuItemID(menu, i);
        if (id == 0 || id == static_cast<UINT>(-1)) {
            continue;  // separator or submenu
        }
        bool enabled = true;
        if (events.OnUpdateCommand(static_cast<int>(id), enabled)) {
            EnableMenuItem(menu, static_cast<UINT>(i),
                           MF_BYPOSITION | (enabled ? MF_ENABLED : MF_GRAYED));
        }
    }
}


}  // namespace qm
