// The platform the Linux tests drive: an in-memory profile and desktop key
// that keep value types, a directory search over real folders, a settable
// Windows directory, recorded message boxes and wallpaper calls with
// scripted answers, and a seedable random source.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <string>
#include <variant>
#include <vector>

#include "platform/platform.h"

namespace qm {

class HeadlessPlatform : public Platform {
public:
    // A stored value: REG_DWORD-like number, REG_SZ-like string, or raw
    // bytes of some other type (what a foreign writer may leave behind).
    struct Binary {
        std::vector<std::uint8_t> bytes;
        bool operator==(const Binary&) const = default;
    };
    using Value = std::variant<std::uint32_t, std::string, Binary>;

    struct Box {
        bool ownerIsActiveWindow;  // only meaningful for captioned boxes
        std::string text;
        std::string caption;  // "Quillmere" for the application's box
        unsigned style;
    };

    HeadlessPlatform();
    ~HeadlessPlatform() override;

    // Profile: section -> entry -> value.
    std::map<std::string, std::map<std::string, Value>> profile;
    std::vector<std::string> profileWrites;  // entry names, in write order

    // Desktop key values, present when desktopKeyExists.
    bool desktopKeyExists = true;
    bool desktopKeyBroken = false;  // neither creatable nor openable
    std::map<std::string, Value> desktop;
    std::vector<std::string> wallpaperCalls;  // paths handed to the desktop

    // Folders served from memory instead of the disk, by folder path:
    // names no real file system would hold. "." and ".." are added.
    std::map<std::string, std::vector<FindEntry>> listings;
    // Runs with each search pattern before the search starts; false makes
    // the search fail, as a vanished or unreadable folder would.
    std::function<bool(const std::string& pattern)> beforeFind;

    std::string windowsDirectory;
    std::string currentDirectory = "/";
    char separator = '/';
    bool failReplace = false;

    // Message boxes shown, and the answers to give (IDOK when none left).
    std::vector<Box> boxes;
    std::deque<int> boxAnswers;
    // Runs while the next box is open, as a nested message loop would run
    // other handlers; cleared before it runs, so it fires once.
    std::function<void()> duringBox;

    void Seed(std::uint32_t seed) { randState_ = seed; }

    std::string GetProfileString(const char* section, const char* entry,
                                 const std::string& defaultValue) override;
    int GetProfileInt(const char* section, const char* entry, int defaultValue) override;
    void WriteProfileInt(const char* section, const char* entry, int value) override;
    void WriteProfileString(const char* section, const char* entry,
                            const std::string& value) override;

    std::unique_ptr<DirectorySearch> FindFirst(const char* pattern, FindEntry& first) override;

    std::unique_ptr<DesktopKey> CreateDesktopKey() override;
    std::unique_ptr<DesktopKey> OpenDesktopKey() override;
    void SetDesktopWallpaper(const char* path) override;

    std::string WindowsDirectory() override { return windowsDirectory; }
    std::string CurrentDirectory() override { return currentDirectory; }
    char PathSeparator() const override { return separator; }
    bool ReplaceFile(const std::string& source, const std::string& target) override;

    int AppMessageBox(const std::string& text, unsigned type) override;
    int MessageBox(bool ownerIsActiveWindow, const std::string& text,
                   const std::string& caption, unsigned style) override;

    int MbsCmp(const char* a, const char* b) override;
    int MbsICmp(const char* a, const char* b) override;
    int Rand() override;

    // Shell operations; placeholders until the simulation lands.
    void SetRegistryKey(const char*, const char*) override {}
    std::string LoadString(unsigned) override { return {}; }
    bool FindTopLevelWindow(const char*) override { return false; }
    bool CreateFrameWindow(const std::string&, FrameEvents&) override { return false; }
    void HideFrameWindow() override {}
    void CloseFrameWindow() override {}
    int RunMessageLoop() override { return 0; }
    void SetTimer(unsigned, std::uint32_t) override {}
    void KillTimer(unsigned) override {}
    void AddTrayIcon(const TrayIconData&) override {}
    void DeleteTrayIcon(const TrayIconData&) override {}
    bool TrackPopupMenu(unsigned) override { return false; }
    int RunModalDialog(unsigned, DialogEvents&) override { return kIdCancel; }

    // The desktop value as a string, or "" when missing or not a string.
    std::string DesktopString(const std::string& name) const;

private:
    int ShowBox(Box box);
    std::uint32_t randState_ = 1;
};

// Installs a HeadlessPlatform as the current platform for one scope.
class ScopedHeadless {
public:
    ScopedHeadless() { SetCurrentPlatform(&platform); }
    ~ScopedHeadless() { SetCurrentPlatform(nullptr); }
    ScopedHeadless(const ScopedHeadless&) = delete;
    ScopedHeadless& operator=(const ScopedHeadless&) = delete;
    HeadlessPlatform platform;
};

}  // namespace qm
