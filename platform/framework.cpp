#include "platform/framework.h"

#include <cerrno>
#include <cstdlib>
#include <exception>
#include <new>

#include "res/resource.h"

namespace qm {

namespace {

CWinApp* g_app = nullptr;

// Thrown by a failed exchange step; caught by UpdateData, never further.
struct ExchangeFailed {};

std::string FirstLine(const std::string& text) { return text.substr(0, text.find('\n')); }

// A plain signed decimal integer that fits in 32 bits, blanks around it
// allowed; nothing else.
bool ParseInteger(const std::string& text, std::int32_t& value) {
    const char* begin = text.c_str();
    while (*begin == ' ' || *begin == '\t') {
        ++begin;
    }
    const char* digits = begin + ((*begin == '-' || *begin == '+') ? 1 : 0);
    if (*digits < '0' || *digits > '9') {
        return false;
    }
    char* end = nullptr;
    errno = 0;
    const long long parsed = std::strtoll(begin, &end, 10);
    while (*end == ' ' || *end == '\t') {
        ++end;
    }
    if (*end != '\0' || errno == ERANGE || parsed < INT32_MIN || parsed > INT32_MAX) {
        return false;
    }
    value = static_cast<std::int32_t>(parsed);
    return true;
}

// A handler failed and ended the message loop: keep what the user set and
// take the icon away, as closing the main window does, then say, after the
// application's name, why the program ends. The exit code of a failed run.
int EndAfterFailure(CWinApp& app, const std::string& why) {
    try {
        if (app.m_pMainWnd != nullptr) {
            app.m_pMainWnd->DestroyWindow();
        }
    } catch (...) {
        // Closing failed as well: the box is all that is left to do.
    }
    try {
        AfxMessageBox(app.m_pszAppName + why, BoxIcon::Error);
    } catch (...) {
        // Not even the box: the process ends without a word.
    }
    return 1;
}

}  // namespace

CWinApp::CWinApp() { g_app = this; }

CWinApp::~CWinApp() {
    if (g_app == this) {
        g_app = nullptr;
    }
}

bool CWinApp::OnCmdMsg(int id) {
    if (id == ID_APP_EXIT) {
        // As the main window's close box would.
        if (m_pMainWnd != nullptr) {
            m_pMainWnd->DestroyWindow();
        }
        return true;
    }
    return false;
}

void CWinApp::SetRegistryKey(const char* company) {
    CurrentPlatform().profile.SetRegistryKey(company, m_pszAppName.c_str());
}

CWinApp* AfxGetApp() { return g_app; }

int AfxWinMain() {
    CWinApp* app = AfxGetApp();
    if (app == nullptr) {
        return 1;
    }
    if (app->m_pszAppName.empty()) {
        app->m_pszAppName = CurrentPlatform().shell.LoadString(IDS_APP_TITLE);
    }
    int code = 0;
    try {
        if (app->InitInstance()) {
            code = CurrentPlatform().shell.RunMessageLoop();
        }
    } catch (const std::bad_alloc&) {
        code = EndAfterFailure(*app, " ran out of memory and has to close.");
    } catch (const std::exception& e) {
        code = EndAfterFailure(*app, std::string(" has to close after an error:\n") + e.what());
    } catch (...) {
        code = EndAfterFailure(*app, " has to close after an error.");
    }
    delete app->m_pMainWnd;
    app->m_pMainWnd = nullptr;
    return code;
}

int AfxMessageBox(const std::string& text, BoxIcon icon) {
    return CurrentPlatform().shell.AppMessageBox(text, icon);
}

bool CFrameWnd::LoadFrame(unsigned resourceId) {
    created_ = true;  // OnCreate runs inside and may already use the window
    ShellServices& shell = CurrentPlatform().shell;
    if (!shell.CreateFrameWindow(FirstLine(shell.LoadString(resourceId)), *this)) {
        created_ = false;
    }
    return created_;
}

void CFrameWnd::HideWindow() { CurrentPlatform().shell.HideFrameWindow(); }

void CFrameWnd::DestroyWindow() {
    if (created_) {
        CurrentPlatform().shell.CloseFrameWindow();
    }
}

bool CFrameWnd::OnCommand(int id) {
    if (OnFrameCommand(id)) {
        return true;
    }
    CWinApp* app = AfxGetApp();
    return app != nullptr && app->OnCmdMsg(id);
}

// --- Dialog data exchange ---------------------------------------------------

void CDataExchange::Fail() {
    m_window.FocusAndSelectAll(m_idLastControl);
    throw ExchangeFailed{};
}

void DDX_Check(CDataExchange& dx, int id, std::int32_t& value) {
    dx.m_idLastControl = id;
    dx.m_bEditLastControl = false;
    if (dx.m_bSaveAndValidate) {
        value = dx.m_window.IsChecked(id) ? 1 : 0;
    } else {
        dx.m_window.SetCheck(id, value == 1);
    }
}

void DDX_Text(CDataExchange& dx, int id, std::string& value) {
    dx.m_idLastControl = id;
    dx.m_bEditLastControl = true;
    if (dx.m_bSaveAndValidate) {
        value = dx.m_window.GetItemText(id);
    } else {
        dx.m_window.SetItemText(id, value);
    }
}

void DDX_Text(CDataExchange& dx, int id, std::int32_t& value) {
    dx.m_idLastControl = id;
    dx.m_bEditLastControl = true;
    if (dx.m_bSaveAndValidate) {
        if (!ParseInteger(dx.m_window.GetItemText(id), value)) {
            AfxMessageBox(NotAnIntegerText(), BoxIcon::Exclamation);
            dx.Fail();
        }
    } else {
        dx.m_window.SetItemText(id, std::to_string(value));
    }
}

void DDX_Radio(CDataExchange& dx, int firstId, std::int32_t& value) {
    dx.m_idLastControl = firstId;
    dx.m_bEditLastControl = false;
    const std::vector<int> group = dx.m_window.RadioGroup(firstId);
    if (dx.m_bSaveAndValidate) {
        value = -1;
        for (std::size_t i = 0; i < group.size(); ++i) {
            if (dx.m_window.IsChecked(group[i])) {
                value = static_cast<std::int32_t>(i);
                break;
            }
        }
    } else {
        for (std::size_t i = 0; i < group.size(); ++i) {
            dx.m_window.SetCheck(group[i], static_cast<std::int32_t>(i) == value);
        }
    }
}

void DDX_CBIndex(CDataExchange& dx, int id, std::int32_t& value) {
    dx.m_idLastControl = id;
    dx.m_bEditLastControl = false;
    if (dx.m_bSaveAndValidate) {
        value = dx.m_window.GetComboSelection(id);
    } else {
        dx.m_window.SetComboSelection(id, value);
    }
}

void DDV_MinMaxInt(CDataExchange& dx, std::int32_t value, std::int32_t minValue,
                   std::int32_t maxValue) {
    if (dx.m_bSaveAndValidate && (value < minValue || value > maxValue)) {
        AfxMessageBox(OutOfRangeText(minValue, maxValue), BoxIcon::Exclamation);
        dx.Fail();
    }
}

std::string NotAnIntegerText() { return "Please enter an integer."; }

std::string OutOfRangeText(std::int32_t minValue, std::int32_t maxValue) {
    return "Please enter an integer between " + std::to_string(minValue) + " and " +
           std::to_string(maxValue) + ".";
}

// --- Modal dialogs ----------------------------------------------------------

int CDialog::DoModal() {
    const int result = CurrentPlatform().shell.RunModalDialog(m_nIDTemplate, *this);
    m_window = nullptr;
    return result;
}

bool CDialog::UpdateData(bool saveAndValidate) {
    CDataExchange dx(*m_window, saveAndValidate);
    try {
        DoDataExchange(dx);
    } catch (const ExchangeFailed&) {
        return false;
    }
    return true;
}

bool CDialog::OnInitDialog() {
    UpdateData(false);
    return true;
}

void CDialog::OnOK() {
    if (UpdateData(true)) {
        EndDialog(kIdOk);
    }
}

void CDialog::OnCancel() { EndDialog(kIdCancel); }

void CDialog::EndDialog(int result) { m_window->EndDialog(result); }

bool CDialog::OnInitDialog(DialogWindow& window) {
    m_window = &window;
    return OnInitDialog();
}

void CDialog::OnCommand(DialogWindow& window, int id) {
    m_window = &window;
    if (OnDialogCommand(id)) {
        return;
    }
    if (id == kIdOk) {
        OnOK();
    } else if (id == kIdCancel) {
        OnCancel();
    } else if (CWinApp* app = AfxGetApp(); app != nullptr) {
        // On along the command route: the main frame, then the application.
        if (app->m_pMainWnd != nullptr) {
            app->m_pMainWnd->OnCommand(id);
        } else {
            app->OnCmdMsg(id);
        }
    }
}

}  // namespace qm
