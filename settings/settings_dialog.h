// The settings dialog: every option of the program in one modal dialog.
// The caller fills the members before DoModal and reads them after IDOK;
// the dialog itself touches no setting and no profile value.
#pragma once

#include <cstdint>
#include <string>

#include "platform/framework.h"

namespace qm {

// The ranges the dialog admits: the interval, in minutes or hours, and the
// Auto-Tile width and height thresholds, in pixels.
inline constexpr std::int32_t kMinTime = 1;
inline constexpr std::int32_t kMaxTime = 120;
inline constexpr std::int32_t kMinThreshold = 1;
inline constexpr std::int32_t kMaxThreshold = 2000;

class SettingsDialog : public CDialog {
public:
    SettingsDialog();

    std::int32_t m_AutoChange = 0;  // boolean
    std::string m_Directory;
    std::int32_t m_Display = -1;  // 0 Center, 1 Tile, 2 Auto-Tile, -1 none
    std::int32_t m_Height = 0;
    std::int32_t m_Random = -1;  // 0 sequential, 1 random, -1 none
    std::int32_t m_Time = 0;
    std::int32_t m_When = -1;  // 0 minutes, 1 hours, -1 none
    std::int32_t m_Width = 0;
    std::int32_t m_Stretch = 0;  // size: 0 as it is, 1 stretched, 2 filled, 3 fitted; -1 none
    // Whether the user's login starts the program: the system's entry, not
    // a profile value.
    std::int32_t m_StartAtLogin = 0;  // boolean
    std::int32_t m_Subfolders = 0;  // boolean
    std::int32_t m_EachMonitor = 0;  // boolean

protected:
    void DoDataExchange(CDataExchange& dx) override;
    bool OnInitDialog() override;
    void OnCancel() override;
    bool OnDialogCommand(int id) override;

private:
    void OnBrowse();
    void OnCenterOrTile();
    void OnAutoTile();
    void OnUpdateImageList();
};

}  // namespace qm
