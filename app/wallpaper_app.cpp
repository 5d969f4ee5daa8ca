#include "app/wallpaper_app.h"

#include <memory>

#include "frame/about_dialog.h"
#include "frame/main_frame.h"
#include "res/resource.h"

namespace qm {

bool WallpaperApp::InitInstance() {
    // Two copies started together would both miss the other's window, which
    // each creates only after its own search, and each would save its
    // settings over the other's at exit. The claim cannot be shared: the
    // copy that loses it ends here, quietly, before touching the profile.
    ShellServices& shell = CurrentPlatform().shell;
    if (!shell.ClaimSingleInstance(kSingleInstanceName)) {
        // Where the running copy can be asked, it opens its Settings: with
        // no notification area that is the only way to reach it.
        shell.SendCommandToRunningCopy(kSingleInstanceName, ID_SETTINGS);
        return false;
    }
    // A copy is running already (or some window wears our title).
    if (shell.FindTopLevelWindow(kFrameTitle)) {
        return false;
    }
    SetRegistryKey(kRegistryCompany);

    auto frame = std::make_unique<CMainFrame>();
    if (!frame->LoadFrame(IDR_MAINFRAME)) {
        return false;
    }
    CMainFrame* main = frame.release();
    m_pMainWnd = main;
    main->HideWindow();
    main->AddTrayIcon();
    // An icon nobody shows leaves the program unreachable but for a second
    // start: the user is told once what would show it.
    shell.WarnIfNoTrayAfter(kNoTrayWarningDelay, shell.LoadString(IDS_NO_NOTIFICATION_AREA));
    return true;
}

bool WallpaperApp::OnCmdMsg(int id) {
    if (id == ID_APP_ABOUT) {
        OnAppAbout();
        return true;
    }
    return CWinApp::OnCmdMsg(id);
}

void WallpaperApp::OnAppAbout() {
    // As for Settings: an About command while the box is open (from the
    // tray menu, or the settings dialog's button) brings that box forward
    // rather than stacking a second, identical one on it.
    if (m_AboutOpen) {
        CurrentPlatform().shell.BringDialogToFront(IDD_ABOUTBOX);
        return;
    }
    AboutDialog dlg;
    m_AboutOpen = true;
    struct Closed {
        bool& open;
        ~Closed() { open = false; }
    } closed{m_AboutOpen};
    dlg.DoModal();
}

}  // namespace qm
