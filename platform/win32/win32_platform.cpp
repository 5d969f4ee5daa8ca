#include "platform/win32/win32_platform.h"

#include <algorithm>
#include <clocale>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <mbctype.h>
#include <mbstring.h>

#include "platform/wallpaper_directory.h"
#include "platform/win32/windows_api.h"

#include <commctrl.h>
#include <objbase.h>
#include <shellapi.h>
#include <shlobj.h>

namespace qm {

namespace {

constexpr const char* kDesktopKeyPath = "Control Panel\\desktop";

// The tray icon's callback message to the frame.
constexpr UINT WM_TRAYICON = WM_USER + 1234;

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

UINT BoxStyle(BoxIcon icon) {
    switch (icon) {
        case BoxIcon::Error: return MB_ICONERROR;
        case BoxIcon::Exclamation: return MB_ICONEXCLAMATION;
        case BoxIcon::None: break;
    }
    return MB_OK;
}

// Closes a registry key on every way out.
class KeyHolder {
public:
    KeyHolder() = default;
    ~KeyHolder() {
        if (key_ != nullptr) {
            RegCloseKey(key_);
        }
    }
    KeyHolder(const KeyHolder&) = delete;
    KeyHolder& operator=(const KeyHolder&) = delete;
    HKEY* out() { return &key_; }
    HKEY get() const { return key_; }

private:
    HKEY key_ = nullptr;
};

bool OpenSection(const std::string& path, KeyHolder& key) {
    return RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ,
                         key.out()) == ERROR_SUCCESS;
}

bool CreateSection(const std::string& path, KeyHolder& key) {
    return RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr,
                           REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr, key.out(),
                           nullptr) == ERROR_SUCCESS;
}

// An entry's name as the program's ANSI file calls take it. The ANSI search
// would hand over a long name with characters the code page lacks as '?' or
// a look-alike letter (best fit), which names no file at all; such an entry
// goes by its short alias, and is left out when it has none that converts.
bool AnsiName(const wchar_t* wide, std::string& name) {
    if (wide[0] == L'\0') {
        return false;
    }
    // UTF-8 as the ANSI code page converts everything but broken UTF-16,
    // and takes no default character.
    const bool utf8 = GetACP() == CP_UTF8;
    const DWORD flags = utf8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS;
    BOOL usedDefault = FALSE;
    BOOL* usedDefaultOut = utf8 ? nullptr : &usedDefault;
    const int size = WideCharToMultiByte(CP_ACP, flags, wide, -1, nullptr, 0, nullptr,
                                         usedDefaultOut);
    if (size <= 1 || usedDefault) {
        return false;
    }
    std::vector<char> buf(static_cast<std::size_t>(size));
    if (WideCharToMultiByte(CP_ACP, flags, wide, -1, buf.data(), size, nullptr,
                            usedDefaultOut) != size ||
        usedDefault) {
        return false;
    }
    name.assign(buf.data());
    return true;
}

// False when the entry has no name the ANSI calls can open.
bool FillEntry(const WIN32_FIND_DATAW& data, FindEntry& entry) {
    std::string name;
    if (!AnsiName(data.cFileName, name) && !AnsiName(data.cAlternateFileName, name)) {
        return false;
    }
    entry.isDirectory = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    entry.isLink = (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    entry.name = std::move(name);
    return true;
}

class Win32Search : public DirectorySearch {
public:
    explicit Win32Search(HANDLE handle) : handle_(handle) {}
    ~Win32Search() override { FindClose(handle_); }
    Win32Search(const Win32Search&) = delete;
    Win32Search& operator=(const Win32Search&) = delete;

    bool FindNext(FindEntry& entry) override {
        WIN32_FIND_DATAW data;
        do {
            if (!FindNextFileW(handle_, &data)) {
                return false;
            }
        } while (!FillEntry(data, entry));
        return true;
    }

private:
    HANDLE handle_;
};

class Win32DesktopKey : public DesktopKey {
public:
    explicit Win32DesktopKey(HKEY key) : key_(key) {}
    ~Win32DesktopKey() override { RegCloseKey(key_); }
    Win32DesktopKey(const Win32DesktopKey&) = delete;
    Win32DesktopKey& operator=(const Win32DesktopKey&) = delete;

    void SetString(const char* name, const std::string& value) override {
        RegSetValueExA(key_, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                       static_cast<DWORD>(value.size() + 1));
    }

    bool Query(const char* name, char* buf, std::size_t size) override {
        if (size == 0) {
            return false;
        }
        buf[0] = '\0';
        DWORD length = static_cast<DWORD>(size);
        if (RegQueryValueExA(key_, name, nullptr, nullptr, reinterpret_cast<BYTE*>(buf),
                             &length) != ERROR_SUCCESS ||
            (length == size && buf[size - 1] != '\0')) {
            // Too long, or filling the buffer with no room for a terminator.
            buf[0] = '\0';
            return false;
        }
        buf[length < size ? length : size - 1] = '\0';
        return length != 0;
    }

private:
    HKEY key_;
};

}  // namespace

