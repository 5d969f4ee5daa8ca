#include "platform/win32/win32_platform.h"

#include <clocale>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <mbctype.h>
#include <mbstring.h>

#include "platform/win32/windows_api.h"

namespace qm {

namespace {

constexpr const char* kDesktopKeyPath = "Control Panel\\desktop";

std::string SectionPath(const char* section) {
    std::string path = "Software\\";
    path += Win32Platform::kCompanyKey;
    path += '\\';
    path += Win32Platform::kAppName;
    path += '\\';
    path += section;
    return path;
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

bool OpenSection(const char* section, KeyHolder& key) {
    return RegOpenKeyExA(HKEY_CURRENT_USER, SectionPath(section).c_str(), 0, KEY_READ,
                         key.out()) == ERROR_SUCCESS;
}

bool CreateSection(const char* section, KeyHolder& key) {
    return RegCreateKeyExA(HKEY_CURRENT_USER, SectionPath(section).c_str(), 0, nullptr,
                           REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr, key.out(),
                           nullptr) == ERROR_SUCCESS;
}

class Win32Search : public DirectorySearch {
public:
    explicit Win32Search(HANDLE handle) : handle_(handle) {}
    ~Win32Search() override { FindClose(handle_); }
    Win32Search(const Win32Search&) = delete;
    Win32Search& operator=(const Win32Search&) = delete;

    bool FindNext(FindEntry& entry) override {
        WIN32_FIND_DATAA data;
        if (!FindNextFileA(handle_, &data)) {
            return false;
        }
        Fill(data, entry);
        return true;
    }

    static void Fill(const WIN32_FIND_DATAA& data, FindEntry& entry) {
        entry.isDirectory = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        entry.name = data.cFileName;
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
    // code page, as the file names from FindFirstFileA do.
    std::setlocale(LC_CTYPE, "");
    _setmbcp(_MB_CP_ANSI);
}

std::string Win32Platform::GetProfileString(const char* section, const char* entry,
                                            const std::string& defaultValue) {
    KeyHolder key;
    if (!OpenSection(section, key)) {
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
    if (!OpenSection(section, key)) {
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
    if (!CreateSection(section, key)) {
        return;
    }
    DWORD data = static_cast<DWORD>(value);
    RegSetValueExA(key.get(), entry, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&data),
                   sizeof(data));
}

void Win32Platform::WriteProfileString(const char* section, const char* entry,
                                       const std::string& value) {
    KeyHolder key;
    if (!CreateSection(section, key)) {
        return;
    }
    RegSetValueExA(key.get(), entry, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                   static_cast<DWORD>(value.size() + 1));
}

std::unique_ptr<DirectorySearch> Win32Platform::FindFirst(const char* pattern, FindEntry& first) {
    // FindFirstFileA's documented limit; longer patterns are refused rather
    // than left to how a given system treats them.
    if (std::strlen(pattern) >= MAX_PATH) {
        return nullptr;
    }
    WIN32_FIND_DATAA data;
    HANDLE handle = FindFirstFileA(pattern, &data);
    if (handle == INVALID_HANDLE_VALUE) {
        return nullptr;
    }
    Win32Search::Fill(data, first);
    return std::make_unique<Win32Search>(handle);
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

std::string Win32Platform::WindowsDirectory() {
    char buf[MAX_PATH];
    UINT n = GetWindowsDirectoryA(buf, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) {
        return {};
    }
    return std::string(buf, n);
}

std::string Win32Platform::CurrentDirectory() {
    char buf[MAX_PATH];
    DWORD n = GetCurrentDirectoryA(MAX_PATH, buf);
    if (n == 0 || n >= MAX_PATH) {
        return {};
    }
    return std::string(buf, n);
}

bool Win32Platform::ReplaceFile(const std::string& source, const std::string& target) {
    return MoveFileExA(source.c_str(), target.c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

int Win32Platform::AppMessageBox(const std::string& text, unsigned type) {
    return MessageBoxA(static_cast<HWND>(mainWindow_), text.c_str(), kAppName, type);
}

int Win32Platform::MessageBox(bool ownerIsActiveWindow, const std::string& text,
                              const std::string& caption, unsigned style) {
    return MessageBoxA(ownerIsActiveWindow ? GetActiveWindow() : nullptr, text.c_str(),
                       caption.c_str(), style);
}

int Win32Platform::MbsCmp(const char* a, const char* b) {
    return _mbscmp(reinterpret_cast<const unsigned char*>(a),
                   reinterpret_cast<const unsigned char*>(b));
}

int Win32Platform::MbsICmp(const char* a, const char* b) {
    return _mbsicmp(reinterpret_cast<const unsigned char*>(a),
                    reinterpret_cast<const unsigned char*>(b));
}

int Win32Platform::Rand() { return std::rand(); }

}  // namespace qm
