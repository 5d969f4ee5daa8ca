// The desktop: the "Control Panel\\desktop" key and the wallpaper calls, one
// picture for the whole desktop or, where the system can, one per monitor.
#include "platform/win32/win32_platform.h"

#include <cstring>
#include <memory>
#include <utility>

#include "platform/win32/windows_api.h"

#include <objbase.h>
#include <shobjidl.h>

namespace qm {

namespace {

constexpr const char* kDesktopKeyPath = "Control Panel\\desktop";

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

std::unique_ptr<DesktopKey> Win32Desktop::CreateDesktopKey() {
    HKEY key = nullptr;
    if (RegCreateKeyA(HKEY_CURRENT_USER, kDesktopKeyPath, &key) != ERROR_SUCCESS) {
        return nullptr;
    }
    return std::make_unique<Win32DesktopKey>(key);
}

std::unique_ptr<DesktopKey> Win32Desktop::OpenDesktopKey() {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kDesktopKeyPath, 0, KEY_ALL_ACCESS, &key) !=
        ERROR_SUCCESS) {
        return nullptr;
    }
    return std::make_unique<Win32DesktopKey>(key);
}

namespace {
BOOL CALLBACK AddMonitor(HMONITOR, HDC, LPRECT rect, LPARAM out) {
    reinterpret_cast<std::vector<MonitorRect>*>(out)->push_back(
        {rect->left, rect->top, rect->right - rect->left, rect->bottom - rect->top});
    return TRUE;
}
}  // namespace

std::vector<MonitorRect> Win32Desktop::Monitors() {
    // The manifest declares the program DPI-aware: these are physical pixels.
    std::vector<MonitorRect> monitors;
    EnumDisplayMonitors(nullptr, nullptr, &AddMonitor, reinterpret_cast<LPARAM>(&monitors));
    return monitors;
}

void Win32Desktop::SetDesktopWallpaper(const char* path) {
    // The API takes a non-const pointer but does not write through it.
    SystemParametersInfoA(SPI_SETDESKWALLPAPER, 0, const_cast<char*>(path), SPIF_UPDATEINIFILE);
}

std::uint32_t Win32Desktop::BackgroundColour() {
    const COLORREF c = GetSysColor(COLOR_DESKTOP);  // 0x00BBGGRR
    return std::uint32_t{GetRValue(c)} << 16 | std::uint32_t{GetGValue(c)} << 8 | GetBValue(c);
}

namespace {

// The per-monitor desktop object's class (Windows 8 on), spelled here so
// that nothing newer than Windows 7 is taken from the import libraries.
constexpr CLSID kDesktopWallpaperClass = {
    0xc2cf3110, 0x460e, 0x4fc1, {0xb9, 0xd0, 0x8a, 0x1c, 0x0c, 0x9c, 0xc4, 0xbd}};

struct ComRelease {
    void operator()(IUnknown* object) const { object->Release(); }
};
struct TaskMemFree {
    void operator()(wchar_t* text) const { CoTaskMemFree(text); }
};
using DesktopWallpaperRef = std::unique_ptr<IDesktopWallpaper, ComRelease>;
using MonitorId = std::unique_ptr<wchar_t, TaskMemFree>;

// COM for one call. The shell's thread is an apartment already, which this
// only counts once more; any other thread gets one for the call's length.
class ComForCall {
public:
    ComForCall() : result_(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
    ~ComForCall() {
        if (SUCCEEDED(result_)) {
            CoUninitialize();
        }
    }
    ComForCall(const ComForCall&) = delete;
    ComForCall& operator=(const ComForCall&) = delete;

private:
    HRESULT result_;  // RPC_E_CHANGED_MODE: the thread's multithreaded one, not ours
};

// None where the system lacks the class: Windows 7, and Wine.
DesktopWallpaperRef CreateDesktopWallpaper() {
    IDesktopWallpaper* object = nullptr;
    if (FAILED(CoCreateInstance(kDesktopWallpaperClass, nullptr, CLSCTX_ALL,
                                __uuidof(IDesktopWallpaper), reinterpret_cast<void**>(&object)))) {
        return nullptr;
    }
    return DesktopWallpaperRef(object);
}

// The position the frame's style step wrote into the desktop key.
DESKTOP_WALLPAPER_POSITION PositionFromKey(DesktopKey* key) {
    char value[8];
    if (key == nullptr) {
        return DWPOS_CENTER;
    }
    if (key->Query("TileWallpaper", value, sizeof value) && std::strcmp(value, "1") == 0) {
        return DWPOS_TILE;
    }
    if (!key->Query("WallpaperStyle", value, sizeof value)) {
        return DWPOS_CENTER;
    }
    if (std::strcmp(value, "2") == 0) {
        return DWPOS_STRETCH;
    }
    if (std::strcmp(value, "10") == 0) {
        return DWPOS_FILL;
    }
    return std::strcmp(value, "6") == 0 ? DWPOS_FIT : DWPOS_CENTER;
}

// The object takes UTF-16; our paths are in the ANSI code page. Empty when
// the bytes are no text of that code page.
std::wstring WidePath(const std::string& path) {
    const int length =
        MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, path.c_str(), -1, nullptr, 0);
    if (length <= 1) {
        return {};
    }
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, path.c_str(), -1, wide.data(), length);
    wide.resize(static_cast<std::size_t>(length) - 1);
    return wide;
}

}  // namespace

EachMonitorWay Win32Desktop::HowEachMonitor() {
    const ComForCall com;
    return CreateDesktopWallpaper() ? EachMonitorWay::Each : EachMonitorWay::Composed;
}

bool Win32Desktop::SetMonitorWallpapers(const std::vector<MonitorPicture>& pictures) {
    const ComForCall com;
    const DesktopWallpaperRef desktop = CreateDesktopWallpaper();
    UINT count = 0;
    if (!desktop || FAILED(desktop->GetMonitorDevicePathCount(&count))) {
        return false;
    }
    // Each attached monitor a picture was laid out for, with its path.
    std::vector<std::pair<MonitorId, std::wstring>> handOver;
    for (UINT i = 0; i < count; ++i) {
        wchar_t* rawId = nullptr;
        if (FAILED(desktop->GetMonitorDevicePathAt(i, &rawId)) || rawId == nullptr) {
            continue;
        }
        MonitorId id(rawId);
        // A monitor the desktop no longer shows has no rectangle.
        RECT rect = {};
        if (FAILED(desktop->GetMonitorRECT(id.get(), &rect)) || IsRectEmpty(&rect)) {
            continue;
        }
        const MonitorRect monitor{rect.left, rect.top, rect.right - rect.left,
                                  rect.bottom - rect.top};
        for (const MonitorPicture& picture : pictures) {
            if (picture.monitor == monitor) {
                std::wstring path = WidePath(picture.path);
                if (!path.empty()) {
                    handOver.emplace_back(std::move(id), std::move(path));
                }
                break;
            }
        }
    }
    if (handOver.empty()) {
        return false;
    }
    // One position serves every monitor.
    desktop->SetPosition(PositionFromKey(OpenDesktopKey().get()));
    bool handed = false;
    for (const auto& [id, path] : handOver) {
        handed = SUCCEEDED(desktop->SetWallpaper(id.get(), path.c_str())) || handed;
    }
    return handed;
}

void Win32Desktop::SetComposedWallpaper(const char* path) {
    if (auto key = CreateDesktopKey()) {
        key->SetString("TileWallpaper", "1");
        key->SetString("WallpaperStyle", "0");
    }
    SetDesktopWallpaper(path);
}

}  // namespace qm
