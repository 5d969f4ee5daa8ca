#include "settings/settings_dialog.h"

#include <algorithm>
#include <string>
#include <vector>

#include "res/resource.h"

namespace qm {

namespace {

// An up-down control shows a stored value outside its range as the nearest
// bound, so its buddy always holds a value that OK accepts. For the interval
// that is also the value the change timer runs with.
void InitUpDown(DialogWindow& window, int id, std::int32_t lower, std::int32_t upper,
                std::int32_t value) {
    window.SetUpDownRange(id, lower, upper);
    window.SetUpDownPos(id, std::clamp(value, lower, upper));
}

}  // namespace

SettingsDialog::SettingsDialog() : CDialog(IDD_SETTINGS) {}

void SettingsDialog::DoDataExchange(CDataExchange& dx) {
    CDialog::DoDataExchange(dx);
    DDX_Check(dx, IDC_AUTOCHANGE, m_AutoChange);
    DDX_Text(dx, IDC_DIRECTORY, m_Directory);
    DDX_Radio(dx, IDC_DISPLAY_CENTER, m_Display);
    DDX_Text(dx, IDC_HEIGHT, m_Height);
    DDV_MinMaxInt(dx, m_Height, kMinThreshold, kMaxThreshold);
    DDX_Radio(dx, IDC_RANDOM_SEQUENTIAL, m_Random);
    DDX_Text(dx, IDC_TIME, m_Time);
    DDV_MinMaxInt(dx, m_Time, kMinTime, kMaxTime);
    DDX_Radio(dx, IDC_WHEN_MINUTES, m_When);
    DDX_Text(dx, IDC_WIDTH, m_Width);
    DDV_MinMaxInt(dx, m_Width, kMinThreshold, kMaxThreshold);
    DDX_Check(dx, IDC_SUBFOLDERS, m_Subfolders);
    DDX_CBIndex(dx, IDC_STRETCH, m_Stretch);
    DDX_Check(dx, IDC_START_AT_LOGIN, m_StartAtLogin);
    DDX_Check(dx, IDC_EACH_MONITOR, m_EachMonitor);
}

bool SettingsDialog::OnInitDialog() {
    // The sizes' names, in the order of their values, before the exchange
    // selects one.
    std::vector<std::string> sizes;
    for (unsigned id = IDS_SIZE_AS_IS; id <= IDS_SIZE_FITTED; ++id) {
        sizes.push_back(CurrentPlatform().shell.LoadString(id));
    }
    Window().SetComboItems(IDC_STRETCH, sizes);
    CDialog::OnInitDialog();
    InitUpDown(Window(), IDC_WIDTH_SPIN, kMinThreshold, kMaxThreshold, m_Width);
    InitUpDown(Window(), IDC_HEIGHT_SPIN, kMinThreshold, kMaxThreshold, m_Height);
    InitUpDown(Window(), IDC_TIME_SPIN, kMinTime, kMaxTime, m_Time);
    if (m_Display != 2) {
        Window().EnableItem(IDC_WIDTH, false);
        Window().EnableItem(IDC_HEIGHT, false);
    }
    return true;
}

void SettingsDialog::OnCancel() { CDialog::OnCancel(); }

bool SettingsDialog::OnDialogCommand(int id) {
    switch (id) {
        case IDC_BROWSE:
            OnBrowse();
            return true;
        case IDC_DISPLAY_CENTER:
        case IDC_DISPLAY_TILE:
            OnCenterOrTile();
            return true;
        case IDC_DISPLAY_AUTOTILE:
            OnAutoTile();
            return true;
        case IDC_UPDATE_IMAGE_LIST:
            OnUpdateImageList();
            return true;
        default:
            return false;
    }
}

void SettingsDialog::OnBrowse() {
    std::string path;
    if (Window().BrowseForFolder("Select a folder containing Wallpapers", path)) {
        Window().SetItemText(IDC_DIRECTORY, path);
    }
}

void SettingsDialog::OnCenterOrTile() {
    Window().EnableItem(IDC_WIDTH, false);
    Window().EnableItem(IDC_HEIGHT, false);
}

void SettingsDialog::OnAutoTile() {
    Window().EnableItem(IDC_WIDTH, true);
    Window().EnableItem(IDC_HEIGHT, true);
}

void SettingsDialog::OnUpdateImageList() {
    // Sent, so the list is rebuilt (from the stored folder) before the
    // click returns.
    Window().SendToOwner(WM_UPDATE_IMAGE_LIST);
}

}  // namespace qm
