#include "platform/posix/posix_system.h"

#include <climits>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>

#ifndef _WIN32
#include <sys/statvfs.h>
#endif

namespace qm {

namespace {

int FoldAscii(unsigned char c) { return (c >= 'A' && c <= 'Z') ? c - 'A' + 'a' : c; }

class SnapshotSearch : public DirectorySearch {
public:
    explicit SnapshotSearch(std::vector<FindEntry> entries) : entries_(std::move(entries)) {}
    bool FindNext(FindEntry& entry) override {
        if (next_ >= entries_.size()) {
            return false;
        }
        entry = entries_[next_++];
        return true;
    }

private:
    std::vector<FindEntry> entries_;
    std::size_t next_ = 1;  // entry 0 went out with FindFirst
};

}  // namespace

bool PosixSystem::GlobMatch(const char* pattern, const char* name) {
    const char* star = nullptr;
    const char* resume = nullptr;
    while (*name != '\0') {
        if (*pattern == '*') {
            star = pattern++;
            resume = name;
        } else if (*pattern == '?' ||
                   (*pattern != '\0' && FoldAscii(static_cast<unsigned char>(*pattern)) ==
                                            FoldAscii(static_cast<unsigned char>(*name)))) {
            ++pattern;
            ++name;
        } else if (star != nullptr) {
            pattern = star + 1;
            name = ++resume;
        } else {
            return false;
        }
    }
    while (*pattern == '*') {
        ++pattern;
    }
    return *pattern == '\0';
}

bool PosixSystem::ListFolder(const std::string& folder, const std::string& mask,
                             std::vector<FindEntry>& entries) {
    std::error_code ec;
    std::filesystem::directory_iterator it(folder, ec);
    if (ec) {
        return false;
    }
    for (const char* dot : {".", ".."}) {
        if (GlobMatch(mask.c_str(), dot)) {
            entries.push_back({true, dot});
        }
    }
    for (; it != std::filesystem::directory_iterator(); it.increment(ec)) {
        if (ec) {
            break;
        }
        std::string name = it->path().filename().string();
        if (GlobMatch(mask.c_str(), name.c_str())) {
            // Files and folders, as the Windows search lists them: a FIFO,
            // socket or device (or a dangling link) is no picture, and
            // reading one could block.
            std::error_code typeEc;
            const std::filesystem::file_type type = it->status(typeEc).type();
            if (type == std::filesystem::file_type::directory ||
                type == std::filesystem::file_type::regular) {
                FindEntry entry{type == std::filesystem::file_type::directory, name};
                entry.isLink = it->is_symlink(typeEc);
                entries.push_back(std::move(entry));
            }
        }
    }
    return true;
}

std::unique_ptr<DirectorySearch> PosixSystem::SearchOver(std::vector<FindEntry> entries,
                                                         FindEntry& first) {
    if (entries.empty()) {
        return nullptr;
    }
    first = entries.front();
    return std::make_unique<SnapshotSearch>(std::move(entries));
}

std::unique_ptr<DirectorySearch> PosixSystem::FindFirst(const char* pattern, FindEntry& first) {
    std::string full = pattern;
    if (full.size() >= MaxPath()) {
        return nullptr;
    }
    const std::size_t cut = full.rfind('/');
    std::string folder;
    std::string mask = full;
    if (cut == std::string::npos) {
        folder = CurrentDirectory();
    } else {
        folder.assign(full, 0, cut == 0 ? 1 : cut);  // "/x" searches the root
        mask.erase(0, cut + 1);
    }
    std::vector<FindEntry> entries;
    if (!ListFolder(folder, mask, entries)) {
        return nullptr;
    }
    return SearchOver(std::move(entries), first);
}

std::size_t PosixSystem::MaxPath() const {
#ifdef _WIN32
    return kMaxPath;
#else
    return PATH_MAX;
#endif
}

std::string PosixSystem::WallpaperDirectory() {
    std::filesystem::path base;
    if (const char* data = std::getenv("XDG_DATA_HOME"); data != nullptr && data[0] == '/') {
        base = data;
    } else if (const char* home = std::getenv("HOME"); home != nullptr && home[0] == '/') {
        base = std::filesystem::path(home) / ".local" / "share";
    } else {
        return "";
    }
    const std::filesystem::path folder = base / "quillmere";
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (ec || !std::filesystem::is_directory(folder, ec)) {
        return "";
    }
    return folder.string();
}

std::string PosixSystem::CurrentDirectory() {
    std::error_code ec;
    std::string cwd = std::filesystem::current_path(ec).string();
    return ec ? std::string() : cwd;
}

std::optional<std::uint64_t> PosixSystem::FreeDiskSpace(const std::string& folder) {
#ifdef _WIN32
    // The headless backend under Wine, for the core tests.
    std::error_code ec;
    const std::filesystem::space_info space = std::filesystem::space(folder, ec);
    if (ec) {
        return std::nullopt;
    }
    return space.available;
#else
    struct statvfs fs {};
    if (::statvfs(folder.c_str(), &fs) != 0) {
        return std::nullopt;
    }
    // f_bavail, not f_bfree: the blocks kept for root are not for us.
    return std::uint64_t{fs.f_bavail} * fs.f_frsize;
#endif
}

bool PosixSystem::ReplaceFile(const std::string& source, const std::string& target) {
    std::error_code ec;
    std::filesystem::rename(source, target, ec);
    return !ec;
}

int PosixSystem::MbsCmp(const char* a, const char* b) { return std::strcmp(a, b); }

int PosixSystem::MbsICmp(const char* a, const char* b) {
    for (;; ++a, ++b) {
        int ca = FoldAscii(static_cast<unsigned char>(*a));
        int cb = FoldAscii(static_cast<unsigned char>(*b));
        if (ca != cb || ca == 0) {
            return ca - cb;
        }
    }
}

int PosixSystem::CompareNames(const char* a, const char* b) {
    const int collated = std::strcoll(a, b);
    return collated != 0 ? collated : std::strcmp(a, b);
}

int PosixSystem::Rand() {
    randState_ = randState_ * 214013u + 2531011u;
    return static_cast<int>((randState_ >> 16) & 0x7fff);
}

}  // namespace qm