Win32Platform::Win32Platform() {
    // Multibyte comparisons and character classes follow the user's ANSI
    // code page, in which the folder search hands over its names.
    std::setlocale(LC_CTYPE, "");
    _setmbcp(_MB_CP_ANSI);
    // The folder browser is a COM client that wants a single-threaded
    // apartment on the thread that opens it: this one, for the whole run.
    // S_FALSE (already so) needs its CoUninitialize too; a thread in
    // another apartment keeps it and gets none.
    comInitialised_ = SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
}

Win32Platform::~Win32Platform() {
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

std::string Win32Platform::SectionPath(const char* section) const {
    return "Software\\" + company_ + '\\' + appName_ + '\\' + section;
}

std::string Win32Platform::GetProfileString(const char* section, const char* entry,
                                            const std::string& defaultValue) {
    KeyHolder key;
    if (!OpenSection(SectionPath(section), key)) {
        return defaultValue;
    }
    // The value may grow between the size query and the read; retry then.
    for (int attempt = 0; attempt < 4; ++attempt) {
        DWORD type = 0;
        DWORD size = 0;
        if (RegQueryValueExA(key.get(), entry, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) {
            return defaultValue;
        }
        if ((type != REG_SZ && type != REG_EXPAND_SZ) || size == 0) {
            return defaultValue;
        }
        // A spare byte: a foreign writer may have stored no terminator.
        std::vector<char> buf(size + 1, '\0');
        DWORD got = size;
        LONG rc = RegQueryValueExA(key.get(), entry, nullptr, &type,
                                   reinterpret_cast<BYTE*>(buf.data()), &got);
        if (rc == ERROR_MORE_DATA) {
            continue;
        }
        if (rc != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) {
            return defaultValue;
        }
        if (got == 0) {
            return defaultValue;
        }
        buf[got] = '\0';
        // A stored empty string ("" with its terminator) is a real value.
        return std::string(buf.data());
    }
    return defaultValue;
}

int Win32Platform::GetProfileInt(const char* section, const char* entry, int defaultValue) {
    KeyHolder key;
    if (!OpenSection(SectionPath(section), key)) {
        return defaultValue;
    }
    DWORD type = 0;
    DWORD value = 0;
    DWORD size = sizeof(value);
    if (RegQueryValueExA(key.get(), entry, nullptr, &type, reinterpret_cast<BYTE*>(&value),
                         &size) != ERROR_SUCCESS ||
        type != REG_DWORD || size != sizeof(value)) {
        return defaultValue;
    }
    return static_cast<int>(value);
}

void Win32Platform::WriteProfileInt(const char* section, const char* entry, int value) {
    KeyHolder key;
    if (!CreateSection(SectionPath(section), key)) {
        return;
    }
    DWORD data = static_cast<DWORD>(value);
    RegSetValueExA(key.get(), entry, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&data),
                   sizeof(data));
}

void Win32Platform::WriteProfileString(const char* section, const char* entry,
                                       const std::string& value) {
    KeyHolder key;
    if (!CreateSection(SectionPath(section), key)) {
        return;
    }
    RegSetValueExA(key.get(), entry, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                   static_cast<DWORD>(value.size() + 1));
}

std::unique_ptr<DirectorySearch> Win32Platform::FindFirst(const char* pattern, FindEntry& first) {
    // The ANSI search's documented limit, kept for the wide one: longer
    // patterns are refused rather than left to how a given system treats them.
    if (std::strlen(pattern) >= MAX_PATH) {
        return nullptr;
    }
    // Searched by the wide API, which reports each name as stored.
    const int units = MultiByteToWideChar(CP_ACP, 0, pattern, -1, nullptr, 0);
    if (units <= 0) {
        return nullptr;
    }
    std::vector<wchar_t> widePattern(static_cast<std::size_t>(units));
    MultiByteToWideChar(CP_ACP, 0, pattern, -1, widePattern.data(), units);
    WIN32_FIND_DATAW data;
    HANDLE handle = FindFirstFileW(widePattern.data(), &data);
    if (handle == INVALID_HANDLE_VALUE) {
        return nullptr;
    }
    auto search = std::make_unique<Win32Search>(handle);
    if (!FillEntry(data, first) && !search->FindNext(first)) {
        return nullptr;  // nothing it holds can be named
    }
    return search;
}

std::unique_ptr<DesktopKey> Win32Platform::CreateDesktopKey() {
    HKEY key = nullptr;
    if (RegCreateKeyA(HKEY_CURRENT_USER, kDesktopKeyPath, &key) != ERROR_SUCCESS) {
        return nullptr;
    }
    return std::make_unique<Win32DesktopKey>(key);
}

std::unique_ptr<DesktopKey> Win32Platform::OpenDesktopKey() {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kDesktopKeyPath, 0, KEY_ALL_ACCESS, &key) !=
        ERROR_SUCCESS) {
        return nullptr;
    }
    return std::make_unique<Win32DesktopKey>(key);
}

