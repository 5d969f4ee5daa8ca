// The Windows program's entry point: installs the real platform and hands
// over to the framework, which runs the one application object.
#include <cstdlib>

#include "platform/framework.h"
#include "platform/win32/win32_platform.h"
#include "platform/win32/windows_api.h"

#include <commctrl.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    // A different random sequence on every run.
    std::srand(static_cast<unsigned>(GetTickCount()));

    qm::Win32Platform platform;
    qm::SetCurrentPlatform(&platform.parts);

    // The settings dialog's up-down controls.
    INITCOMMONCONTROLSEX controls = {};
    controls.dwSize = sizeof controls;
    controls.dwICC = ICC_UPDOWN_CLASS;
    InitCommonControlsEx(&controls);

    const int code = qm::AfxWinMain();
    qm::SetCurrentPlatform(nullptr);
    return code;
}
