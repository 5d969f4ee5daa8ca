// The program's hidden main frame: owns the settings and the rotation state
// for the whole run, and turns icon clicks, menu commands and timer ticks
// into changes of wallpaper.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "imaging/wallpaper_bmp.h"
#include "platform/framework.h"

namespace qm {

// The automatic-change timer on the frame's window.
inline constexpr unsigned IDT_CHANGE = 1;
// The one-shot timer that gathers a burst of monitor changes into one
// re-layout, and how long it waits after the last of them.
inline constexpr unsigned IDT_RELAYOUT = 2;
inline constexpr std::uint32_t kRelayoutDelay = 500;

// The size of a picture that is not tiled: the values of Stretch. Any
// other value counts as stretched, as every value but 0 did before there
// were four.
inline constexpr std::int32_t kSizeAsItIs = 0;
inline constexpr std::int32_t kSizeStretched = 1;
inline constexpr std::int32_t kSizeFilled = 2;
inline constexpr std::int32_t kSizeFitted = 3;

// What the icon's tip says.
inline constexpr const char* kTrayTip = "Quillmere, click to change wallpaper";

class CMainFrame : public CFrameWnd {
public:
    // Loads the settings and writes them straight back; creates no window.
    CMainFrame();

    // Adds the notification-area icon, then builds the first image list;
    // an empty folder gets a message and the settings dialog.
    void AddTrayIcon();
    void RemoveTrayIcon();

    // Window messages.
    int OnCreate() override;
    void OnDestroy() override;
    void OnTimer(unsigned id) override;
    long OnTrayIcon(unsigned id, TrayMouse mouse) override;
    long OnRebuildImageList() override;
    bool OnUpdateCommand(int id, bool& enabled) override;
    void OnTaskbarCreated() override;
    void OnDisplayChange() override;

    // The Settings command: runs the dialog and applies what OK returns;
    // while the dialog is open, brings it to the front instead.
    void OnSettings();

    // Timer interval by the settings: Time minutes, or hours unless When
    // is 0, with Time held to the settings dialog's range as the dialog
    // shows it (so never under a minute, and never wrapped).
    std::uint32_t ChangeInterval() const;

    void LoadSettings();
    void SaveSettings();

    // Rebuilds m_ImageList from Directory (and with Subfolders, from every
    // folder under it); nonzero when candidates were found.
    int BuildImageList();

    // Picks the next (or, with previous set, the previous) image and sets it.
    // 0 when the list is empty.
    int ChangeWallpaper(int previous);
    void OnPreviousWallpaper();
    void ReapplyWallpaper();

    void SetWallpaperStyle();
    void OnCenterCurrent();
    void OnTileCurrent();
    // Enabled state of the two re-layout menu items.
    bool OnUpdateCenterCurrent();
    bool OnUpdateTileCurrent();

    // Decodes a JPEG, PNG or WebP into the wallpaper BMP; its path, or ""
    // on failure. onlyAsLargeAsShown (for a filled or fitted picture): a
    // JPEG decoded no larger than the monitors need (ScaleDenominator).
    std::string MakeWallpaperBmp(const std::string& path, bool onlyAsLargeAsShown = false);

    // Settings, named after their profile values.
    std::int32_t Stretch = 1;
    std::int32_t AutoChange = 1;
    std::int32_t Random = 0;
    std::int32_t When = 0;
    std::int32_t Time = 20;
    std::int32_t Height = 301;
    std::int32_t Display = 2;
    std::int32_t Width = 301;
    // 1: the list takes the pictures of every folder under Directory too.
    std::int32_t Subfolders = 0;
    // 1: each monitor shows a picture of its own.
    std::int32_t EachMonitor = 0;

    // Rotation state.
    std::int32_t m_LastIndex = -1;
    std::int32_t m_CurrentIndex = -1;
    std::int32_t m_PreviousIndex = 0;
    // The pictures shown, monitor by monitor (left to right, then top to
    // bottom), when each shows its own; m_CurrentIndex is the last of them.
    std::vector<std::int32_t> m_CurrentSet;

    std::string Directory;
    TrayIconData m_nid;
    bool m_TrayIconShown = false;  // added and not yet removed
    // The monitors the current picture was last laid out for.
    std::vector<MonitorRect> m_LaidOutFor;
    std::vector<std::string> m_ImageList;

protected:
    bool OnFrameCommand(int id) override;

private:
    // The path of the entry at index, converted when it is a JPEG, handed to
    // the desktop unless empty.
    void ShowImage(std::int32_t index);
    // The monitors that each show a picture of their own, in the set's
    // order, and how the desktop shows them; empty when every monitor shows
    // the one picture.
    std::vector<MonitorRect> SetMonitors(EachMonitorWay& way) const;
    // Shows m_CurrentSet, a picture per monitor, laid out for each.
    void ShowSet(const std::vector<MonitorRect>& monitors, EachMonitorWay way);

    // Marks a change, re-application or style step as under way for as long
    // as it runs, its message boxes included.
    class ChangeUnderWay {
    public:
        explicit ChangeUnderWay(CMainFrame& frame) : depth_(frame.m_ChangesUnderWay) { ++depth_; }
        ~ChangeUnderWay() { --depth_; }
        ChangeUnderWay(const ChangeUnderWay&) = delete;
        ChangeUnderWay& operator=(const ChangeUnderWay&) = delete;

    private:
        int& depth_;
    };
    int m_ChangesUnderWay = 0;
    // The tile value this run last wrote; none before the first write. A
    // picture the desktop will tile is converted at its full size.
    std::optional<bool> m_TileWritten;
    bool m_SettingsOpen = false;  // OnSettings' dialog is up
};

// The desktop's "WallpaperStyle" for a size (a Stretch value), tiled or not.
std::string StyleString(std::int32_t stretch, bool tiled);

// True when the path's last four characters are ".jpg" in any case.
bool IsJpegPath(const std::string& path);
// True for a picture the desktop is not handed as it is but converted to
// the wallpaper BMP first: a JPEG (".jpg", ".jpeg"), PNG or WebP.
bool IsConvertedPicture(const std::string& path);

}  // namespace qm
