// The platform seam over the Windows API: the profile in the user's registry
// hive, FindFirstFile searches, the desktop key and the wallpaper call.
#pragma once

#include "platform/platform.h"

namespace qm {

class Win32Platform : public Platform {
public:
    // Registry location of the profile: HKCU\Software\<company>\<app>.
    static constexpr const char* kCompanyKey = "Brandle Software";
    static constexpr const char* kAppName = "Quillmere";

    Win32Platform();

    // The window that owns the application's message boxes (an HWND); null
    // until the main window exists.
    void SetMainWindow(void* hwnd) { mainWindow_ = hwnd; }

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

    std::string WindowsDirectory() override;
    std::string CurrentDirectory() override;
    char PathSeparator() const override { return '\\'; }
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

private:
    void* mainWindow_ = nullptr;
};

}  // namespace qm
