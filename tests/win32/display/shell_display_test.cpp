// The shell operations that need a display (run by with-display.sh on an
// Xvfb of their own): the popup menu's aftermath, the running copy found
// and asked, a dialog brought to the front, and a run that a failing
// handler ends.
#include <gtest/gtest.h>

#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/framework.h"
#include "platform/win32/win32_platform.h"
#include "platform/win32/windows_api.h"
#include "res/resource.h"
#include "settings/settings_dialog.h"

namespace qm {
namespace {

// A frame that does nothing but exist.
class QuietFrame : public FrameEvents {
public:
    int OnCreate() override { return 0; }
    void OnDestroy() override {}
    void OnTimer(unsigned) override {}
    long OnTrayIcon(unsigned, TrayMouse) override { return 1; }
    long OnRebuildImageList() override { return 1; }
    bool OnCommand(int) override { return false; }
    bool OnUpdateCommand(int, bool&) override { return false; }
    void OnTaskbarCreated() override {}
    void OnDisplayChange() override {}
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

// --- The running copy -------------------------------------------------------

class CommandRecorder : public QuietFrame {
public:
    bool OnCommand(int id) override {
        commands.push_back(id);
        return true;
    }
    std::vector<int> commands;
};

TEST(Win32RunningCopyTest, FoundByItsFrameAloneAndAskedForItsSettings) {
    // Explorer titles a window on the program's own folder "Quillmere".
    HWND foreign = CreateWindowExA(0, "STATIC", "Quillmere", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100,
                                   nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(foreign, nullptr);
    Win32Platform second;
    EXPECT_FALSE(second.FindTopLevelWindow("Quillmere")) << "another program's window";

    Win32Platform first;
    CommandRecorder frame;
    ASSERT_TRUE(first.CreateFrameWindow("Quillmere", frame));
    EXPECT_TRUE(second.FindTopLevelWindow("QUILLMERE"));
    EXPECT_TRUE(second.SendCommandToRunningCopy("Brandle Software Quillmere", ID_SETTINGS));
    // Posted, as a menu choice: it arrives through the running copy's loop.
    EXPECT_TRUE(frame.commands.empty());
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        DispatchMessageA(&msg);
    }
    EXPECT_EQ(frame.commands, std::vector<int>{ID_SETTINGS});
    first.CloseFrameWindow();
    DestroyWindow(foreign);
}

// --- A dialog brought to the front --------------------------------------------

struct FrontCheck {
    Win32Platform* platform = nullptr;
    DialogWindow* dialog = nullptr;
    HWND other = nullptr;
    HWND before = nullptr;
    char after[64] = {};  // the foreground window's title
    bool brought = false;
} g_front;

// From inside the dialog's loop: another window takes the foreground, then
// the About command's shell operation brings the box back.
void CALLBACK BringAboutBack(HWND, UINT, UINT_PTR id, DWORD) {
    KillTimer(nullptr, id);
    SetForegroundWindow(g_front.other);
    g_front.before = GetForegroundWindow();
    g_front.brought = g_front.platform->BringDialogToFront(IDD_ABOUTBOX);
    GetWindowTextA(GetForegroundWindow(), g_front.after, sizeof g_front.after);
    g_front.dialog->EndDialog(IDOK);
}

class AboutEvents : public DialogEvents {
public:
    bool OnInitDialog(DialogWindow& window) override {
        g_front.dialog = &window;
        SetTimer(nullptr, 0, 200, &BringAboutBack);
        return true;
    }
    void OnCommand(DialogWindow&, int) override {}
};

TEST(Win32DialogTest, OpenDialogOfATemplateComesToTheFront) {
    Win32Platform platform;
    QuietFrame frame;
    ASSERT_TRUE(platform.CreateFrameWindow("Quillmere Front Test", frame));
    g_front.platform = &platform;
    g_front.other = CreateWindowExA(0, "STATIC", "another program", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                                    0, 0, 200, 100, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(g_front.other, nullptr);
    AboutEvents events;
    EXPECT_EQ(platform.RunModalDialog(IDD_ABOUTBOX, events), IDOK);
    EXPECT_EQ(g_front.before, g_front.other);
    EXPECT_TRUE(g_front.brought);
    EXPECT_STREQ(g_front.after, "About Quillmere 2.0");
    EXPECT_FALSE(platform.BringDialogToFront(IDD_ABOUTBOX)) << "closed now";
    DestroyWindow(g_front.other);
    platform.CloseFrameWindow();
}

// --- The settings dialog's size list ------------------------------------------

// The real SettingsDialog in the real dialog manager: its drop-down list
// gets the four sizes from the string table, shows the one given, and
// hands back the one the user picks.
class SettingsWithSize : public SettingsDialog {
public:
    std::vector<std::string> items;
    LONG style = 0;
    int heightShut = 0;

protected:
    bool OnInitDialog() override {
        const bool focus = SettingsDialog::OnInitDialog();
        HWND dialog = FindWindowA("#32770", "Quillmere Settings");  // not active yet
        HWND list = GetDlgItem(dialog, IDC_STRETCH);
        style = GetWindowLongA(list, GWL_STYLE);
        RECT r{};
        GetWindowRect(list, &r);
        heightShut = r.bottom - r.top;
        const LRESULT count = SendMessageA(list, CB_GETCOUNT, 0, 0);
        for (LRESULT i = 0; i < count; ++i) {
            char text[64] = {};
            SendMessageA(list, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text));
            items.emplace_back(text);
        }
        // The user picks "Fitted" and presses OK.
        SendMessageA(list, CB_SETCURSEL, 3, 0);
        PostMessageA(dialog, WM_COMMAND, IDOK, 0);
        return focus;
    }
};

TEST(Win32DialogTest, SettingsSizeListShowsAndReturnsTheSize) {
    Win32Platform platform;
    SetCurrentPlatform(&platform.parts);
    QuietFrame frame;
    ASSERT_TRUE(platform.CreateFrameWindow("Quillmere Size Test", frame));
    SettingsWithSize dialog;
    dialog.m_Directory = "C:\\";
    dialog.m_Display = 0;
    dialog.m_Width = dialog.m_Height = 301;
    dialog.m_Time = 20;
    dialog.m_When = 0;
    dialog.m_Random = 0;
    dialog.m_Stretch = 2;
    EXPECT_EQ(dialog.DoModal(), IDOK);
    EXPECT_EQ(dialog.items, (std::vector<std::string>{"As it is", "Stretched", "Filled", "Fitted"}));
    EXPECT_EQ(dialog.style & 0x3, CBS_DROPDOWNLIST);
    EXPECT_GT(dialog.heightShut, 0);
    EXPECT_LT(dialog.heightShut, 40) << "the list is shut until opened";
    EXPECT_EQ(dialog.m_Stretch, 3);
    platform.CloseFrameWindow();
    SetCurrentPlatform(nullptr);
}

// --- A run that a handler's exception ends ------------------------------------

bool g_frameDestroyed = false;
bool g_boxClosedByTest = false;
std::string g_boxCaption;
std::string g_boxText;

// Every timer tick fails; its destruction stands for saving the settings.
class FailingFrame : public CFrameWnd {
public:
    int OnCreate() override {
        CurrentPlatform().shell.SetTimer(1, 50);
        return 0;
    }
    void OnTimer(unsigned) override { throw std::runtime_error("the tick failed"); }
    void OnDestroy() override {
        g_frameDestroyed = true;
        CFrameWnd::OnDestroy();
    }
};

class FailingApp : public CWinApp {
public:
    bool InitInstance() override {
        auto* frame = new FailingFrame;
        if (!frame->LoadFrame(IDR_MAINFRAME)) {
            delete frame;
            return false;
        }
        m_pMainWnd = frame;
        frame->HideWindow();
        return true;
    }
};

// Reads the box a while after it opened and closes it as a user would: a
// box that ends before then was never there for anyone to read.
void CALLBACK ReadAndCloseBox(HWND box, UINT, UINT_PTR id, DWORD) {
    KillTimer(box, id);
    char text[512] = {};
    GetWindowTextA(box, text, sizeof text);
    g_boxCaption = text;
    GetDlgItemTextA(box, 0xFFFF, text, sizeof text);  // the message's static text
    g_boxText = text;
    g_boxClosedByTest = true;
    PostMessageA(box, WM_COMMAND, IDOK, 0);
}

LRESULT CALLBACK WatchForBoxes(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_ACTIVATE) {
        HWND window = reinterpret_cast<HWND>(wParam);
        char className[16] = {};
        GetClassNameA(window, className, sizeof className);
        if (std::strcmp(className, "#32770") == 0) {
            SetTimer(window, 77, 300, &ReadAndCloseBox);
        }
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

TEST(Win32FailureTest, HandlerExceptionClosesTheFrameThenShowsABoxThatStays) {
    Win32Platform platform;
    SetCurrentPlatform(&platform.parts);
    FailingApp app;
    HHOOK hook = SetWindowsHookExA(WH_CBT, &WatchForBoxes, nullptr, GetCurrentThreadId());
    ASSERT_NE(hook, nullptr);
    const int code = AfxWinMain();
    UnhookWindowsHookEx(hook);
    SetCurrentPlatform(nullptr);

    EXPECT_EQ(code, 1);
    EXPECT_TRUE(g_frameDestroyed) << "the frame's end (saving, the icon) did not run";
    EXPECT_TRUE(g_boxClosedByTest) << "the box closed by itself: a quit message was left over";
    EXPECT_EQ(g_boxCaption, "Quillmere");
    EXPECT_EQ(g_boxText, "Quillmere has to close after an error:\nthe tick failed");
}

}  // namespace
}  // namespace qm
