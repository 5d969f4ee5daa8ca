// The Settings command: the only place the settings change at run time.
#include "frame/main_frame.h"
#include "res/resource.h"
#include "settings/settings_dialog.h"

namespace qm {

namespace {

// The login entry as the box was left: written when it should start this
// program and does not (none, or another copy's), removed when it should
// not start it. A failure is told; the other settings stand.
void ApplyLoginStart(bool wanted) {
    SystemServices& system = CurrentPlatform().system;
    const LoginStart now = system.GetLoginStart();
    const bool change = wanted ? now != LoginStart::ThisProgram : now != LoginStart::None;
    if (change && !system.SetLoginStart(wanted)) {
        AfxMessageBox(CurrentPlatform().shell.LoadString(IDS_LOGIN_START_FAILED),
                      BoxIcon::Exclamation);
    }
}

}  // namespace

void CMainFrame::OnSettings() {
    // One dialog at a time. A second one over the first (from the tray menu
    // in the first one's loop, or from a second start of the program asking
    // for Settings) would, when both were confirmed, put back with the outer
    // OK the values it was opened with, over what the inner OK saved. The
    // open one comes to the front instead; clicks and ticks go on changing
    // the wallpaper beside it.
    if (m_SettingsOpen) {
        CurrentPlatform().shell.BringDialogToFront(IDD_SETTINGS);
        return;
    }
    SettingsDialog dlg;
    dlg.m_AutoChange = AutoChange;
    dlg.m_Directory = Directory;
    dlg.m_Display = Display;
    dlg.m_Height = Height;
    dlg.m_Random = Random != 0 ? 1 : 0;
    dlg.m_Time = Time;
    dlg.m_When = When;
    dlg.m_Width = Width;
    // A size this program never wrote counts as stretched, as any value
    // but 0 once did.
    dlg.m_Stretch = Stretch >= kSizeAsItIs && Stretch <= kSizeFitted ? Stretch : kSizeStretched;
    // Read from the system each time: the installer, another copy or the
    // user may have changed it since.
    dlg.m_StartAtLogin = CurrentPlatform().system.GetLoginStart() != LoginStart::None ? 1 : 0;
    dlg.m_Subfolders = Subfolders != 0 ? 1 : 0;
    dlg.m_EachMonitor = EachMonitor != 0 ? 1 : 0;

    int result = 0;
    {
        m_SettingsOpen = true;
        struct Closed {
            bool& open;
            ~Closed() { open = false; }
        } closed{m_SettingsOpen};
        result = dlg.DoModal();
    }
    if (result != kIdOk) {
        return;
    }

    Random = dlg.m_Random == 1 ? 1 : 0;
    Display = dlg.m_Display == -1 ? 0 : dlg.m_Display;
    AutoChange = dlg.m_AutoChange;
    Stretch = dlg.m_Stretch == -1 ? kSizeStretched : dlg.m_Stretch;
    When = dlg.m_When;
    Time = dlg.m_Time;
    Height = dlg.m_Height;
    Width = dlg.m_Width;
    EachMonitor = dlg.m_EachMonitor != 0 ? 1 : 0;

    // A change of letter case alone counts: the folder is rescanned. So is
    // a change of whether its subfolders count.
    const bool subfoldersChanged = (Subfolders != 0) != (dlg.m_Subfolders != 0);
    Subfolders = dlg.m_Subfolders != 0 ? 1 : 0;
    if (CurrentPlatform().system.MbsCmp(Directory.c_str(), dlg.m_Directory.c_str()) != 0 ||
        subfoldersChanged) {
        Directory = dlg.m_Directory;
        BuildImageList();
    }
    SaveSettings();
    SetWallpaperStyle();
    ReapplyWallpaper();
    if (AutoChange == 0) {
        CurrentPlatform().shell.KillTimer(IDT_CHANGE);
    } else {
        CurrentPlatform().shell.SetTimer(IDT_CHANGE, ChangeInterval());
    }
    ApplyLoginStart(dlg.m_StartAtLogin != 0);
}

}  // namespace qm
