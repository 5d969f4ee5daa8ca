// The small application framework the program is written against: one
// application object, one frame window, modal dialogs with a data-exchange
// routine. It sits on the platform seam, so the same classes run as the
// Windows program and under the headless tests.
#pragma once

#include <cstdint>
#include <string>

#include "platform/platform.h"

namespace qm {

class CFrameWnd;

// The application object. Construct exactly one; AfxWinMain runs it.
class CWinApp {
public:
    CWinApp();
    virtual ~CWinApp();
    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;

    // False ends the program without entering the message loop.
    virtual bool InitInstance() = 0;
    // The application's command map; the base serves the exit command.
    // False when the command is not the application's.
    virtual bool OnCmdMsg(int id);

    // From now on the profile lives under <company>\<application name>.
    void SetRegistryKey(const char* company);

    // The application's name, from the title string resource.
    std::string m_pszAppName;
    // The main window; the loop ends when it is destroyed. Owned.
    CFrameWnd* m_pMainWnd = nullptr;
};

CWinApp* AfxGetApp();

// Initialises the application, runs the message loop if InitInstance
// allowed it, and releases the main window; the process's exit code.
int AfxWinMain();

// The application's message box, captioned with its name.
int AfxMessageBox(const std::string& text, BoxIcon icon = BoxIcon::None);

// A top-level frame window that is routed commands and window messages.
class CFrameWnd : public FrameEvents {
public:
    CFrameWnd() = default;
    ~CFrameWnd() override = default;
    CFrameWnd(const CFrameWnd&) = delete;
    CFrameWnd& operator=(const CFrameWnd&) = delete;

    // Creates the window titled with the first line of string resourceId;
    // false when creation failed (OnCreate returned -1).
    bool LoadFrame(unsigned resourceId);
    bool HasWindow() const { return created_; }
    void HideWindow();
    // Closes the window as its close box would.
    void DestroyWindow();

    // FrameEvents defaults: creation goes on, everything else is ignored.
    int OnCreate() override { return 0; }
    void OnDestroy() override { created_ = false; }
    void OnTimer(unsigned) override {}
    long OnTrayIcon(unsigned, TrayMouse) override { return 0; }
    long OnRebuildImageList() override { return 0; }
    // Frame first (OnFrameCommand), then the application.
    bool OnCommand(int id) final;
    bool OnUpdateCommand(int, bool&) override { return false; }
    void OnTaskbarCreated() override {}
    void OnDisplayChange() override {}

protected:
    // The frame's own command map; false passes the command on.
    virtual bool OnFrameCommand(int) { return false; }

private:
    bool created_ = false;
};

class CDialog;

// One run of a dialog's data exchange, in one direction.
class CDataExchange {
public:
    CDataExchange(DialogWindow& window, bool saveAndValidate)
        : m_window(window), m_bSaveAndValidate(saveAndValidate) {}
    // Ends the exchange at the current control (which gets the focus).
    [[noreturn]] void Fail();

    DialogWindow& m_window;
    bool m_bSaveAndValidate;
    int m_idLastControl = 0;
    bool m_bEditLastControl = false;
};

// Controls <-> members. On a failed validation they show the message,
// give the control the focus with its text selected and stop the exchange.
void DDX_Check(CDataExchange& dx, int id, std::int32_t& value);
void DDX_Text(CDataExchange& dx, int id, std::string& value);
void DDX_Text(CDataExchange& dx, int id, std::int32_t& value);
void DDX_Radio(CDataExchange& dx, int firstId, std::int32_t& value);
// A drop-down list's selected index (-1: none).
void DDX_CBIndex(CDataExchange& dx, int id, std::int32_t& value);
void DDV_MinMaxInt(CDataExchange& dx, std::int32_t value, std::int32_t minValue,
                   std::int32_t maxValue);

// Validation message texts.
std::string NotAnIntegerText();
std::string OutOfRangeText(std::int32_t minValue, std::int32_t maxValue);

// A modal dialog built on a template.
class CDialog : public DialogEvents {
public:
    explicit CDialog(unsigned templateId) : m_nIDTemplate(templateId) {}
    ~CDialog() override = default;
    CDialog(const CDialog&) = delete;
    CDialog& operator=(const CDialog&) = delete;

    // kIdOk or kIdCancel (or what EndDialog was given).
    int DoModal();

    // Members -> controls (false) or controls -> members (true); false when
    // a validation failed.
    bool UpdateData(bool saveAndValidate);

protected:
    virtual void DoDataExchange(CDataExchange&) {}
    // Base: members to controls; true gives the focus to the first tab stop.
    virtual bool OnInitDialog();
    // Base: controls to members, then close with IDOK if that succeeded.
    virtual void OnOK();
    // Base: close with IDCANCEL, nothing read.
    virtual void OnCancel();
    // The dialog's own button handlers; false passes the command on along
    // the route (OK, Cancel, then the main frame and the application).
    virtual bool OnDialogCommand(int) { return false; }

    void EndDialog(int result);
    // The open dialog; valid between OnInitDialog and the end of DoModal.
    DialogWindow& Window() { return *m_window; }

    unsigned m_nIDTemplate;

private:
    bool OnInitDialog(DialogWindow& window) final;
    void OnCommand(DialogWindow& window, int id) final;

    DialogWindow* m_window = nullptr;
};

}  // namespace qm
