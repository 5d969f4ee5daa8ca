// The shell's core: message boxes, string resources, the running copy, the
// hidden frame window with its procedure, the message loop, timers, and the
// exceptions kept at the window procedures.
#include "platform/win32/win32_internal.h"

#include <vector>

#include <objbase.h>

namespace qm {

using namespace win32;

namespace {

UINT BoxStyle(BoxIcon icon) {
    switch (icon) {
        case BoxIcon::Error: return MB_ICONERROR;
        case BoxIcon::Exclamation: return MB_ICONEXCLAMATION;
        case BoxIcon::None: break;
    }
    return MB_OK;
}

// Takes back a quit message no loop is left to take: a message box shown
// with one pending would close the moment it opened.
void DiscardQuit() {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
    }
}

TrayMouse TrayMouseOf(UINT message) {
    switch (message) {
        case WM_LBUTTONDOWN: return TrayMouse::LeftDown;
        case WM_LBUTTONUP: return TrayMouse::LeftUp;
        case WM_LBUTTONDBLCLK: return TrayMouse::LeftDoubleClick;
        case WM_RBUTTONDOWN: return TrayMouse::RightDown;
        case WM_RBUTTONUP: return TrayMouse::RightUp;
        case WM_RBUTTONDBLCLK: return TrayMouse::RightDoubleClick;
        case WM_MBUTTONDOWN: return TrayMouse::MiddleDown;
        case WM_MBUTTONUP: return TrayMouse::MiddleUp;
        default: return TrayMouse::Move;
    }
}

// How long a second copy waits for the running copy's frame to appear.
constexpr int kRunningCopyWaitMs = 5000;
constexpr int kRunningCopyPollMs = 50;

// Sent by the shell to every top-level window when the taskbar (re)starts.
UINT TaskbarCreatedMessage() {
    static const UINT message = RegisterWindowMessageA("TaskbarCreated");
    return message;
}

}  // namespace

Win32Shell::Win32Shell()
    : keeper_([] { PostQuitMessage(0); },
              // The quit ended the loops it was posted for; a handler that
              // catches the exception again posts its own.
              &DiscardQuit) {
    // The folder browser is a COM client that wants a single-threaded
    // apartment on the thread that opens it: this one, for the whole run.
    // S_FALSE (already so) needs its CoUninitialize too; a thread in
    // another apartment keeps it and gets none.
    comInitialised_ = SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
}

Win32Shell::~Win32Shell() {
    if (frame_ != nullptr) {
        // Whoever handled the frame's events may be gone already.
        frameEvents_ = nullptr;
        DestroyWindow(static_cast<HWND>(frame_));
    }
    if (trayIcon_ != nullptr) {
        DestroyIcon(static_cast<HICON>(trayIcon_));
    }
    // The program's platform lives until WinMain returns: its claims with it.
    for (void* mutex : instanceClaims_) {
        CloseHandle(static_cast<HANDLE>(mutex));
    }
    if (comInitialised_) {
        CoUninitialize();
    }
}

int Win32Shell::AppMessageBox(const std::string& text, BoxIcon icon) {
    return MessageBoxA(static_cast<HWND>(BoxOwner()), text.c_str(), Win32Profile::kAppName, BoxStyle(icon));
}

int Win32Shell::MessageBox(bool ownerIsActiveWindow, const std::string& text,
                              const std::string& caption, BoxIcon icon) {
    return MessageBoxA(ownerIsActiveWindow ? GetActiveWindow() : nullptr, text.c_str(),
                       caption.c_str(), BoxStyle(icon));
}

LRESULT CALLBACK Win32Shell::Callbacks::FrameProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTA*>(lParam);
        auto* self = static_cast<Win32Shell*>(create->lpCreateParams);
        SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
        // OnCreate already arms timers on this window.
        self->frame_ = hwnd;
    }
    auto* self = reinterpret_cast<Win32Shell*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    if (self == nullptr) {
        return DefWindowProcA(hwnd, message, wParam, lParam);
    }
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrA(hwnd, GWLP_USERDATA, 0);
        self->frame_ = nullptr;
        self->frameEvents_ = nullptr;
        self->frameCreated_ = false;
        return DefWindowProcA(hwnd, message, wParam, lParam);
    }
    if (self->frameEvents_ == nullptr) {
        return DefWindowProcA(hwnd, message, wParam, lParam);
    }
    try {
        return FrameMessage(*self, *self->frameEvents_, hwnd, message, wParam, lParam);
    } catch (...) {
        self->keeper_.Keep(std::current_exception());
        return message == WM_CREATE ? -1 : 0;
    }
}

LRESULT Win32Shell::Callbacks::FrameMessage(Win32Shell& self, FrameEvents& events, HWND hwnd,
                            UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE:
        if (events.OnCreate() < 0) {
            return -1;
        }
        self.frameCreated_ = true;
        return 0;
    case WM_DESTROY:
        events.OnDestroy();
        // A window whose creation failed never ran the loop's program.
        if (self.frameCreated_) {
            PostQuitMessage(0);
        }
        return 0;
    case WM_TIMER:
        events.OnTimer(static_cast<unsigned>(wParam));
        return 0;
    case WM_TRAYICON:
        return events.OnTrayIcon(static_cast<unsigned>(wParam),
                                 TrayMouseOf(LOWORD(lParam)));
    case WM_UPDATE_IMAGE_LIST:
        return events.OnRebuildImageList();
    case WM_DPICHANGED:
        self.OnTrayDpiChanged();
        events.OnDisplayChange();  // a monitor rescaled
        return 0;
    case WM_DISPLAYCHANGE:
        events.OnDisplayChange();
        return 0;
    case WM_COMMAND:
        // Menu (0) and accelerator (1) commands; the frame has no controls.
        if (lParam == 0 && HIWORD(wParam) <= 1 && events.OnCommand(LOWORD(wParam))) {
            return 0;
        }
        break;
    case WM_INITMENUPOPUP:
        if (HIWORD(lParam) == 0) {
            UpdateMenuItems(events, reinterpret_cast<HMENU>(wParam));
            return 0;
        }
        break;
    default:
        if (message != 0 && message == TaskbarCreatedMessage()) {
            events.OnTaskbarCreated();
            return 0;
        }
        break;
    }
    return DefWindowProcA(hwnd, message, wParam, lParam);
}


