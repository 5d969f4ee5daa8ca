// The file system and the C runtime: the folder search, the wallpaper
// file's folder, free space, replacement, and the multibyte comparisons.
#include "platform/win32/win32_platform.h"

#include <clocale>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <mbctype.h>
#include <mbstring.h>

#include "platform/wallpaper_directory.h"
#include "platform/win32/windows_api.h"

#include <shlobj.h>

namespace qm {

namespace {

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

}  // namespace

Win32System::Win32System() {
    // Multibyte comparisons and character classes follow the user's ANSI
    // code page, in which the folder search hands over its names.
    std::setlocale(LC_CTYPE, "");
    _setmbcp(_MB_CP_ANSI);
}

std::unique_ptr<DirectorySearch> Win32System::FindFirst(const char* pattern, FindEntry& first) {
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

std::string Win32System::WallpaperDirectory() {
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

std::string Win32System::CurrentDirectory() {
    char buf[MAX_PATH];
    DWORD n = GetCurrentDirectoryA(MAX_PATH, buf);
    if (n == 0 || n >= MAX_PATH) {
        return {};
    }
    return std::string(buf, n);
}

std::optional<std::uint64_t> Win32System::FreeDiskSpace(const std::string& folder) {
    ULARGE_INTEGER available = {};
    if (!GetDiskFreeSpaceExA(folder.c_str(), &available, nullptr, nullptr)) {
        return std::nullopt;
    }
    return available.QuadPart;
}

bool Win32System::ReplaceFile(const std::string& source, const std::string& target) {
    return MoveFileExA(source.c_str(), target.c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

int Win32System::MbsCmp(const char* a, const char* b) {
    return _mbscmp(reinterpret_cast<const unsigned char*>(a),
                   reinterpret_cast<const unsigned char*>(b));
}

int Win32System::MbsICmp(const char* a, const char* b) {
    return _mbsicmp(reinterpret_cast<const unsigned char*>(a),
                    reinterpret_cast<const unsigned char*>(b));
}

int Win32System::CompareNames(const char* a, const char* b) {
    for (DWORD flags : {DWORD{NORM_IGNORECASE}, DWORD{0}}) {
        const int order = CompareStringA(LOCALE_USER_DEFAULT, flags, a, -1, b, -1);
        if (order != 0 && order != CSTR_EQUAL) {
            return order - CSTR_EQUAL;
        }
    }
    return std::strcmp(a, b);
}

int Win32System::Rand() { return std::rand(); }

}  // namespace qm
