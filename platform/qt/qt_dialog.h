// Modal dialogs built from the resource script's templates: every control
// at its template rectangle, converted from dialog units to pixels with the
// real font's metrics; check boxes, radio groups, edit boxes with their
// up-down controls, drop-down lists, push buttons with the default one,
// statics and group boxes; the tab order, access keys, Enter and Escape as the Windows
// dialog manager gives them.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

#include <QDialog>

#include "platform/resources/resource_script.h"
#include "platform/shell.h"

class QAbstractButton;
class QButtonGroup;
class QLineEdit;
class QToolButton;

namespace qm {

class ExceptionKeeper;

// Dialog units of a font: x = dlu * baseX / 4, y = dlu * baseY / 8, with
// baseX the average width of the Latin letters and baseY the font's height.
struct DialogUnits {
    double baseX = 0;
    double baseY = 0;
    int X(int dlu) const;
    int Y(int dlu) const;
};
DialogUnits DialogUnitsOf(const QFont& font);

// The up-down control: two arrows that step a position within a range and,
// with UDS_SETBUDDYINT, write it into the buddy edit box as a plain
// integer. The range is the Windows control's (lower to upper; the default
// 100 to 0 makes the up arrow count down).
class UpDownControl : public QWidget {
    Q_OBJECT

public:
    UpDownControl(std::uint32_t style, QLineEdit* buddy, QWidget* parent);
    void SetRange(int lower, int upper);
    void SetPos(int pos);
    int Pos() const { return pos_; }
    // One step towards the upper end (+1) or the lower end (-1).
    void Step(int direction);
    QToolButton* UpArrow() const { return up_; }
    QToolButton* DownArrow() const { return down_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    std::uint32_t style_;
    QLineEdit* buddy_;
    QToolButton* up_;
    QToolButton* down_;
    int lower_ = 100;
    int upper_ = 0;
    int pos_ = 0;
};

class QtDialog : public QDialog, public DialogWindow {
    Q_OBJECT

public:
    struct Hooks {
        ExceptionKeeper& keeper;
        // WM_UPDATE_IMAGE_LIST and the like, sent to the owner; its result.
        std::function<long(unsigned message)> sendToOwner;
        // Called before the dialog asks for the input: the shell hands it
        // the focus a second start's launch token gives (may be empty).
        std::function<void(QWidget*)> beforeActivate = {};
    };

    // Throws rc::ScriptError for a control class it cannot build.
    QtDialog(const rc::Dialog& tmpl, DialogEvents& events, QWidget* owner, Hooks hooks);
    ~QtDialog() override;

    // OnInitDialog, then the modal loop until EndDialog; its value.
    int Run();
    bool Ended() const { return ended_; }

    // The widget of control id (the first with that id), or null.
    QWidget* Control(int id) const;
    const DialogUnits& Units() const { return units_; }

    // DialogWindow
    std::string GetItemText(int id) override;
    void SetItemText(int id, const std::string& text) override;
    bool IsChecked(int id) override;
    void SetCheck(int id, bool checked) override;
    bool IsEnabled(int id) override;
    void EnableItem(int id, bool enabled) override;
    void SetUpDownRange(int id, int lower, int upper) override;
    void SetUpDownPos(int id, int pos) override;
    void SetComboItems(int id, const std::vector<std::string>& items) override;
    int GetComboSelection(int id) override;
    void SetComboSelection(int id, int index) override;
    std::vector<int> RadioGroup(int firstId) override;
    void FocusAndSelectAll(int id) override;
    void EndDialog(int result) override;
    long SendToOwner(unsigned message) override;
    bool BrowseForFolder(const char* title, std::string& path) override;
    void Raise() override { raise(); }
    void Activate() override;

protected:
    // Escape and the close box are the Cancel command, as on Windows: the
    // dialog ends only through EndDialog.
    void reject() override;
    void closeEvent(QCloseEvent* event) override;
    // Enter on a check box or radio button is the default button, as on
    // Windows (some desktops' themes make it press the focused button).
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct Item {
        const rc::Control* tmpl;
        QWidget* widget;
        QButtonGroup* group = nullptr;  // radio buttons: their group
    };

    void Build(const rc::Dialog& tmpl);
    void Place(const rc::Dialog& tmpl);
    void Command(int id);
    void FocusFirstTabStop();
    Item* Find(int id);
    UpDownControl* UpDown(int id);
    // An edit box's text for the program: the bytes it was given, while
    // it still shows them.
    std::string EditText(int id, const QString& shown) const;

    DialogEvents& events_;
    Hooks hooks_;
    QWidget* owner_;
    std::vector<Item> items_;
    DialogUnits units_;
    // Edit boxes given bytes the file-name encoding cannot spell: those
    // bytes and the text shown for them.
    struct SetBytes {
        std::string bytes;
        QString shown;
    };
    std::map<int, SetBytes> setBytes_;
    bool ended_ = false;
    int result_ = 0;
};

}  // namespace qm
