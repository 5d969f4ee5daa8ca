// The frame's window side: its message map, the tray icon and its popup
// menu, and the change timer.
#include <algorithm>
#include <cstring>

#include "frame/main_frame.h"
#include "res/resource.h"
#include "settings/settings_dialog.h"

namespace qm {

namespace {

// Frame commands in the order of the frame's message map.
struct CommandEntry {
    int id;
    void (CMainFrame::*handler)();
};
constexpr CommandEntry kCommands[] = {
    {ID_SETTINGS, &CMainFrame::OnSettings},
    {ID_PREVIOUS_WALLPAPER, &CMainFrame::OnPreviousWallpaper},
    {ID_CENTER_CURRENT, &CMainFrame::OnCenterCurrent},
    {ID_TILE_CURRENT, &CMainFrame::OnTileCurrent},
};

struct UpdateEntry {
    int id;
    bool (CMainFrame::*handler)();
};
constexpr UpdateEntry kUpdates[] = {
    {ID_CENTER_CURRENT, &CMainFrame::OnUpdateCenterCurrent},
    {ID_TILE_CURRENT, &CMainFrame::OnUpdateTileCurrent},
};

}  // namespace

bool CMainFrame::OnFrameCommand(int id) {
    for (const auto& entry : kCommands) {
        if (entry.id == id) {
            (this->*entry.handler)();
            return true;
        }
    }
    return false;
}

bool CMainFrame::OnUpdateCommand(int id, bool& enabled) {
    for (const auto& entry : kUpdates) {
        if (entry.id == id) {
            enabled = (this->*entry.handler)();
            return true;
        }
    }
    return false;
}

std::uint32_t CMainFrame::ChangeInterval() const {
    const std::uint32_t unit = When == 0 ? 60'000u : 3'600'000u;
    // A stored count outside the dialog's range runs as the dialog shows it:
    // 0 would make the timer fire as fast as the system lets it, and a huge
    // count would wrap the 32-bit milliseconds into a short interval. The
    // longest, 120 hours, fits.
    const std::int32_t count = std::clamp(Time, kMinTime, kMaxTime);
    return static_cast<std::uint32_t>(count) * unit;
}

int CMainFrame::OnCreate() {
    if (CFrameWnd::OnCreate() == -1) {
        return -1;
    }
    if (AutoChange != 0) {
        CurrentPlatform().shell.SetTimer(IDT_CHANGE, ChangeInterval());
    }
    return 0;
}

void CMainFrame::AddTrayIcon() {
    m_nid = TrayIconData{};
    m_nid.uID = IDR_MAINFRAME;
    m_nid.iconResource = IDR_MAINFRAME;
    // Cut to the field, terminator included.
    const std::size_t tip = std::min(std::strlen(kTrayTip), sizeof m_nid.szTip - 1);
    std::memcpy(m_nid.szTip, kTrayTip, tip);
    m_nid.szTip[tip] = '\0';
    CurrentPlatform().shell.AddTrayIcon(m_nid);
    m_TrayIconShown = true;

    if (BuildImageList() == 0) {
        AfxMessageBox("Change the Settings to a Directory that Contains Images", BoxIcon::None);
        // Not when the frame was closed while the box was up (the session
        // ended, Exit from the menu): there is nothing left to set.
        if (HasWindow()) {
            OnSettings();
        }
    }
}

void CMainFrame::RemoveTrayIcon() {
    m_TrayIconShown = false;
    CurrentPlatform().shell.DeleteTrayIcon(m_nid);
}

void CMainFrame::OnTaskbarCreated() {
    // A restarted shell has forgotten the icon; without it, and with a
    // second start refused, the running program could not be reached.
    if (m_TrayIconShown) {
        CurrentPlatform().shell.AddTrayIcon(m_nid);
    }
}

void CMainFrame::OnDisplayChange() {
    // Each event of a burst restarts the wait: one re-layout at its end.
    CurrentPlatform().shell.SetTimer(IDT_RELAYOUT, kRelayoutDelay);
}

void CMainFrame::OnTimer(unsigned id) {
    if (id == IDT_RELAYOUT) {
        // Not inside a change's message box: the timer stays armed and
        // tries again once the change is over.
        if (m_ChangesUnderWay != 0) {
            return;
        }
        CurrentPlatform().shell.KillTimer(IDT_RELAYOUT);
        // The same picture laid out for the monitors there are now; the
        // rotation does not move, and an arrangement it was already laid
        // out for (a change of colour depth, a burst that ended where it
        // began) converts nothing.
        if (CurrentPlatform().desktop.Monitors() != m_LaidOutFor) {
            ReapplyWallpaper();
        }
        return;
    }
    // A change's message box runs a message loop in which the timer keeps
    // ticking. Were each tick to start a change, a folder whose pictures all
    // fail would stack one more box inside the last on every tick, without
    // end while nobody is there. The tick is dropped; clicks and menu
    // commands, which someone made, still start their change.
    if (m_ChangesUnderWay != 0) {
        return;
    }
    ChangeWallpaper(0);
}

long CMainFrame::OnTrayIcon(unsigned, TrayMouse mouse) {
    switch (mouse) {
        case TrayMouse::LeftDown:
        case TrayMouse::LeftDoubleClick:
            ChangeWallpaper(0);
            return 1;
        case TrayMouse::RightUp:
            // Loaded anew for every right click; the chosen item comes back
            // as a command once the menu has closed.
            return CurrentPlatform().shell.TrackPopupMenu(m_nid.uID) ? 1 : 0;
        default:
            return 1;
    }
}

long CMainFrame::OnRebuildImageList() {
    BuildImageList();
    return 1;
}

void CMainFrame::OnDestroy() {
    SaveSettings();
    RemoveTrayIcon();
    CFrameWnd::OnDestroy();
}

}  // namespace qm
