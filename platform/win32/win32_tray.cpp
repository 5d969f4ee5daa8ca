// The tray icon and its popup menu. The icon is the icon resource's image
// for the small-icon size at the
// frame window's DPI (16 pixels at 100 %, 24 at 150 %, 32 at 200 %), loaded
// again when that DPI changes or the taskbar comes back, and handed to the
// shell in the newest record it takes: version 4 where the shell has it
// (Vista and later), the first version's otherwise.
#include "platform/win32/win32_internal.h"

#include <cstring>

#include <shellapi.h>

namespace qm {

using namespace win32;

namespace {

// Windows 10's per-window DPI calls, looked up at run time: the 32-bit
// program also runs on Windows that has neither.
using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
using GetSystemMetricsForDpiFn = int(WINAPI*)(int, UINT);

template <typename Function>
Function User32Function(const char* name) {
    return reinterpret_cast<Function>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("user32.dll"), name)));
}

}  // namespace

int Win32Shell::TrayIconSize() const {
    static const auto dpiForWindow = User32Function<GetDpiForWindowFn>("GetDpiForWindow");
    static const auto metricsForDpi =
        User32Function<GetSystemMetricsForDpiFn>("GetSystemMetricsForDpi");
    if (dpiForWindow != nullptr && metricsForDpi != nullptr && frame_ != nullptr) {
        const UINT dpi = dpiForWindow(static_cast<HWND>(frame_));
        if (dpi != 0) {
            return metricsForDpi(SM_CXSMICON, dpi);
        }
    }
    // Before Windows 10 a DPI-aware program's metrics follow the system's DPI.
    return GetSystemMetrics(SM_CXSMICON);
}

bool Win32Shell::NotifyTray(unsigned action, const TrayIconData& data) {
    NOTIFYICONDATAA nid;
    std::memset(&nid, 0, sizeof nid);
    nid.hWnd = static_cast<HWND>(frame_);
    nid.uID = data.uID;
    nid.uFlags = action == NIM_DELETE ? 0 : NIF_MESSAGE | NIF_ICON | NIF_TIP;
    nid.uCallbackMessage = WM_TRAYICON;
    nid.hIcon = static_cast<HICON>(trayIcon_);
    lstrcpynA(nid.szTip, data.szTip, 64);
    if (action == NIM_ADD) {
        // Version 4 first: it keeps the tip shown (NIF_SHOWTIP) and sends
        // the mouse message in the low word, which the frame reads either
        // way. A shell that refuses the record or the version gets the
        // first version's record, which every shell takes.
        nid.cbSize = sizeof nid;
        nid.uFlags |= NIF_SHOWTIP;
        if (Shell_NotifyIconA(NIM_ADD, &nid)) {
            nid.uVersion = NOTIFYICON_VERSION_4;
            trayVersion4_ = Shell_NotifyIconA(NIM_SETVERSION, &nid) != FALSE;
            if (trayVersion4_) {
                return true;
            }
            Shell_NotifyIconA(NIM_DELETE, &nid);
        }
        nid.uFlags &= ~static_cast<UINT>(NIF_SHOWTIP);
        nid.cbSize = NOTIFYICONDATAA_V1_SIZE;
        trayVersion4_ = false;
        return Shell_NotifyIconA(NIM_ADD, &nid) != FALSE;
    }
    if (trayVersion4_) {
        nid.cbSize = sizeof nid;
        if (action != NIM_DELETE) nid.uFlags |= NIF_SHOWTIP;
    } else {
        nid.cbSize = NOTIFYICONDATAA_V1_SIZE;
    }
    return Shell_NotifyIconA(action, &nid) != FALSE;
}

bool Win32Shell::LoadTrayIcon(unsigned resource) {
    const int size = TrayIconSize();
    if (trayIcon_ != nullptr && trayIconResource_ == resource && trayIconSize_ == size) {
        return false;
    }
    HANDLE icon = LoadImageA(Module(), MAKEINTRESOURCEA(resource), IMAGE_ICON,
                             size, size, LR_LOADMAP3DCOLORS);
    if (icon == nullptr) {
        return false;  // the one loaded before, if any, stays
    }
    if (trayIcon_ != nullptr) {
        DestroyIcon(static_cast<HICON>(trayIcon_));
    }
    trayIcon_ = icon;
    trayIconResource_ = resource;
    trayIconSize_ = size;
    return true;
}

void Win32Shell::AddTrayIcon(const TrayIconData& data) {
    LoadTrayIcon(data.iconResource);
    trayData_ = data;
    trayShown_ = true;
    NotifyTray(NIM_ADD, data);
}

void Win32Shell::DeleteTrayIcon(const TrayIconData& data) {
    NotifyTray(NIM_DELETE, data);
    trayShown_ = false;
}

void Win32Shell::OnTrayDpiChanged() {
    if (trayShown_ && LoadTrayIcon(trayData_.iconResource)) {
        NotifyTray(NIM_MODIFY, trayData_);
    }
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
