// Choosing the next or previous image and handing it to the desktop.
#include <cstdint>

#include "frame/main_frame.h"
#include "platform/platform.h"
#include "rotation/desktop_wallpaper.h"

namespace qm {

namespace {

// rand() runs from 0 to 32767.
constexpr std::int32_t kRandValues = 32768;

// A random index below count. Lists rand() covers take rand() % count, the
// draw their order is known by. In a longer one that draw never reaches the
// end of the list, so three draws make one 45-bit number, and the few
// highest values that would favour the first images are drawn again.
std::int32_t DrawIndex(std::int32_t count) {
    SystemServices& p = CurrentPlatform().system;
    if (count <= kRandValues) {
        return p.Rand() % count;
    }
    constexpr std::uint64_t kSpan = std::uint64_t{1} << 45;
    const std::uint64_t limit = kSpan - kSpan % static_cast<std::uint64_t>(count);
    for (;;) {
        std::uint64_t r = 0;
        for (int i = 0; i < 3; ++i) {
            r = (r << 15) | static_cast<std::uint64_t>(p.Rand() & (kRandValues - 1));
        }
        if (r < limit) {
            return static_cast<std::int32_t>(r % static_cast<std::uint64_t>(count));
        }
    }
}

}  // namespace

int CMainFrame::ChangeWallpaper(int previous) {
    if (m_LastIndex == -1) {
        return 0;
    }
    const ChangeUnderWay underWay(*this);

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
            chosen = DrawIndex(m_LastIndex + 1);
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
    const ChangeUnderWay underWay(*this);
    ShowImage(m_CurrentIndex);
}

void CMainFrame::ShowImage(std::int32_t index) {
    // After a collecting pass that failed, the index can lie past the array.
    if (index < 0 || static_cast<std::size_t>(index) >= m_ImageList.size()) {
        return;
    }
    std::string path = m_ImageList[static_cast<std::size_t>(index)];
    m_LaidOutFor = CurrentPlatform().desktop.Monitors();
    if (IsConvertedPicture(path)) {
        // Filled or fitted, the desktop never shows more of the picture than
        // the monitors hold; tiled, it shows it whole at its own size.
        const bool tiled = m_TileWritten ? *m_TileWritten : DesktopWallpaper::ReadTile();
        path = MakeWallpaperBmp(path, !tiled && (Stretch == kSizeFilled || Stretch == kSizeFitted));
    }
    if (!path.empty()) {
        DesktopWallpaper::SetWallpaper(path);
    }
}

}  // namespace qm
