// The system services the logic needs: the per-user profile, folder search,
// the folders it writes to and starts in, their free space, file
// replacement, the code page's comparisons and the C runtime's random
// numbers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace qm {

// Longest path a fixed Windows buffer holds, terminator included (MAX_PATH).
inline constexpr std::size_t kMaxPath = 260;

struct FindEntry {
    bool isDirectory = false;
    std::string name;  // long name, letter case as stored
    // A link to somewhere else (a symbolic link, a junction or another
    // reparse point): a folder search never goes through one.
    bool isLink = false;
};

// One open directory search (first/next over a folder and a `*` pattern).
class DirectorySearch {
public:
    virtual ~DirectorySearch() = default;
    // Fills the next entry; false once the enumeration is over.
    virtual bool FindNext(FindEntry& entry) = 0;
};

// The per-user profile: sections of named string and number values.
class ProfileStore {
public:
    virtual ~ProfileStore() = default;
    virtual std::string GetProfileString(const char* section, const char* entry,
                                         const std::string& defaultValue) = 0;
    virtual int GetProfileInt(const char* section, const char* entry, int defaultValue) = 0;
    virtual void WriteProfileInt(const char* section, const char* entry, int value) = 0;
    virtual void WriteProfileString(const char* section, const char* entry,
                                    const std::string& value) = 0;
    // Names where the profile lives: <company>\<app>\<section>.
    virtual void SetRegistryKey(const char* company, const char* appName) = 0;
};

// Whether the user's login starts the program, and which copy.
enum class LoginStart {
    None,         // no entry, or one that is switched off
    ThisProgram,  // an entry that starts the running program
    OtherCopy,    // an entry that starts the program from somewhere else
};

class SystemServices {
public:
    virtual ~SystemServices() = default;

    // Directory search. Returns null when the search cannot start; otherwise
    // the first entry is in `first`.
    virtual std::unique_ptr<DirectorySearch> FindFirst(const char* pattern, FindEntry& first) = 0;

    // The folder the wallpaper file is written to (the Windows directory
    // where the user can write it) and the current directory, as the
    // platform reports them (empty on failure).
    virtual std::string WallpaperDirectory() = 0;
    virtual std::string CurrentDirectory() = 0;
    virtual char PathSeparator() const = 0;
    // Longest path the platform takes, terminator included: MAX_PATH on
    // Windows, whose fixed buffers hold no more; elsewhere the system's own.
    virtual std::size_t MaxPath() const { return kMaxPath; }

    // Bytes this user may still write on the volume that holds `folder`;
    // nothing when that cannot be learnt (the write then decides).
    virtual std::optional<std::uint64_t> FreeDiskSpace(const std::string& folder) = 0;

    // Replaces `target` by the finished file `source` in one step, so that
    // no reader ever sees a half-written target. False leaves target as it
    // was.
    virtual bool ReplaceFile(const std::string& source, const std::string& target) = 0;

    // Multibyte-aware comparisons in the process's code page; 0 when equal.
    virtual int MbsCmp(const char* a, const char* b) = 0;
    virtual int MbsICmp(const char* a, const char* b) = 0;
    // Orders two file names as the platform's own file lists do; <0, 0, >0.
    virtual int CompareNames(const char* a, const char* b) = 0;

    // Pseudo-random integer from 0 to 32767.
    virtual int Rand() = 0;

    // The user's entry that starts the program at login, read afresh each
    // time. SetLoginStart(true) makes it start the running program (an
    // entry of another copy is rewritten), false removes it; false when the
    // entry could not be written.
    virtual LoginStart GetLoginStart() = 0;
    virtual bool SetLoginStart(bool start) = 0;
};

}  // namespace qm
