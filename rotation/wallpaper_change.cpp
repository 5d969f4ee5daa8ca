// Choosing the next or previous image and handing it to the desktop.
#include "frame/main_frame.h"
#include "platform/platform.h"
#include "rotation/desktop_wallpaper.h"

namespace qm {

int CMainFrame::ChangeWallpaper(int previous) {
    if (m_LastIndex == -1) {
        return 0;
    }

    std::int32_t chosen;
    if (previous != 0) {
        // Before the first change, or after a rebuild that shortened the
        // list, the remembered index may lie outside it: start from the end.
        if (m_PreviousIndex < 0 || m_PreviousIndex > m_LastIndex) {
            m_PreviousIndex = m_LastIndex;
        }
        chosen = m_PreviousIndex;
        m_PreviousIndex = m_PreviousIndex >= 1 ? m_PreviousIndex - 1 : m_LastIndex;
    } else {
        m_PreviousIndex = m_CurrentIndex == -1 ? 0 : m_CurrentIndex;
        if (Random != 0) {
            chosen = CurrentPlatform().system.Rand() % (m_LastIndex + 1);
        } else {
            chosen = m_CurrentIndex < m_LastIndex ? m_CurrentIndex + 1 : 0;
        }
    }

    // The move counts as done whatever happens to the file below.
    m_CurrentIndex = chosen;
    if (Display == 2) {
        SetWallpaperStyle();
    }
    ShowImage(m_CurrentIndex);
    return 1;
}

void CMainFrame::OnPreviousWallpaper() { ChangeWallpaper(1); }

void CMainFrame::ReapplyWallpaper() {
    if (m_CurrentIndex < 0) {
        return;
    }
    ShowImage(m_CurrentIndex);
}

void CMainFrame::ShowImage(std::int32_t index) {
    // After a collecting pass that failed, the index can lie past the array.
    if (index < 0 || static_cast<std::size_t>(index) >= m_ImageList.size()) {
        return;
    }
    std::string path = m_ImageList[static_cast<std::size_t>(index)];
    if (IsJpegPath(path)) {
        path = MakeWallpaperBmp(path);
    }
    if (!path.empty()) {
        DesktopWallpaper::SetWallpaper(path);
    }
}

}  // namespace qm
