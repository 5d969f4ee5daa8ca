#include "app/wallpaper_app.h"

#include "frame/about_dialog.h"
#include "frame/main_frame.h"
#include "res/resource.h"

namespace qm {

bool WallpaperApp::InitInstance() {
    // A copy is running already (or some window wears our title): end
    // quietly, before touching the profile.
    if (CurrentPlatform().shell.FindTopLevelWindow(kFrameTitle)) {
        return false;
    }
    SetRegistryKey(kRegistryCompany);

    auto* frame = new CMainFrame;
    if (!frame->LoadFrame(IDR_MAINFRAME)) {
        delete frame;
        return false;
    }
    m_pMainWnd = frame;
    frame->HideWindow();
    frame->AddTrayIcon();
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
    AboutDialog dlg;
    dlg.DoModal();
}

}  // namespace qm
