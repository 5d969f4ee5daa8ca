// Start at login on Windows: the value "Quillmere" under the user's
// Software\Microsoft\Windows\CurrentVersion\Run, holding the program's full
// path in quotes (the installer writes the same).
#include "platform/win32/win32_platform.h"
#include "platform/win32/windows_api.h"

#include <string>
#include <vector>

namespace qm {

namespace {

constexpr const char* kRunKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr const char* kRunValue = "Quillmere";

std::string ProgramPath() {
    std::vector<char> buffer(MAX_PATH);
    for (;;) {
        DWORD n = GetModuleFileNameA(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n == 0) return {};
        if (n < buffer.size()) return std::string(buffer.data(), n);
        buffer.resize(buffer.size() * 2);
    }
}

// The program a Run command starts: its first word, quoted or not.
std::string ProgramOf(const std::string& command) {
    std::size_t start = command.find_first_not_of(' ');
    if (start == std::string::npos) return {};
    if (command[start] == '"') {
        std::size_t end = command.find('"', start + 1);
        return command.substr(start + 1, end == std::string::npos ? end : end - start - 1);
    }
    return command.substr(start, command.find(' ', start) - start);
}

}  // namespace

LoginStart Win32System::GetLoginStart() {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kRunKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) {
        return LoginStart::None;
    }
    DWORD type = 0, size = 0;
    std::string command;
    LONG status = RegQueryValueExA(key, kRunValue, nullptr, &type, nullptr, &size);
    if (status == ERROR_SUCCESS && (type == REG_SZ || type == REG_EXPAND_SZ) && size > 0) {
        std::vector<char> data(size + 1, '\0');
        status = RegQueryValueExA(key, kRunValue, nullptr, &type,
                                  reinterpret_cast<BYTE*>(data.data()), &size);
        if (status == ERROR_SUCCESS) command = data.data();
    }
    RegCloseKey(key);
    if (status != ERROR_SUCCESS) return LoginStart::None;
    if (type == REG_EXPAND_SZ) {
        std::vector<char> expanded(32768);
        if (ExpandEnvironmentStringsA(command.c_str(), expanded.data(),
                                      static_cast<DWORD>(expanded.size())) != 0) {
            command = expanded.data();
        }
    }
    // Paths compare without regard to case, as the file system does.
    return lstrcmpiA(ProgramOf(command).c_str(), ProgramPath().c_str()) == 0
               ? LoginStart::ThisProgram
               : LoginStart::OtherCopy;
}

bool Win32System::SetLoginStart(bool start) {
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, kRunKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                        &key, nullptr) != ERROR_SUCCESS) {
        return false;
    }
    LONG status;
    if (start) {
        const std::string program = ProgramPath();
        const std::string command = "\"" + program + "\"";
        status = program.empty()
                     ? ERROR_INVALID_DATA
                     : RegSetValueExA(key, kRunValue, 0, REG_SZ,
                                      reinterpret_cast<const BYTE*>(command.c_str()),
                                      static_cast<DWORD>(command.size() + 1));
    } else {
        status = RegDeleteValueA(key, kRunValue);
        if (status == ERROR_FILE_NOT_FOUND) status = ERROR_SUCCESS;
    }
    RegCloseKey(key);
    return status == ERROR_SUCCESS;
}

}  // namespace qm
