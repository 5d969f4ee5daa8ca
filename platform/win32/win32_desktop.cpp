// The desktop: the "Control Panel\\desktop" key and the wallpaper call.
#include "platform/win32/win32_platform.h"

#include "platform/win32/windows_api.h"

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

}  // namespace qm