void Win32Platform::SetDesktopWallpaper(const char* path) {
    // The API takes a non-const pointer but does not write through it.
    SystemParametersInfoA(SPI_SETDESKWALLPAPER, 0, const_cast<char*>(path), SPIF_UPDATEINIFILE);
}

std::uint32_t Win32Platform::BackgroundColour() {
    const COLORREF c = GetSysColor(COLOR_DESKTOP);  // 0x00BBGGRR
    return std::uint32_t{GetRValue(c)} << 16 | std::uint32_t{GetGValue(c)} << 8 | GetBValue(c);
}

std::string Win32Platform::WallpaperDirectory() {
    char windows[MAX_PATH];
    UINT n = GetWindowsDirectoryA(windows, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) {
        n = 0;
    }
    // Asked by making a file, the one answer that holds for this user and
    // process. Not with GetTempFileNameA: Wine's reports success in a
    // folder where it could make nothing.
    auto canWrite = [](const std::string& folder) {
        const std::string probe = folder + '\\' + kWriteProbeName;
        HANDLE h = CreateFileA(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
        if (h == INVALID_HANDLE_VALUE) {
            return false;
        }
        CloseHandle(h);
        return true;
    };
    auto makeOwnFolder = []() -> std::string {
        char local[MAX_PATH];
        if (SHGetFolderPathA(nullptr, CSIDL_LOCAL_APPDATA | CSIDL_FLAG_CREATE, nullptr,
                             SHGFP_TYPE_CURRENT, local) != S_OK) {
            return {};
        }
        const std::string folder = std::string(local) + '\\' + kOwnDataFolderName;
        if (!CreateDirectoryA(folder.c_str(), nullptr) &&
            GetLastError() != ERROR_ALREADY_EXISTS) {
            return {};
        }
        return folder;
    };
    return ChooseWallpaperDirectory(std::string(windows, n), canWrite, makeOwnFolder);
}

std::string Win32Platform::CurrentDirectory() {
    char buf[MAX_PATH];
    DWORD n = GetCurrentDirectoryA(MAX_PATH, buf);
    if (n == 0 || n >= MAX_PATH) {
        return {};
    }
    return std::string(buf, n);
}

std::optional<std::uint64_t> Win32Platform::FreeDiskSpace(const std::string& folder) {
    ULARGE_INTEGER available = {};
    if (!GetDiskFreeSpaceExA(folder.c_str(), &available, nullptr, nullptr)) {
        return std::nullopt;
    }
    return available.QuadPart;
}

bool Win32Platform::ReplaceFile(const std::string& source, const std::string& target) {
    return MoveFileExA(source.c_str(), target.c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

int Win32Platform::AppMessageBox(const std::string& text, BoxIcon icon) {
    return MessageBoxA(static_cast<HWND>(OwnerWindow()), text.c_str(), kAppName, BoxStyle(icon));
}

int Win32Platform::MessageBox(bool ownerIsActiveWindow, const std::string& text,
                              const std::string& caption, BoxIcon icon) {
    return MessageBoxA(ownerIsActiveWindow ? GetActiveWindow() : nullptr, text.c_str(),
                       caption.c_str(), BoxStyle(icon));
}

int Win32Platform::MbsCmp(const char* a, const char* b) {
    return _mbscmp(reinterpret_cast<const unsigned char*>(a),
                   reinterpret_cast<const unsigned char*>(b));
}

int Win32Platform::MbsICmp(const char* a, const char* b) {
    return _mbsicmp(reinterpret_cast<const unsigned char*>(a),
                    reinterpret_cast<const unsigned char*>(b));
}

int Win32Platform::CompareNames(const char* a, const char* b) {
    for (DWORD flags : {DWORD{NORM_IGNORECASE}, DWORD{0}}) {
        const int order = CompareStringA(LOCALE_USER_DEFAULT, flags, a, -1, b, -1);
        if (order != 0 && order != CSTR_EQUAL) {
            return order - CSTR_EQUAL;
        }
    }
    return std::strcmp(a, b);
}

int Win32Platform::Rand() { return std::rand(); }

// --- The shell -------------------------------------------------------------

namespace {

constexpr const char* kFrameClass = "QuillmereFrame";

HINSTANCE Module() { return GetModuleHandleA(nullptr); }

// Sent by the shell to every top-level window when the taskbar (re)starts.
UINT TaskbarCreatedMessage() {
    static const UINT message = RegisterWindowMessageA("TaskbarCreated");
    return message;
}

bool IsRadioButton(HWND control) {
    char className[16] = {};
    if (GetClassNameA(control, className, sizeof className) == 0 ||
        lstrcmpiA(className, "Button") != 0) {
        return false;
    }
    const LONG type = GetWindowLongA(control, GWL_STYLE) & BS_TYPEMASK;
    return type == BS_RADIOBUTTON || type == BS_AUTORADIOBUTTON;
}

class Win32DialogWindow : public DialogWindow {
public:
    HWND hwnd = nullptr;

    std::string GetItemText(int id) override {
        HWND item = GetDlgItem(hwnd, id);
        if (item == nullptr) {
            return {};
        }
        const int length = GetWindowTextLengthA(item);
        std::vector<char> buf(static_cast<std::size_t>(std::max(length, 0)) + 1, '\0');
        const UINT got = GetDlgItemTextA(hwnd, id, buf.data(), static_cast<int>(buf.size()));
        return std::string(buf.data(), std::min<std::size_t>(got, buf.size() - 1));
    }
    void SetItemText(int id, const std::string& text) override {
        SetDlgItemTextA(hwnd, id, text.c_str());
    }
    bool IsChecked(int id) override { return IsDlgButtonChecked(hwnd, id) == BST_CHECKED; }
    void SetCheck(int id, bool checked) override {
        CheckDlgButton(hwnd, id, checked ? BST_CHECKED : BST_UNCHECKED);
    }
    bool IsEnabled(int id) override {
        HWND item = GetDlgItem(hwnd, id);
        return item != nullptr && IsWindowEnabled(item);
    }
    void EnableItem(int id, bool enabled) override {
        HWND item = GetDlgItem(hwnd, id);
        if (item != nullptr) {
            EnableWindow(item, enabled ? TRUE : FALSE);
        }
    }
    void SetUpDownRange(int id, int lower, int upper) override {
        SendDlgItemMessageA(hwnd, id, UDM_SETRANGE, 0, MAKELPARAM(upper, lower));
    }
    void SetUpDownPos(int id, int pos) override {
        SendDlgItemMessageA(hwnd, id, UDM_SETPOS, 0, MAKELPARAM(pos, 0));
    }
    std::vector<int> RadioGroup(int firstId) override {
        std::vector<int> ids;
        HWND first = GetDlgItem(hwnd, firstId);
        for (HWND control = first; control != nullptr;
             control = GetWindow(control, GW_HWNDNEXT)) {
            if (control != first && (GetWindowLongA(control, GWL_STYLE) & WS_GROUP) != 0) {
                break;
            }
            if (IsRadioButton(control)) {
                ids.push_back(GetDlgCtrlID(control));
            }
        }
        return ids;
    }
    void FocusAndSelectAll(int id) override {
        HWND item = GetDlgItem(hwnd, id);
        if (item == nullptr) {
            return;
        }
        SendMessageA(hwnd, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(item), TRUE);
        SendMessageA(item, EM_SETSEL, 0, -1);
    }
    void EndDialog(int result) override { ::EndDialog(hwnd, result); }
    long SendToOwner(unsigned message) override {
        return static_cast<long>(SendMessageA(GetParent(hwnd), message, 0, 0));
    }
    bool BrowseForFolder(const char* title, std::string& path) override {
        char displayName[MAX_PATH] = {};
        BROWSEINFOA info = {};
        info.hwndOwner = hwnd;
        info.pidlRoot = nullptr;
        info.pszDisplayName = displayName;
        info.lpszTitle = title;
        info.ulFlags = BIF_RETURNONLYFSDIRS;
        info.lpfn = nullptr;
        info.lParam = 0;
        LPITEMIDLIST items = SHBrowseForFolderA(&info);
        if (items == nullptr) {
            return false;  // cancelled
        }
        char chosen[MAX_PATH] = {};
        const bool isPath = SHGetPathFromIDListA(items, chosen) != FALSE;
        if (isPath) {
            path = chosen;
        }
        IMalloc* shellAllocator = nullptr;
        if (SUCCEEDED(SHGetMalloc(&shellAllocator)) && shellAllocator != nullptr) {
            shellAllocator->Free(items);
            shellAllocator->Release();
        }
        return isPath;
    }
};

struct DialogContext {
    Win32Platform* platform;
    DialogEvents* events;
    Win32DialogWindow window;
    unsigned templateId;
};

}  // namespace

// The window and dialog procedures, with access to the platform's state.
struct Win32Platform::Callbacks {
    static LRESULT CALLBACK FrameProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == WM_NCCREATE) {
            auto* create = reinterpret_cast<CREATESTRUCTA*>(lParam);
            auto* self = static_cast<Win32Platform*>(create->lpCreateParams);
            SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
            // OnCreate already arms timers on this window.
            self->frame_ = hwnd;
        }
        auto* self = reinterpret_cast<Win32Platform*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
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
            self->KeepException(std::current_exception());
            return message == WM_CREATE ? -1 : 0;
        }
    }

    static LRESULT FrameMessage(Win32Platform& self, FrameEvents& events, HWND hwnd,
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
                                     TrayMouseOf(static_cast<UINT>(lParam)));
        case WM_UPDATE_IMAGE_LIST:
            return events.OnRebuildImageList();
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

    static void UpdateMenuItems(FrameEvents& events, HMENU menu) {
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

    static INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wParam,
                                       LPARAM lParam) {
        if (message == WM_INITDIALOG) {
            auto* context = reinterpret_cast<DialogContext*>(lParam);
            SetWindowLongPtrA(dialog, DWLP_USER, lParam);
            context->window.hwnd = dialog;
            context->platform->dialogs_.push_back(dialog);
        }
        auto* context = reinterpret_cast<DialogContext*>(GetWindowLongPtrA(dialog, DWLP_USER));
        if (context == nullptr) {
            return FALSE;
        }
        Win32Platform& self = *context->platform;
        if (message == WM_NCDESTROY) {
            SetWindowLongPtrA(dialog, DWLP_USER, 0);
            auto& open = self.dialogs_;
            open.erase(std::remove(open.begin(), open.end(), dialog), open.end());
            return FALSE;
        }
        try {
            switch (message) {
            case WM_INITDIALOG:
                return context->events->OnInitDialog(context->window) ? TRUE : FALSE;
            case WM_COMMAND:
                // Button clicks (and OK/Cancel from the keyboard or close box)
                // or accelerators; edit-box notifications are not commands.
                if (HIWORD(wParam) == BN_CLICKED || HIWORD(wParam) == 1) {
                    context->events->OnCommand(context->window, LOWORD(wParam));
                    return TRUE;
                }
                return FALSE;
            default:
                return FALSE;
            }
        } catch (...) {
            self.KeepException(std::current_exception());
            ::EndDialog(dialog, -1);
            return TRUE;
        }
    }
};

