// Modal dialogs from the module's templates, the DialogWindow the program
// drives them through, and the folder browser.
#include "platform/win32/win32_internal.h"

#include <algorithm>
#include <vector>

#include <commctrl.h>
#include <shlobj.h>

namespace qm {

using namespace win32;

namespace {

bool IsRadioButton(HWND control) {
    char className[16] = {};
    if (GetClassNameA(control, className, sizeof className) == 0 ||
        lstrcmpiA(className, "Button") != 0) {
        return false;
    }
    const LONG type = GetWindowLongA(control, GWL_STYLE) & BS_TYPEMASK;
    return type == BS_RADIOBUTTON || type == BS_AUTORADIOBUTTON;
}

class Win32DialogWindow : public DialogWindow {
public:
    HWND hwnd = nullptr;

    std::string GetItemText(int id) override {
        HWND item = GetDlgItem(hwnd, id);
        if (item == nullptr) {
            return {};
        }
        const int length = GetWindowTextLengthA(item);
        std::vector<char> buf(static_cast<std::size_t>(std::max(length, 0)) + 1, '\0');
        const UINT got = GetDlgItemTextA(hwnd, id, buf.data(), static_cast<int>(buf.size()));
        return std::string(buf.data(), std::min<std::size_t>(got, buf.size() - 1));
    }
    void SetItemText(int id, const std::string& text) override {
        SetDlgItemTextA(hwnd, id, text.c_str());
    }
    bool IsChecked(int id) override { return IsDlgButtonChecked(hwnd, id) == BST_CHECKED; }
    void SetCheck(int id, bool checked) override {
        CheckDlgButton(hwnd, id, checked ? BST_CHECKED : BST_UNCHECKED);
    }
    bool IsEnabled(int id) override {
        HWND item = GetDlgItem(hwnd, id);
        return item != nullptr && IsWindowEnabled(item);
    }
    void EnableItem(int id, bool enabled) override {
        HWND item = GetDlgItem(hwnd, id);
        if (item != nullptr) {
            EnableWindow(item, enabled ? TRUE : FALSE);
        }
    }
    void SetUpDownRange(int id, int lower, int upper) override {
        SendDlgItemMessageA(hwnd, id, UDM_SETRANGE, 0, MAKELPARAM(upper, lower));
    }
    void SetUpDownPos(int id, int pos) override {
        SendDlgItemMessageA(hwnd, id, UDM_SETPOS, 0, MAKELPARAM(pos, 0));
    }
    void SetComboItems(int id, const std::vector<std::string>& items) override {
        SendDlgItemMessageA(hwnd, id, CB_RESETCONTENT, 0, 0);
        for (const std::string& text : items) {
            SendDlgItemMessageA(hwnd, id, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
        }
    }
    int GetComboSelection(int id) override {
        const LRESULT index = SendDlgItemMessageA(hwnd, id, CB_GETCURSEL, 0, 0);
        return index == CB_ERR ? -1 : static_cast<int>(index);
    }
    void SetComboSelection(int id, int index) override {
        SendDlgItemMessageA(hwnd, id, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    }
    std::vector<int> RadioGroup(int firstId) override {
        std::vector<int> ids;
        HWND first = GetDlgItem(hwnd, firstId);
        for (HWND control = first; control != nullptr;
             control = GetWindow(control, GW_HWNDNEXT)) {
            if (control != first && (GetWindowLongA(control, GWL_STYLE) & WS_GROUP) != 0) {
                break;
            }
            if (IsRadioButton(control)) {
                ids.push_back(GetDlgCtrlID(control));
            }
        }
        return ids;
    }
    void FocusAndSelectAll(int id) override {
        HWND item = GetDlgItem(hwnd, id);
        if (item == nullptr) {
            return;
        }
        SendMessageA(hwnd, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(item), TRUE);
        SendMessageA(item, EM_SETSEL, 0, -1);
    }
    void EndDialog(int result) override { ::EndDialog(hwnd, result); }
    long SendToOwner(unsigned message) override {
        return static_cast<long>(SendMessageA(GetParent(hwnd), message, 0, 0));
    }
    void Raise() override { BringWindowToTop(hwnd); }
    void Activate() override { SetForegroundWindow(hwnd); }
    bool BrowseForFolder(const char* title, std::string& path) override {
        char displayName[MAX_PATH] = {};
        BROWSEINFOA info = {};
        info.hwndOwner = hwnd;
        info.pidlRoot = nullptr;
        info.pszDisplayName = displayName;
        info.lpszTitle = title;
        info.ulFlags = BIF_RETURNONLYFSDIRS;
        info.lpfn = nullptr;
        info.lParam = 0;
        LPITEMIDLIST items = SHBrowseForFolderA(&info);
        if (items == nullptr) {
            return false;  // cancelled
        }
        char chosen[MAX_PATH] = {};
        const bool isPath = SHGetPathFromIDListA(items, chosen) != FALSE;
        if (isPath) {
            path = chosen;
        }
        IMalloc* shellAllocator = nullptr;
        if (SUCCEEDED(SHGetMalloc(&shellAllocator)) && shellAllocator != nullptr) {
            shellAllocator->Free(items);
            shellAllocator->Release();
        }
        return isPath;
    }
};

struct DialogContext {
    Win32Shell* platform;
    DialogEvents* events;
    Win32DialogWindow window;
    unsigned templateId;
};

}  // namespace

INT_PTR CALLBACK Win32Shell::Callbacks::DialogProc(HWND dialog, UINT message, WPARAM wParam,
                                                   LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        auto* context = reinterpret_cast<DialogContext*>(lParam);
        SetWindowLongPtrA(dialog, DWLP_USER, lParam);
        context->window.hwnd = dialog;
        context->platform->OpenDialogs().Push(context->templateId, context->window);
    }
    auto* context = reinterpret_cast<DialogContext*>(GetWindowLongPtrA(dialog, DWLP_USER));
    if (context == nullptr) {
        return FALSE;
    }
    Win32Shell& self = *context->platform;
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrA(dialog, DWLP_USER, 0);
        self.OpenDialogs().Pop(context->window);
        return FALSE;
    }
    try {
        switch (message) {
        case WM_INITDIALOG:
            return context->events->OnInitDialog(context->window) ? TRUE : FALSE;
        case WM_COMMAND:
            // Button clicks (and OK/Cancel from the keyboard or close box)
            // or accelerators; edit-box notifications are not commands.
            if (HIWORD(wParam) == BN_CLICKED || HIWORD(wParam) == 1) {
                context->events->OnCommand(context->window, LOWORD(wParam));
                return TRUE;
            }
            return FALSE;
        default:
            return FALSE;
        }
    } catch (...) {
        self.keeper_.Keep(std::current_exception());
        ::EndDialog(dialog, -1);
        return TRUE;
    }
}

void* Win32Shell::DialogOwner() const {
    const DialogWindow* innermost = OpenDialogs().Innermost();
    return innermost != nullptr ? static_cast<const Win32DialogWindow*>(innermost)->hwnd : frame_;
}

int Win32Shell::RunModalDialog(unsigned templateId, DialogEvents& events) {
    DialogContext context{this, &events, {}, templateId};
    const INT_PTR result = DialogBoxParamA(Module(), MAKEINTRESOURCEA(templateId),
                                           static_cast<HWND>(DialogOwner()),
                                           &Callbacks::DialogProc,
                                           reinterpret_cast<LPARAM>(&context));
    keeper_.RethrowKept();
    return static_cast<int>(result);
}

}  // namespace qm
