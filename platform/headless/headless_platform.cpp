#include "platform/headless/headless_platform.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "platform/wallpaper_directory.h"

namespace qm {

namespace {

class MemoryKey : public DesktopKey {
public:
    explicit MemoryKey(std::map<std::string, HeadlessPlatform::Value>& values) : values_(values) {}

    void SetString(const char* name, const std::string& value) override { values_[name] = value; }

    bool Query(const char* name, char* buf, std::size_t size) override {
        if (size == 0) {
            return false;
        }
        buf[0] = '\0';
        auto it = values_.find(name);
        if (it == values_.end()) {
            return false;
        }
        std::string data;
        if (const auto* s = std::get_if<std::string>(&it->second)) {
            data.assign(s->c_str(), s->size() + 1);
        } else if (const auto* n = std::get_if<std::uint32_t>(&it->second)) {
            data.assign(reinterpret_cast<const char*>(n), sizeof *n);
        } else {
            const auto& bytes = std::get<HeadlessPlatform::Binary>(it->second).bytes;
            data.assign(bytes.begin(), bytes.end());
        }
        // Like the registry: data that does not fit, terminator included,
        // is not returned at all.
        if (data.empty() || data.size() > size ||
            (data.size() == size && data.back() != '\0')) {
            return false;
        }
        std::memcpy(buf, data.data(), data.size());
        buf[std::min(data.size(), size - 1)] = '\0';
        return true;
    }

private:
    std::map<std::string, HeadlessPlatform::Value>& values_;
};

}  // namespace

HeadlessPlatform::HeadlessPlatform() = default;
HeadlessPlatform::~HeadlessPlatform() = default;

std::string HeadlessPlatform::GetProfileString(const char* section, const char* entry,
                                               const std::string& defaultValue) {
    auto sec = profile.find(section);
    if (sec == profile.end()) {
        return defaultValue;
    }
    auto it = sec->second.find(entry);
    if (it == sec->second.end()) {
        return defaultValue;
    }
    if (const auto* s = std::get_if<std::string>(&it->second)) {
        return *s;
    }
    return defaultValue;  // a value of another type cannot be read as text
}

int HeadlessPlatform::GetProfileInt(const char* section, const char* entry, int defaultValue) {
    auto sec = profile.find(section);
    if (sec == profile.end()) {
        return defaultValue;
    }
    auto it = sec->second.find(entry);
    if (it == sec->second.end()) {
        return defaultValue;
    }
    if (const auto* n = std::get_if<std::uint32_t>(&it->second)) {
        return static_cast<int>(*n);
    }
    return defaultValue;
}

void HeadlessPlatform::WriteProfileInt(const char* section, const char* entry, int value) {
    profile[section][entry] = static_cast<std::uint32_t>(value);
    profileWrites.emplace_back(entry);
}

void HeadlessPlatform::WriteProfileString(const char* section, const char* entry,
                                          const std::string& value) {
    profile[section][entry] = value;
    profileWrites.emplace_back(entry);
}

std::unique_ptr<DirectorySearch> HeadlessPlatform::FindFirst(const char* pattern,
                                                             FindEntry& first) {
    std::string full = pattern;
    if (full.size() >= maxPath) {
        return nullptr;
    }
    std::size_t cut = full.find_last_of("/\\");
    std::string folder = cut == std::string::npos ? currentDirectory : full.substr(0, cut);
    if (cut != std::string::npos && folder.empty()) {
        folder = std::string(1, separator);
    }
    std::string mask = cut == std::string::npos ? full : full.substr(cut + 1);
    if (beforeFind && !beforeFind(full)) {
        return nullptr;
    }

    std::vector<FindEntry> entries;
    if (auto listed = listings.find(folder); listed != listings.end()) {
        for (const char* dot : {".", ".."}) {
            if (GlobMatch(mask.c_str(), dot)) {
                entries.push_back({true, dot});
            }
        }
        for (const FindEntry& e : listed->second) {
            if (GlobMatch(mask.c_str(), e.name.c_str())) {
                entries.push_back(e);
            }
        }
    } else if (!ListFolder(folder, mask, entries)) {
        return nullptr;
    }
    return SearchOver(std::move(entries), first);
}

std::unique_ptr<DesktopKey> HeadlessPlatform::CreateDesktopKey() {
    if (desktopKeyBroken) {
        return nullptr;
    }
    desktopKeyExists = true;
    return std::make_unique<MemoryKey>(desktop);
}

std::unique_ptr<DesktopKey> HeadlessPlatform::OpenDesktopKey() {
    if (desktopKeyBroken || !desktopKeyExists) {
        return nullptr;
    }
    return std::make_unique<MemoryKey>(desktop);
}

void HeadlessPlatform::SetDesktopWallpaper(const char* path) {
    wallpaperCalls.emplace_back(path);
    if (desktopKeyExists && !desktopKeyBroken) {
        desktop["Wallpaper"] = std::string(path);
    }
}

std::string HeadlessPlatform::WallpaperDirectory() {
    // Whether a folder takes files is asked of the disk itself, by making
    // one: that holds whoever runs the tests, root included.
    auto canWrite = [this](const std::string& folder) {
        const std::string probe = folder + separator + kWriteProbeName;
        std::FILE* f = std::fopen(probe.c_str(), "wb");
        if (f == nullptr) {
            return false;
        }
        std::fclose(f);
        std::remove(probe.c_str());
        return true;
    };
    auto makeOwnFolder = [this]() -> std::string {
        if (localAppDataDirectory.empty()) {
            return {};
        }
        const std::string folder = localAppDataDirectory + separator + kOwnDataFolderName;
        std::error_code ec;
        std::filesystem::create_directory(folder, ec);
        return ec ? std::string() : folder;
    };
    return ChooseWallpaperDirectory(windowsDirectory, canWrite, makeOwnFolder);
}

std::optional<std::uint64_t> HeadlessPlatform::FreeDiskSpace(const std::string& folder) {
    return freeSpace ? freeSpace : PosixSystem::FreeDiskSpace(folder);
}

bool HeadlessPlatform::SetLoginStart(bool start) {
    loginStartWrites.push_back(start);
    if (failLoginStart) return false;
    loginStart = start ? LoginStart::ThisProgram : LoginStart::None;
    return true;
}

bool HeadlessPlatform::ReplaceFile(const std::string& source, const std::string& target) {
    if (failReplace) {
        return false;
    }
    return PosixSystem::ReplaceFile(source, target);
}

int HeadlessPlatform::ShowBox(Box box) {
    boxes.push_back(std::move(box));
    if (duringBox) {
        auto nested = std::move(duringBox);
        duringBox = nullptr;
        nested();
    }
    if (boxAnswers.empty()) {
        return kIdOk;
    }
    int answer = boxAnswers.front();
    boxAnswers.pop_front();
    return answer;
}

int HeadlessPlatform::AppMessageBox(const std::string& text, BoxIcon icon) {
    return ShowBox({false, text, "Quillmere", icon});
}

int HeadlessPlatform::MessageBox(bool ownerIsActiveWindow, const std::string& text,
                                 const std::string& caption, BoxIcon icon) {
    return ShowBox({ownerIsActiveWindow, text, caption, icon});
}

std::string HeadlessPlatform::DesktopString(const std::string& name) const {
    auto it = desktop.find(name);
    if (it == desktop.end()) {
        return "";
    }
    const auto* s = std::get_if<std::string>(&it->second);
    return s ? *s : "";
}

}  // namespace qm
