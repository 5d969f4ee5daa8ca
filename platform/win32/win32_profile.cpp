// The profile: the registry under HKEY_CURRENT_USER, where SetRegistryKey
// says.
#include "platform/win32/win32_platform.h"

#include <vector>

#include "platform/win32/windows_api.h"

namespace qm {

namespace {

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

}  // namespace

std::string Win32Profile::SectionPath(const char* section) const {
    return "Software\\" + company_ + '\\' + appName_ + '\\' + section;
}

std::string Win32Profile::GetProfileString(const char* section, const char* entry,
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

int Win32Profile::GetProfileInt(const char* section, const char* entry, int defaultValue) {
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

void Win32Profile::WriteProfileInt(const char* section, const char* entry, int value) {
    KeyHolder key;
    if (!CreateSection(SectionPath(section), key)) {
        return;
    }
    DWORD data = static_cast<DWORD>(value);
    RegSetValueExA(key.get(), entry, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&data),
                   sizeof(data));
}

void Win32Profile::WriteProfileString(const char* section, const char* entry,
                                       const std::string& value) {
    KeyHolder key;
    if (!CreateSection(SectionPath(section), key)) {
        return;
    }
    RegSetValueExA(key.get(), entry, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                   static_cast<DWORD>(value.size() + 1));
}

void Win32Profile::SetRegistryKey(const char* company, const char* appName) {
    company_ = company != nullptr ? company : "";
    appName_ = appName != nullptr ? appName : "";
}

}  // namespace qm
