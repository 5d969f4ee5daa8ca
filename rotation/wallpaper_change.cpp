// Choosing the next or previous image and handing it to the desktop.
#include <algorithm>
#include <cstdint>

#include "frame/main_frame.h"
#include "imaging/composed_bmp.h"
#include "imaging/wallpaper_bmp.h"
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
    EachMonitorWay way = EachMonitorWay::None;
    const std::vector<MonitorRect> monitors = SetMonitors(way);
    const std::int32_t count = m_LastIndex + 1;
    // One picture for every monitor, or a set of one per monitor.
    const std::int32_t wanted = monitors.empty() ? 1 : static_cast<std::int32_t>(monitors.size());
    const auto wrap = [count](std::int64_t i) {
        return static_cast<std::int32_t>(((i % count) + count) % count);
    };

    std::vector<std::int32_t> set;
    if (previous != 0) {
        // Before the first change, or after a rebuild that shortened the
        // list, the remembered index may lie outside it: start from the end.
        if (m_PreviousIndex < 0 || m_PreviousIndex > m_LastIndex) {
            m_PreviousIndex = m_LastIndex;
        }
        // The whole set before, which ends where the walk back stands.
        for (std::int32_t k = wanted - 1; k >= 0; --k) {
            set.push_back(wrap(std::int64_t{m_PreviousIndex} - k));
        }
        m_PreviousIndex = wrap(std::int64_t{m_PreviousIndex} - wanted);
    } else {
        m_PreviousIndex = m_CurrentIndex == -1 ? 0 : m_CurrentIndex;
        if (Random != 0) {
            // No two monitors the same while the list has enough pictures.
            while (static_cast<std::int32_t>(set.size()) < wanted) {
                const std::int32_t drawn = DrawIndex(count);
                if (count < wanted ||
                    std::find(set.begin(), set.end(), drawn) == set.end()) {
                    set.push_back(drawn);
                }
            }
        } else {
            const std::int32_t first = m_CurrentIndex < m_LastIndex ? m_CurrentIndex + 1 : 0;
            for (std::int32_t k = 0; k < wanted; ++k) {
                set.push_back(wrap(std::int64_t{first} + k));
            }
        }
    }

    // The move counts as done whatever happens to the file below.
    m_CurrentIndex = set.back();
    m_CurrentSet = monitors.empty() ? std::vector<std::int32_t>{} : set;
    if (Display == 2) {
        SetWallpaperStyle();
    }
    if (monitors.empty()) {
        ShowImage(m_CurrentIndex);
    } else {
        ShowSet(monitors, way);
    }
    return 1;
}

void CMainFrame::OnPreviousWallpaper() { ChangeWallpaper(1); }

void CMainFrame::ReapplyWallpaper() {
    if (m_CurrentIndex < 0) {
        return;
    }
    const ChangeUnderWay underWay(*this);
    EachMonitorWay way = EachMonitorWay::None;
    const std::vector<MonitorRect> monitors = SetMonitors(way);
    if (monitors.empty()) {
        ShowImage(m_CurrentIndex);
        return;
    }
    // Turned on since the last change: every monitor starts from the
    // current picture, and the next change gives each its own.
    if (m_CurrentSet.empty()) {
        m_CurrentSet = {m_CurrentIndex};
    }
    ShowSet(monitors, way);
}

std::vector<MonitorRect> CMainFrame::SetMonitors(EachMonitorWay& way) const {
    DesktopServices& desktop = CurrentPlatform().desktop;
    way = EachMonitor == 0 ? EachMonitorWay::None : desktop.HowEachMonitor();
    if (way == EachMonitorWay::None) {
        return {};
    }
    std::vector<MonitorRect> monitors = desktop.Monitors();
    std::erase_if(monitors, [](const MonitorRect& m) { return m.width <= 0 || m.height <= 0; });
    if (monitors.size() < 2) {
        return {};
    }
    std::stable_sort(monitors.begin(), monitors.end(), [](const MonitorRect& a, const MonitorRect& b) {
        return a.x != b.x ? a.x < b.x : a.y < b.y;
    });
    return monitors;
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
    RemoveMonitorFiles({});
}

