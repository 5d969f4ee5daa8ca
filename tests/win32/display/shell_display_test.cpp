// The shell operations that need a display (run by with-display.sh on an
// Xvfb of their own): the popup menu's aftermath.
#include <gtest/gtest.h>

#include "platform/win32/win32_platform.h"
#include "platform/win32/windows_api.h"
#include "res/resource.h"

namespace qm {
namespace {

// A frame that does nothing but exist.
class QuietFrame : public FrameEvents {
public:
    int OnCreate() override { return 0; }
    void OnDestroy() override {}
    void OnTimer(unsigned) override {}
    long OnTrayIcon(unsigned, unsigned) override { return 1; }
    long OnRebuildImageList() override { return 1; }
    bool OnCommand(int) override { return false; }
    bool OnUpdateCommand(int, bool&) override { return false; }
    void OnTaskbarCreated() override {}
};

// Closes the open menu from inside its loop, as a click elsewhere would.
void CALLBACK EndTheMenu(HWND, UINT, UINT_PTR id, DWORD) {
    KillTimer(nullptr, id);
    EndMenu();
}

TEST(Win32MenuTest, FrameGetsAMessageOnceThePopupMenuHasClosed) {
    Win32Platform platform;
    QuietFrame events;
    ASSERT_TRUE(platform.CreateFrameWindow("Quillmere Menu Test", events));
    HWND frame = FindWindowA("QuillmereFrame", "Quillmere Menu Test");
    ASSERT_NE(frame, nullptr);
    MSG msg;
    while (PeekMessageA(&msg, frame, 0, 0, PM_REMOVE)) {
        DispatchMessageA(&msg);
    }

    SetTimer(nullptr, 0, 200, &EndTheMenu);
    ASSERT_TRUE(platform.TrackPopupMenu(IDR_MAINFRAME));
    // Without a message after the menu, the next one can vanish at once.
    bool nullMessage = false;
    while (PeekMessageA(&msg, frame, 0, 0, PM_REMOVE)) {
        nullMessage = nullMessage || msg.message == WM_NULL;
    }
    EXPECT_TRUE(nullMessage);
    platform.CloseFrameWindow();
}

}  // namespace
}  // namespace qm
