// Registry access for the tests, below the Win32 layer. Writes values
// exactly as given: the A and
// W setters add a terminator to strings, but other writers need not, and
// readers must cope with what they leave behind.
#pragma once

#include <string>

#include "platform/win32/windows_api.h"
#include <winternl.h>

namespace qm::test {

// Stores bytes as they are. ASCII names only.
inline bool SetRawValue(HKEY key, const char* name, DWORD type, const void* data, DWORD size) {
    using SetValueFn = NTSTATUS(NTAPI*)(HANDLE, PUNICODE_STRING, ULONG, ULONG, PVOID, ULONG);
    auto setValue = reinterpret_cast<SetValueFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtSetValueKey")));
    if (setValue == nullptr) {
        return false;
    }
    std::wstring wide(name, name + std::char_traits<char>::length(name));
    UNICODE_STRING uname;
    uname.Buffer = wide.data();
    uname.Length = static_cast<USHORT>(wide.size() * sizeof(wchar_t));
    uname.MaximumLength = uname.Length;
    return setValue(key, &uname, 0, type, const_cast<void*>(data), size) == 0;
}

// Stores an ASCII string as the UTF-16 the registry keeps, with no
// terminator unless `text` holds one.
inline bool SetRawString(HKEY key, const char* name, DWORD type, const std::string& text) {
    std::wstring wide(text.begin(), text.end());
    return SetRawValue(key, name, type, wide.data(),
                       static_cast<DWORD>(wide.size() * sizeof(wchar_t)));
}

// True when the key exists under HKEY_CURRENT_USER.
inline bool KeyExists(const std::string& path) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return false;
    }
    RegCloseKey(key);
    return true;
}

}  // namespace qm::test