void* Win32Shell::BoxOwner() const {
    HWND active = GetActiveWindow();
    return active != nullptr ? active : DialogOwner();
}

std::string Win32Shell::LoadString(unsigned id) {
    // LoadStringA reports only what fit; grow until the text ends short of
    // the buffer's end. A string resource has at most 65535 UTF-16 units.
    std::vector<char> buf(256);
    for (;;) {
        const int n = LoadStringA(Module(), id, buf.data(), static_cast<int>(buf.size()));
        if (n <= 0) {
            return {};
        }
        if (static_cast<std::size_t>(n) < buf.size() - 1 || buf.size() > 3 * 65536) {
            return std::string(buf.data(), static_cast<std::size_t>(n));
        }
        buf.resize(buf.size() * 4);
    }
}

bool Win32Shell::FindTopLevelWindow(const char* title) {
    // Only a running copy's frame, by its class and title: Explorer titles
    // a window on the program's own folder (%LOCALAPPDATA%\Quillmere)
    // exactly so, and that is no running copy.
    return FindWindowA(kFrameClass, title) != nullptr;
}

bool Win32Shell::SendCommandToRunningCopy(const char* /*name*/, int id) {
    // The copy that holds the claim may not have made its frame yet (two
    // started together): this copy has no loop to keep going, and waits a
    // little for it.
    HWND frame = nullptr;
    for (int waited = 0;; waited += kRunningCopyPollMs) {
        frame = FindWindowA(kFrameClass, nullptr);
        if (frame != nullptr || waited >= kRunningCopyWaitMs) {
            break;
        }
        Sleep(kRunningCopyPollMs);
    }
    if (frame == nullptr) {
        return false;
    }
    // The user started this copy, so it may hand the foreground on: the
    // dialog the command opens comes to the front instead of flashing.
    DWORD process = 0;
    GetWindowThreadProcessId(frame, &process);
    AllowSetForegroundWindow(process);
    // As the menu would send it.
    return PostMessageA(frame, WM_COMMAND, MAKEWPARAM(id, 0), 0) != FALSE;
}

bool Win32Shell::ClaimSingleInstance(const char* name) {
    // A named mutex in the session's own namespace: creating it and learning
    // that it existed is one step, so of two copies started together exactly
    // one wins, and other users' sessions keep copies of their own.
    const std::string sessionName = std::string("Local\\") + name;
    HANDLE mutex = CreateMutexA(nullptr, FALSE, sessionName.c_str());
    if (mutex == nullptr) {
        // Held by a copy we may not open (another integrity level); any other
        // failure says nothing about other copies: the window search decides.
        return GetLastError() != ERROR_ACCESS_DENIED;
    }
    if (GetLastError() == ERROR_ALREADY_EXISTS) {
        CloseHandle(mutex);
        return false;
    }
    instanceClaims_.push_back(mutex);
    return true;
}

bool Win32Shell::CreateFrameWindow(const std::string& title, FrameEvents& events) {
    if (frame_ != nullptr) {
        return false;
    }
    static const bool registered = [] {
        WNDCLASSEXA windowClass = {};
        windowClass.cbSize = sizeof windowClass;
        windowClass.lpfnWndProc = &Callbacks::FrameProc;
        windowClass.hInstance = Module();
        windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
        windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
        windowClass.lpszClassName = kFrameClass;
        return RegisterClassExA(&windowClass) != 0 ||
               GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
    }();
    if (!registered) {
        return false;
    }
    frameEvents_ = &events;
    frameCreated_ = false;
    HWND hwnd = CreateWindowExA(0, kFrameClass, title.c_str(), WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                                CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr,
                                Module(), this);
    if (hwnd == nullptr) {
        frame_ = nullptr;
        frameEvents_ = nullptr;
        keeper_.RethrowKept();
        return false;
    }
    keeper_.RethrowKept();
    return true;
}

void Win32Shell::HideFrameWindow() {
    if (frame_ != nullptr) {
        ShowWindow(static_cast<HWND>(frame_), SW_HIDE);
        UpdateWindow(static_cast<HWND>(frame_));
    }
}

void Win32Shell::CloseFrameWindow() {
    if (frame_ != nullptr) {
        SendMessageA(static_cast<HWND>(frame_), WM_CLOSE, 0, 0);
        if (loopEnded_) {
            // Closed after a failure ended the loop: the quit that the
            // window's end posts has no loop to end.
            DiscardQuit();
        }
    }
    keeper_.RethrowKept();
}

int Win32Shell::RunMessageLoop() {
    MSG msg;
    int code = 0;
    for (;;) {
        const BOOL got = GetMessageA(&msg, nullptr, 0, 0);
        if (got == 0) {
            code = static_cast<int>(msg.wParam);
            break;
        }
        if (got == -1) {
            code = -1;
            break;
        }
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    loopEnded_ = true;
    keeper_.RethrowKept();
    return code;
}

void Win32Shell::SetTimer(unsigned id, std::uint32_t milliseconds) {
    ::SetTimer(static_cast<HWND>(frame_), id, milliseconds, nullptr);
}

void Win32Shell::KillTimer(unsigned id) { ::KillTimer(static_cast<HWND>(frame_), id); }

}  // namespace qm
