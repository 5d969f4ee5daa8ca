// The application object: one running copy, the profile's key, the hidden
// frame with its tray icon.
#pragma once

#include <cstdint>

#include "platform/framework.h"

namespace qm {

// Title of the running copy's hidden frame, searched for at start.
inline constexpr const char* kFrameTitle = "Quillmere";
inline constexpr const char* kRegistryCompany = "Brandle Software";
// What every copy claims at start; only one copy of a session gets it.
inline constexpr const char* kSingleInstanceName = "Brandle Software Quillmere";
// How long after start a missing notification area is told to the user.
inline constexpr std::uint32_t kNoTrayWarningDelay = 10000;

class WallpaperApp : public CWinApp {
public:
    bool InitInstance() override;
    bool OnCmdMsg(int id) override;

    // Shows the about box; while it is open, brings it to the front.
    void OnAppAbout();

private:
    bool m_AboutOpen = false;
};

}  // namespace qm