void CMainFrame::ShowSet(const std::vector<MonitorRect>& monitors, EachMonitorWay way) {
    DesktopServices& desktop = CurrentPlatform().desktop;
    m_LaidOutFor = desktop.Monitors();
    const bool scaled = Stretch == kSizeFilled || Stretch == kSizeFitted;
    // Each monitor's picture as a composed picture lays it out; Auto-Tile
    // decides picture by picture, by its size.
    const Placement placement = Display == 1             ? Placement::Tiled
                                : Stretch == kSizeAsItIs ? Placement::AsItIs
                                : Stretch == kSizeFilled ? Placement::Filled
                                : Stretch == kSizeFitted ? Placement::Fitted
                                                         : Placement::Stretched;
    std::vector<ComposedPart> parts(monitors.size());
    for (std::size_t m = 0; m < monitors.size(); ++m) {
        const std::int32_t index = m_CurrentSet[m % m_CurrentSet.size()];
        if (index >= 0 && static_cast<std::size_t>(index) < m_ImageList.size()) {
            parts[m] = {desktop.ComposedPlace(monitors[m]), m_ImageList[static_cast<std::size_t>(index)],
                        placement, Display == 2 ? Width : 0, Display == 2 ? Height : 0};
        }
    }
    if (way == EachMonitorWay::Each) {
        // A file per monitor, laid out by the desktop's own key: a picture
        // that may be tiled is converted whole.
        const bool keyTiled = m_TileWritten ? *m_TileWritten : DesktopWallpaper::ReadTile();
        std::vector<Conversion> conversions;
        std::vector<std::size_t> converted;  // the monitor of each conversion
        for (std::size_t m = 0; m < monitors.size(); ++m) {
            if (parts[m].path.empty() || !IsConvertedPicture(parts[m].path)) {
                continue;
            }
            Conversion c{parts[m].path, WallpaperPath(WallpaperFileName(m + 1)), std::nullopt};
            parts[m].path.clear();  // until it is written
            if (c.bmpPath.empty()) {
                continue;  // the user has been told; the monitor keeps the background
            }
            if (scaled && !keyTiled) {
                c.goal = ScaleGoal{Stretch != kSizeFitted, {monitors[m]}};
            }
            conversions.push_back(std::move(c));
            converted.push_back(m);
        }
        ConvertAll(conversions);
        std::vector<std::size_t> written;  // each monitor's file this change wrote
        for (std::size_t k = 0; k < conversions.size(); ++k) {
            if (conversions[k].written) {
                parts[converted[k]].path = conversions[k].bmpPath;
                written.push_back(converted[k] + 1);
            }
        }
        std::vector<MonitorPicture> pictures;
        for (std::size_t m = 0; m < monitors.size(); ++m) {
            if (!parts[m].path.empty()) {
                pictures.push_back({monitors[m], parts[m].path});
            }
        }
        if (pictures.empty()) {
            return;  // the user has been told why
        }
        if (desktop.SetMonitorWallpapers(pictures)) {
            RemoveMonitorFiles(written);  // the desktop shows these
            return;
        }
        // Composed after all, from the files just written.
    }
    std::erase_if(parts, [](const ComposedPart& part) { return part.path.empty(); });
    if (parts.empty()) {
        return;
    }
    // Each picture is decoded straight into its place in the composed one.
    const std::string composed = WallpaperPath(kWallpaperFileName);
    if (!composed.empty() && ComposeWallpaperBmp(parts, desktop.BackgroundColour(), composed)) {
        desktop.SetComposedWallpaper(composed.c_str());
        RemoveMonitorFiles({});  // only steps on the way to the composed picture
    }
}

}  // namespace qm
