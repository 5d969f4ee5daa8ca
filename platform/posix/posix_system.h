// The system services over POSIX, shared by the headless and Linux
// backends: folder search as the Windows search gives it (`*` and `?`
// without regard to case, "." and ".." listed), the working directory, free
// space by statvfs, file replacement by rename, byte-wise comparisons, the
// C runtime's random sequence, and the wallpaper folder under the user's
// data directory.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/system.h"

namespace qm {

class PosixSystem : public SystemServices {
public:
    std::unique_ptr<DirectorySearch> FindFirst(const char* pattern, FindEntry& first) override;
    // $XDG_DATA_HOME/quillmere (~/.local/share/quillmere when unset),
    // created when missing; "" when it cannot be had.
    std::string WallpaperDirectory() override;
    std::string CurrentDirectory() override;
    char PathSeparator() const override { return '/'; }
    // PATH_MAX (MAX_PATH when built for Windows, to run the tests there).
    std::size_t MaxPath() const override;
    // statvfs: the blocks free to unprivileged users.
    std::optional<std::uint64_t> FreeDiskSpace(const std::string& folder) override;
    bool ReplaceFile(const std::string& source, const std::string& target) override;
    int MbsCmp(const char* a, const char* b) override;
    int MbsICmp(const char* a, const char* b) override;
    // strcoll in the locale the program runs in (its file manager's order),
    // bytes to break ties.
    int CompareNames(const char* a, const char* b) override;
    // The same linear congruential sequence as the Windows C runtime.
    int Rand() override;
    void Seed(std::uint32_t seed) { randState_ = seed; }
    // The freedesktop autostart entry quillmere.desktop: the user's, in
    // $XDG_CONFIG_HOME/autostart, or else one of $XDG_CONFIG_DIRS (which
    // the user's, with Hidden=true, switches off). Its Exec names the
    // program; this one is ProgramPath().
    LoginStart GetLoginStart() override;
    bool SetLoginStart(bool start) override;
    // The running program's absolute path (/proc/self/exe).
    static std::string ProgramPath();

    // `*`/`?` matching without regard to (ASCII) case.
    static bool GlobMatch(const char* pattern, const char* name);
    // The entries of folder matching mask, "." and ".." first; false when
    // the folder cannot be read.
    static bool ListFolder(const std::string& folder, const std::string& mask,
                           std::vector<FindEntry>& entries);
    // A search over entries already collected; null when there are none.
    static std::unique_ptr<DirectorySearch> SearchOver(std::vector<FindEntry> entries,
                                                       FindEntry& first);

private:
    std::uint32_t randState_ = 1;
};

}  // namespace qm
