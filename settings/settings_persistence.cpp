// Loading and saving the settings in the program's profile section.
#include "frame/main_frame.h"
#include "platform/platform.h"

namespace qm {

namespace {
constexpr const char* kSection = "Config";
}

void CMainFrame::LoadSettings() {
    ProfileStore& p = CurrentPlatform().profile;
    // The folder the program was started in is only the first run's default.
    Directory = p.GetProfileString(kSection, "Directory",
                                   CurrentPlatform().system.CurrentDirectory());
    AutoChange = p.GetProfileInt(kSection, "AutoChange", 1);
    Display = p.GetProfileInt(kSection, "Display", 2);
    Height = p.GetProfileInt(kSection, "Height", 301);
    Width = p.GetProfileInt(kSection, "Width", 301);
    Random = p.GetProfileInt(kSection, "Random", 0);
    Stretch = p.GetProfileInt(kSection, "Stretch", 1);
    Time = p.GetProfileInt(kSection, "Time", 20);
    When = p.GetProfileInt(kSection, "When", 0);
    Subfolders = p.GetProfileInt(kSection, "Subfolders", 0);
    EachMonitor = p.GetProfileInt(kSection, "EachMonitor", 0);
}

void CMainFrame::SaveSettings() {
    ProfileStore& p = CurrentPlatform().profile;
    p.WriteProfileInt(kSection, "AutoChange", AutoChange);
    p.WriteProfileInt(kSection, "Stretch", Stretch);
    p.WriteProfileInt(kSection, "Display", Display);
    p.WriteProfileInt(kSection, "Height", Height);
    p.WriteProfileInt(kSection, "Width", Width);
    p.WriteProfileInt(kSection, "When", When);
    p.WriteProfileInt(kSection, "Random", Random);
    p.WriteProfileInt(kSection, "Time", Time);
    p.WriteProfileString(kSection, "Directory", Directory);
    p.WriteProfileInt(kSection, "Subfolders", Subfolders);
    p.WriteProfileInt(kSection, "EachMonitor", EachMonitor);
}

}  // namespace qm
