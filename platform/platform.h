// The platform seam: every operation the application logic needs from the
// operating system, in the program's own terms. No Win32 type appears here so
// that a backend for another desktop can be written against the same header.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

namespace qm {

// Message-box styles and answers. The values are those of the Windows
// message box, which the win32 backend passes through unchanged.
inline constexpr unsigned kMbOk = 0x00;
inline constexpr unsigned kMbIconError = 0x10;
inline constexpr int kIdOk = 1;
inline constexpr int kIdCancel = 2;

// Longest path a fixed platform buffer holds, terminator included.
inline constexpr std::size_t kMaxPath = 260;

struct FindEntry {
    bool isDirectory = false;
    std::string name;  // long name, letter case as stored
};

// One open directory search (first/next over a folder and a `*` pattern).
class DirectorySearch {
public:
    virtual ~DirectorySearch() = default;
    // Fills the next entry; false once the enumeration is over.
    virtual bool FindNext(FindEntry& entry) = 0;
};

// The user's desktop key, open for reading and writing.
class DesktopKey {
public:
    virtual ~DesktopKey() = default;
    // Stores a string value (terminator included in the stored data).
    virtual void SetString(const char* name, const std::string& value) = 0;
    // Reads a value's raw data into buf (at most size bytes). Returns false
    // when the value is missing or does not fit. Always leaves buf
    // terminated; zero-length data counts as missing.
    virtual bool Query(const char* name, char* buf, std::size_t size) = 0;
};

class Platform {
public:
    virtual ~Platform() = default;

    // Profile store: the per-user "Config" section of the program.
    virtual std::string GetProfileString(const char* section, const char* entry,
                                         const std::string& defaultValue) = 0;
    virtual int GetProfileInt(const char* section, const char* entry, int defaultValue) = 0;
    virtual void WriteProfileInt(const char* section, const char* entry, int value) = 0;
    virtual void WriteProfileString(const char* section, const char* entry,
                                    const std::string& value) = 0;

    // Directory search. Returns null when the search cannot start; otherwise
    // the first entry is in `first`.
    virtual std::unique_ptr<DirectorySearch> FindFirst(const char* pattern, FindEntry& first) = 0;

    // Desktop values and the wallpaper call. CreateDesktopKey makes the key
    // when it is missing; OpenDesktopKey only opens an existing one. Null
    // when the key cannot be had.
    virtual std::unique_ptr<DesktopKey> CreateDesktopKey() = 0;
    virtual std::unique_ptr<DesktopKey> OpenDesktopKey() = 0;
    virtual void SetDesktopWallpaper(const char* path) = 0;

    // Folders, as the platform reports them (empty on failure).
    virtual std::string WindowsDirectory() = 0;
    virtual std::string CurrentDirectory() = 0;
    virtual char PathSeparator() const = 0;

    // Replaces `target` by the finished file `source` in one step, so that
    // no reader ever sees a half-written target. False leaves target as it
    // was.
    virtual bool ReplaceFile(const std::string& source, const std::string& target) = 0;

    // The application's message box, captioned with the program's name.
    virtual int AppMessageBox(const std::string& text, unsigned type) = 0;
    // A box with its own caption; ownerIsActiveWindow picks the thread's
    // active window as owner, otherwise the box has none.
    virtual int MessageBox(bool ownerIsActiveWindow, const std::string& text,
                           const std::string& caption, unsigned style) = 0;

    // Multibyte-aware comparisons in the process's code page; 0 when equal.
    virtual int MbsCmp(const char* a, const char* b) = 0;
    virtual int MbsICmp(const char* a, const char* b) = 0;

    // Pseudo-random integer from 0 to 32767.
    virtual int Rand() = 0;
};

// The platform the running program uses. The backend installs it at start.
Platform& CurrentPlatform();
void SetCurrentPlatform(Platform* platform);

}  // namespace qm
