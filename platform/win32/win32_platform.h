// The platform seam over the Windows API: the profile in the user's registry
// hive, FindFirstFile searches, the desktop key and the wallpaper call, and
// the shell side: the hidden frame window, its tray icon, popup menu and
// timers, and modal dialogs from the module's resources.
#pragma once

#include <exception>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace qm {

class Win32Platform : public ProfileStore,
                      public SystemServices,
                      public DesktopServices,
                      public ShellServices {
public:
    // Registry location of the profile until SetRegistryKey names another:
    // HKCU\Software\<company>\<app>.
    static constexpr const char* kCompanyKey = "Brandle Software";
    static constexpr const char* kAppName = "Quillmere";

    Win32Platform();
    ~Win32Platform() override;
    Win32Platform(const Win32Platform&) = delete;
    Win32Platform& operator=(const Win32Platform&) = delete;

    // What SetCurrentPlatform installs: this one object serves every part.
    Platform parts{*this, *this, *this, *this};

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
    // GetSysColor(COLOR_DESKTOP), the colour around a centred picture.
    std::uint32_t BackgroundColour() override;

    std::string WallpaperDirectory() override;
    std::string CurrentDirectory() override;
    char PathSeparator() const override { return '\\'; }
    // GetDiskFreeSpaceExA: what this user may write (quotas included).
    std::optional<std::uint64_t> FreeDiskSpace(const std::string& folder) override;
    bool ReplaceFile(const std::string& source, const std::string& target) override;

    int AppMessageBox(const std::string& text, BoxIcon icon) override;
    int MessageBox(bool ownerIsActiveWindow, const std::string& text,
                   const std::string& caption, BoxIcon icon) override;

    int MbsCmp(const char* a, const char* b) override;
    int MbsICmp(const char* a, const char* b) override;
    // CompareStringA in the user's locale without regard to case, as
    // Explorer's lists sort; case, then bytes, break ties.
    int CompareNames(const char* a, const char* b) override;
    int Rand() override;

    void SetRegistryKey(const char* company, const char* appName) override;
    std::string LoadString(unsigned id) override;
    bool FindTopLevelWindow(const char* title) override;
    bool ClaimSingleInstance(const char* name) override;

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
    // SetForegroundWindow and BringWindowToTop on the dialog's window.
    bool BringDialogToFront(unsigned templateId) override;

private:
    struct Callbacks;  // the window and dialog procedures
    friend struct Callbacks;

    std::string SectionPath(const char* section) const;
    // The window a new message box or dialog belongs to (an HWND).
    void* OwnerWindow() const;
    // An exception caught inside a window procedure (it must not unwind
    // through the system's frames) ends the loops and is rethrown here.
    void KeepException(std::exception_ptr e);
    void RethrowKept();

    std::string company_ = kCompanyKey;
    std::string appName_ = kAppName;

    void* frame_ = nullptr;  // HWND
    FrameEvents* frameEvents_ = nullptr;
    bool frameCreated_ = false;  // OnCreate let the creation go on
    std::vector<void*> dialogs_;  // HWNDs of the open modal dialogs, innermost last
    void* trayIcon_ = nullptr;    // HICON, loaded once for the tray
    unsigned trayIconResource_ = 0;
    std::exception_ptr kept_;
    bool loopEnded_ = false;  // RunMessageLoop has returned (or thrown)
    std::vector<void*> instanceClaims_;  // HANDLEs of the named mutexes held
    bool comInitialised_ = false;        // this thread's apartment, ours to end
};

}  // namespace qm
