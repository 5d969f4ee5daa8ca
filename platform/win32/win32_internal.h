// What the Windows backend's files share, and no one else: the module, the
// frame's class and tray message, and the window and dialog procedures
// that carry the system's messages to the shell.
#pragma once

#include "platform/win32/win32_platform.h"
#include "platform/win32/windows_api.h"

namespace qm::win32 {

// The class of the hidden frame window: what a second copy looks for.
inline constexpr const char* kFrameClass = "QuillmereFrame";

// The tray icon's callback message to the frame.
inline constexpr UINT WM_TRAYICON = WM_USER + 1234;

inline HINSTANCE Module() { return GetModuleHandleA(nullptr); }

}  // namespace qm::win32

namespace qm {

// The window and dialog procedures, with access to the shell's state.
struct Win32Shell::Callbacks {
    // win32_shell.cpp: the frame's messages.
    static LRESULT CALLBACK FrameProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT FrameMessage(Win32Shell& self, FrameEvents& events, HWND hwnd,
                                UINT message, WPARAM wParam, LPARAM lParam);
    // win32_tray.cpp: the popup menu's states from the update handlers.
    static void UpdateMenuItems(FrameEvents& events, HMENU menu);
    // win32_dialogs.cpp: every modal dialog's messages.
    static INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wParam,
                                       LPARAM lParam);
};

}  // namespace qm
