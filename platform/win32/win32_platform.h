// The platform seam over the Windows API, one class per concern (as the
// Linux side is split): the profile in the user's registry hive
// (win32_profile.cpp), the file system and the C runtime's comparisons
// (win32_files.cpp), the desktop key and the wallpaper calls
// (win32_desktop.cpp), and the shell: the hidden frame window, its message
// loop and timers (win32_shell.cpp), its tray icon and popup menu
// (win32_tray.cpp) and modal dialogs from the module's resources
// (win32_dialogs.cpp). Win32Platform is all four in one object.
#pragma once

#include <string>
#include <vector>

#include "platform/exception_keeper.h"
#include "platform/platform.h"

namespace qm {

// The profile: values under HKCU\Software\<company>\<app>\<section>.
class Win32Profile : public ProfileStore {
public:
    // Registry location of the profile until SetRegistryKey names another:
    // HKCU\Software\<company>\<app>.
    static constexpr const char* kCompanyKey = "Brandle Software";
    static constexpr const char* kAppName = "Quillmere";

    std::string GetProfileString(const char* section, const char* entry,
                                 const std::string& defaultValue) override;
    int GetProfileInt(const char* section, const char* entry, int defaultValue) override;
    void WriteProfileInt(const char* section, const char* entry, int value) override;
    void WriteProfileString(const char* section, const char* entry,
                            const std::string& value) override;
    void SetRegistryKey(const char* company, const char* appName) override;

private:
    std::string SectionPath(const char* section) const;

    std::string company_ = kCompanyKey;
    std::string appName_ = kAppName;
};

// Folder search, the wallpaper file's folder, free space, replacement, and
// the C runtime's multibyte comparisons and rand in the ANSI code page.
class Win32System : public SystemServices {
public:
    // Sets the C runtime's character classes and multibyte code page to the
    // user's ANSI code page.
    Win32System();

    std::unique_ptr<DirectorySearch> FindFirst(const char* pattern, FindEntry& first) override;
    std::string WallpaperDirectory() override;
    std::string CurrentDirectory() override;
    char PathSeparator() const override { return '\\'; }
    // GetDiskFreeSpaceExA: what this user may write (quotas included).
    std::optional<std::uint64_t> FreeDiskSpace(const std::string& folder) override;
    bool ReplaceFile(const std::string& source, const std::string& target) override;
    int MbsCmp(const char* a, const char* b) override;
    int MbsICmp(const char* a, const char* b) override;
    // CompareStringA in the user's locale without regard to case, as
    // Explorer's lists sort; case, then bytes, break ties.
    int CompareNames(const char* a, const char* b) override;
    int Rand() override;
    // The "Quillmere" value of HKCU\...\CurrentVersion\Run
    // (win32_login_start.cpp).
    LoginStart GetLoginStart() override;
    bool SetLoginStart(bool start) override;
};

// HKCU\Control Panel\desktop, SystemParametersInfoA and IDesktopWallpaper.
class Win32Desktop : public DesktopServices {
public:
    std::unique_ptr<DesktopKey> CreateDesktopKey() override;
    std::unique_ptr<DesktopKey> OpenDesktopKey() override;
    void SetDesktopWallpaper(const char* path) override;
    // The monitors' rectangles in physical pixels (the program is DPI-aware).
    std::vector<MonitorRect> Monitors() override;
    // GetSysColor(COLOR_DESKTOP), the colour around a centred picture.
    std::uint32_t BackgroundColour() override;
    // Each when the system has the per-monitor desktop object
    // (IDesktopWallpaper, Windows 8 on), asked at every call so that the
    // 32-bit program still runs on Windows 7; Composed otherwise.
    EachMonitorWay HowEachMonitor() override;
    // Each picture to the monitor of its rectangle through that object,
    // placed as the desktop key's values say.
    bool SetMonitorWallpapers(const std::vector<MonitorPicture>& pictures) override;
    // Windows tiles from the primary monitor's top left: the key's
    // "TileWallpaper" "1" and "WallpaperStyle" "0", then the wallpaper call.
    void SetComposedWallpaper(const char* path) override;
};

// USER32 and SHELL32: boxes, strings, the running copy, the frame, timers,
// the tray icon, the popup menu and modal dialogs.
class Win32Shell : public ShellServices {
public:
    // Makes the thread a single-threaded COM apartment (the folder browser
    // wants one) for the shell's life.
    Win32Shell();
    ~Win32Shell() override;
    Win32Shell(const Win32Shell&) = delete;
    Win32Shell& operator=(const Win32Shell&) = delete;

    int AppMessageBox(const std::string& text, BoxIcon icon) override;
    int MessageBox(bool ownerIsActiveWindow, const std::string& text,
                   const std::string& caption, BoxIcon icon) override;

    std::string LoadString(unsigned id) override;
    // The running copy's frame: its window class and title.
    bool FindTopLevelWindow(const char* title) override;
    bool ClaimSingleInstance(const char* name) override;
    // Posts the command to the running copy's frame, found by its class.
    bool SendCommandToRunningCopy(const char* name, int id) override;

    bool CreateFrameWindow(const std::string& title, FrameEvents& events) override;
    void HideFrameWindow() override;
    void CloseFrameWindow() override;
    int RunMessageLoop() override;

    void SetTimer(unsigned id, std::uint32_t milliseconds) override;
    void KillTimer(unsigned id) override;

    void AddTrayIcon(const TrayIconData& data) override;
    void DeleteTrayIcon(const TrayIconData& data) override;

    bool TrackPopupMenu(unsigned menuId) override;
    int RunModalDialog(unsigned templateId, DialogEvents& events) override;

private:
    struct Callbacks;  // the window and dialog procedures (win32_internal.h)
    friend struct Callbacks;

    // The window a new message box belongs to (an HWND): the thread's
    // active window, else the innermost open dialog, else the frame.
    void* BoxOwner() const;
    // The innermost open dialog's window, else the frame (an HWND).
    void* DialogOwner() const;

    void* frame_ = nullptr;  // HWND
    FrameEvents* frameEvents_ = nullptr;
    bool frameCreated_ = false;  // OnCreate let the creation go on
    void* trayIcon_ = nullptr;    // HICON, loaded once for the tray
    unsigned trayIconResource_ = 0;
    // An exception caught inside a window procedure ends the loops with a
    // quit message and is rethrown outside them.
    ExceptionKeeper keeper_;
    // The tray icon's size, record and state (win32_tray_icon.cpp).
    int TrayIconSize() const;
    bool LoadTrayIcon(unsigned resource);  // true when a new image was loaded
    bool NotifyTray(unsigned action, const TrayIconData& data);
    void OnTrayDpiChanged();
    int trayIconSize_ = 0;
    bool trayVersion4_ = false;
    bool trayShown_ = false;
    TrayIconData trayData_;
    bool loopEnded_ = false;  // RunMessageLoop has returned (or thrown)
    std::vector<void*> instanceClaims_;  // HANDLEs of the named mutexes held
    bool comInitialised_ = false;        // this thread's apartment, ours to end
};

// The whole backend in one object, as the program and the tests install it.
class Win32Platform : public Win32Profile,
                      public Win32System,
                      public Win32Desktop,
                      public Win32Shell {
public:
    Win32Platform() = default;

    // What SetCurrentPlatform installs: this one object serves every part.
    Platform parts{*this, *this, *this, *this};
};

}  // namespace qm