void* Win32Platform::OwnerWindow() const {
    HWND active = GetActiveWindow();
    if (active != nullptr) {
        return active;
    }
    return dialogs_.empty() ? frame_ : dialogs_.back();
}

void Win32Platform::KeepException(std::exception_ptr e) {
    if (!kept_) {
        kept_ = e;
    }
    // Ends the nested loops (dialogs, menus) and then the main one.
    PostQuitMessage(0);
}

namespace {

// Takes back a quit message no loop is left to take: a message box shown
// with one pending would close the moment it opened.
void DiscardQuit() {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
    }
}

}  // namespace

void Win32Platform::RethrowKept() {
    if (kept_) {
        std::exception_ptr e = kept_;
        kept_ = nullptr;
        // The quit ended the loops it was posted for; a handler that catches
        // the exception again posts its own.
        DiscardQuit();
        std::rethrow_exception(e);
    }
}

void Win32Platform::SetRegistryKey(const char* company, const char* appName) {
    company_ = company != nullptr ? company : "";
    appName_ = appName != nullptr ? appName : "";
}

std::string Win32Platform::LoadString(unsigned id) {
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

bool Win32Platform::FindTopLevelWindow(const char* title) {
    return FindWindowA(nullptr, title) != nullptr;
}

bool Win32Platform::ClaimSingleInstance(const char* name) {
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

bool Win32Platform::CreateFrameWindow(const std::string& title, FrameEvents& events) {
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
        RethrowKept();
        return false;
    }
    RethrowKept();
    return true;
}

void Win32Platform::HideFrameWindow() {
    if (frame_ != nullptr) {
        ShowWindow(static_cast<HWND>(frame_), SW_HIDE);
        UpdateWindow(static_cast<HWND>(frame_));
    }
}

void Win32Platform::CloseFrameWindow() {
    if (frame_ != nullptr) {
        SendMessageA(static_cast<HWND>(frame_), WM_CLOSE, 0, 0);
        if (loopEnded_) {
            // Closed after a failure ended the loop: the quit that the
            // window's end posts has no loop to end.
            DiscardQuit();
        }
    }
    RethrowKept();
}

int Win32Platform::RunMessageLoop() {
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
    RethrowKept();
    return code;
}

void Win32Platform::SetTimer(unsigned id, std::uint32_t milliseconds) {
    ::SetTimer(static_cast<HWND>(frame_), id, milliseconds, nullptr);
}

void Win32Platform::KillTimer(unsigned id) { ::KillTimer(static_cast<HWND>(frame_), id); }

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

void Win32Platform::AddTrayIcon(const TrayIconData& data) {
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

void Win32Platform::DeleteTrayIcon(const TrayIconData& data) {
    NOTIFYICONDATAA nid =
        TrayRecord(static_cast<HWND>(frame_), data, static_cast<HICON>(trayIcon_));
    Shell_NotifyIconA(NIM_DELETE, &nid);
}

bool Win32Platform::TrackPopupMenu(unsigned menuId) {
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
    RethrowKept();
    return true;
}

int Win32Platform::RunModalDialog(unsigned templateId, DialogEvents& events) {
    DialogContext context{this, &events, {}, templateId};
    // A dialog opened from another (About from Settings) sits above it.
    HWND owner = static_cast<HWND>(dialogs_.empty() ? frame_ : dialogs_.back());
    const INT_PTR result =
        DialogBoxParamA(Module(), MAKEINTRESOURCEA(templateId), owner, &Callbacks::DialogProc,
                        reinterpret_cast<LPARAM>(&context));
    RethrowKept();
    return static_cast<int>(result);
}

bool Win32Platform::BringDialogToFront(unsigned templateId) {
    const auto open = std::find_if(dialogs_.begin(), dialogs_.end(), [&](void* dialog) {
        const auto* context = reinterpret_cast<const DialogContext*>(
            GetWindowLongPtrA(static_cast<HWND>(dialog), DWLP_USER));
        return context != nullptr && context->templateId == templateId;
    });
    if (open == dialogs_.end()) {
        return false;
    }
    // Each dialog is owned by the one beneath, so the innermost one, which
    // takes the input, rises with its owners; activating a disabled owner
    // would leave the user a dialog that ignores every click.
    HWND dialog = static_cast<HWND>(*open);
    HWND top = static_cast<HWND>(dialogs_.back());
    BringWindowToTop(dialog);
    BringWindowToTop(top);
    SetForegroundWindow(top);
    return true;
}

}  // namespace qm
