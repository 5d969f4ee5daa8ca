// The Settings command: the only place the settings change at run time.
#include "frame/main_frame.h"
#include "settings/settings_dialog.h"

namespace qm {

void CMainFrame::OnSettings() {
    SettingsDialog dlg;
    dlg.m_AutoChange = AutoChange;
    dlg.m_Directory = Directory;
    dlg.m_Display = Display;
    dlg.m_Height = Height;
    dlg.m_Random = Random != 0 ? 1 : 0;
    dlg.m_Time = Time;
    dlg.m_When = When;
    dlg.m_Width = Width;
    dlg.m_Stretch = Stretch;

    if (dlg.DoModal() != kIdOk) {
        return;
    }

    Random = dlg.m_Random == 1 ? 1 : 0;
    Display = dlg.m_Display == -1 ? 0 : dlg.m_Display;
    AutoChange = dlg.m_AutoChange;
    Stretch = dlg.m_Stretch;
    When = dlg.m_When;
    Time = dlg.m_Time;
    Height = dlg.m_Height;
    Width = dlg.m_Width;

    // A change of letter case alone counts: the folder is rescanned.
    if (CurrentPlatform().system.MbsCmp(Directory.c_str(), dlg.m_Directory.c_str()) != 0) {
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
}

}  // namespace qm
