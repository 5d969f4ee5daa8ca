// The dialogs built from the templates: every text shown whole at the
// default font and at a large one, nothing outside the dialog or on top of
// another text; the radio groups and up-down controls as the dialog
// exchange uses them.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QTimer>
#include <QToolButton>

#include "platform/qt/qt_dialog.h"
#include "platform/qt/qt_events.h"
#include "platform/qt/qt_shell.h"
#include "res/resource.h"

namespace qm {
namespace {

class NoEvents : public DialogEvents {
public:
    bool OnInitDialog(DialogWindow&) override { return true; }
    void OnCommand(DialogWindow&, int) override {}
};

QString Shown(QString text) {
    text.replace(QStringLiteral("&&"), QStringLiteral("\x01"));
    text.remove(u'&');
    text.replace(u'\x01', u'&');
    return text;
}

// The part of a control its text needs, in dialog coordinates; empty for
// controls without text.
QRect TextArea(QWidget* w) {
    const QFontMetrics fm(w->font());
    if (auto* label = qobject_cast<QLabel*>(w); label && !label->text().isEmpty()) {
        const QRect box = fm.boundingRect(label->contentsRect(), Qt::TextWordWrap | Qt::AlignTop,
                                          Shown(label->text()));
        return box.translated(w->pos());
    }
    if (auto* box = qobject_cast<QCheckBox*>(w)) {
        return QRect(w->pos(), QSize(box->sizeHint().width(), w->height()));
    }
    if (auto* radio = qobject_cast<QRadioButton*>(w)) {
        return QRect(w->pos(), QSize(radio->sizeHint().width(), w->height()));
    }
    if (auto* push = qobject_cast<QPushButton*>(w)) {
        // The text and the button's frame on both sides.
        const int frame = w->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, w);
        const int width = fm.horizontalAdvance(Shown(push->text())) + 2 * frame + 4;
        return QRect(w->x() + (w->width() - width) / 2, w->y(), width, w->height());
    }
    if (auto* group = qobject_cast<QGroupBox*>(w); group && !group->title().isEmpty()) {
        return QRect(w->pos(), QSize(fm.horizontalAdvance(group->title()) + 8, fm.height()));
    }
    return {};
}

void ExpectWhole(unsigned templateId) {
    ExceptionKeeper keeper = LoopEndingKeeper();
    NoEvents events;
    QtDialog dialog(rc::EmbeddedScript().dialogs.at(static_cast<int>(templateId)), events, nullptr,
                    {keeper, {}});
    const QRect client = dialog.rect();
    std::vector<std::pair<QWidget*, QRect>> texts;
    for (QWidget* w : dialog.findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        EXPECT_TRUE(client.contains(w->geometry()))
            << templateId << ": a control lies outside the dialog at " << w->x() << "," << w->y();
        const QRect text = TextArea(w);
        if (text.isEmpty()) {
            continue;
        }
        EXPECT_TRUE(w->geometry().adjusted(0, 0, 0, 1).contains(text))
            << templateId << ": the text of a " << w->metaObject()->className()
            << " is cut: needs " << text.width() << "x" << text.height() << ", has "
            << w->width() << "x" << w->height();
        if (qobject_cast<QGroupBox*>(w) == nullptr) {
            texts.emplace_back(w, text);
        }
    }
    for (std::size_t i = 0; i < texts.size(); ++i) {
        for (std::size_t k = i + 1; k < texts.size(); ++k) {
            EXPECT_FALSE(texts[i].second.intersects(texts[k].second))
                << templateId << ": two texts overlap at " << texts[i].second.x() << ","
                << texts[i].second.y();
        }
    }
}

TEST(QtDialogs, EveryTextIsWholeAtTheDefaultFontAndALargeOne) {
    ExpectWhole(IDD_SETTINGS);
    ExpectWhole(IDD_ABOUTBOX);
    const QFont normal = QApplication::font();
    QFont large = normal;
    large.setPointSizeF(normal.pointSizeF() * 1.5);
    QApplication::setFont(large);
    ExpectWhole(IDD_SETTINGS);
    ExpectWhole(IDD_ABOUTBOX);
    QApplication::setFont(normal);
}

TEST(QtDialogs, RadioGroupsCanBeClearedAndUpDownsWriteTheirBuddies) {
    ExceptionKeeper keeper = LoopEndingKeeper();
    NoEvents events;
    QtDialog dialog(rc::EmbeddedScript().dialogs.at(IDD_SETTINGS), events, nullptr, {keeper, {}});
    const std::vector<int> display = dialog.RadioGroup(IDC_DISPLAY_CENTER);
    ASSERT_EQ(display, (std::vector<int>{IDC_DISPLAY_CENTER, IDC_DISPLAY_TILE, IDC_DISPLAY_AUTOTILE}));
    // A stored value outside the group shows none selected: the exclusive
    // group must let its checked button be cleared.
    dialog.SetCheck(IDC_DISPLAY_TILE, true);
    dialog.SetCheck(IDC_DISPLAY_TILE, false);
    for (int id : display) {
        EXPECT_FALSE(dialog.IsChecked(id));
    }
    // The user's click still selects one of the group only.
    dialog.SetCheck(IDC_DISPLAY_CENTER, true);
    qobject_cast<QRadioButton*>(dialog.Control(IDC_DISPLAY_AUTOTILE))->click();
    EXPECT_FALSE(dialog.IsChecked(IDC_DISPLAY_CENTER));
    EXPECT_TRUE(dialog.IsChecked(IDC_DISPLAY_AUTOTILE));

    dialog.SetUpDownRange(IDC_TIME_SPIN, 1, 120);
    dialog.SetUpDownPos(IDC_TIME_SPIN, 500);
    EXPECT_EQ(dialog.GetItemText(IDC_TIME), "120");  // the nearer end
    auto* updown = qobject_cast<UpDownControl*>(dialog.Control(IDC_TIME_SPIN));
    ASSERT_NE(updown, nullptr);
    updown->Step(+1);
    EXPECT_EQ(dialog.GetItemText(IDC_TIME), "120");
    // What the user typed is where the arrows go on from.
    dialog.SetItemText(IDC_TIME, "7");
    updown->Step(+1);
    EXPECT_EQ(dialog.GetItemText(IDC_TIME), "8");
    dialog.SetItemText(IDC_TIME, "abc");
    updown->Step(-1);
    EXPECT_EQ(dialog.GetItemText(IDC_TIME), "7");
    // Arrows of a disabled box still work, as on Windows.
    dialog.SetUpDownRange(IDC_WIDTH_SPIN, 1, 2000);
    dialog.SetUpDownPos(IDC_WIDTH_SPIN, 1999);
    dialog.EnableItem(IDC_WIDTH, false);
    qobject_cast<UpDownControl*>(dialog.Control(IDC_WIDTH_SPIN))->UpArrow()->click();
    EXPECT_EQ(dialog.GetItemText(IDC_WIDTH), "2000");
    EXPECT_FALSE(dialog.IsEnabled(IDC_WIDTH));
}

// The size list: a drop-down list (no typing) with the items the program
// gives, one line high where the template's height counts the open list,
// its label's access key leading to it; a selection past the items clears.
TEST(QtDialogs, SizeListIsADropDownOfTheProgramsItems) {
    ExceptionKeeper keeper = LoopEndingKeeper();
    NoEvents events;
    QtDialog dialog(rc::EmbeddedScript().dialogs.at(IDD_SETTINGS), events, nullptr, {keeper, {}});
    auto* combo = qobject_cast<QComboBox*>(dialog.Control(IDC_STRETCH));
    ASSERT_NE(combo, nullptr);
    EXPECT_FALSE(combo->isEditable());
    dialog.SetComboItems(IDC_STRETCH, {"As it is", "Stretched", "Filled", "Fitted"});
    EXPECT_EQ(dialog.GetComboSelection(IDC_STRETCH), -1);
    dialog.SetComboSelection(IDC_STRETCH, 2);
    EXPECT_EQ(combo->currentText(), QStringLiteral("Filled"));
    combo->setCurrentIndex(3);  // the user's pick
    EXPECT_EQ(dialog.GetComboSelection(IDC_STRETCH), 3);
    dialog.SetComboSelection(IDC_STRETCH, 4);
    EXPECT_EQ(dialog.GetComboSelection(IDC_STRETCH), -1);
    EXPECT_LE(combo->height(), combo->sizeHint().height());
    // In the Wallpaper Display group.
    bool inGroup = false;
    for (QGroupBox* box : dialog.findChildren<QGroupBox*>()) {
        inGroup = inGroup || (box->title() == QStringLiteral("Wallpaper Display") &&
                              box->geometry().contains(combo->geometry()));
    }
    EXPECT_TRUE(inGroup);
    bool labelled = false;
    for (QLabel* label : dialog.findChildren<QLabel*>()) {
        labelled = labelled || (label->buddy() == combo && label->text() == QStringLiteral("Si&ze:"));
    }
    EXPECT_TRUE(labelled);
}

TEST(QtDialogs, AFolderNameThatIsNotUtf8IsShownAndKeptUnlessEdited) {
    ExceptionKeeper keeper = LoopEndingKeeper();
    NoEvents events;
    QtDialog dialog(rc::EmbeddedScript().dialogs.at(IDD_SETTINGS), events, nullptr, {keeper, {}});
    const std::string latin1 = "/home/me/pics-\xe9";
    dialog.SetItemText(IDC_DIRECTORY, latin1);
    auto* edit = qobject_cast<QLineEdit*>(dialog.Control(IDC_DIRECTORY));
    ASSERT_NE(edit, nullptr);
    EXPECT_TRUE(edit->text().startsWith(QStringLiteral("/home/me/pics-"))) << edit->text().toStdString();
    EXPECT_EQ(dialog.GetItemText(IDC_DIRECTORY), latin1);
    // Edited: what the user typed.
    edit->setText(QStringLiteral("/home/me/other"));
    EXPECT_EQ(dialog.GetItemText(IDC_DIRECTORY), "/home/me/other");
}

// A Settings command while the dialog runs: the shell raises and activates
// the open dialog of that template, over another window that had the focus.
TEST(QtDialogs, OpenDialogOfATemplateComesToTheFront) {
    QtShell shell;
    QWidget other;
    struct Events : NoEvents {
        QtShell& shell;
        QWidget& other;
        QWidget* before = nullptr;
        QString after;  // the active window's title
        bool brought = false;
        Events(QtShell& s, QWidget& o) : shell(s), other(o) {}
        bool OnInitDialog(DialogWindow& window) override {
            QTimer::singleShot(0, [this, &window] {
                other.show();
                other.activateWindow();
                QApplication::processEvents();
                before = QApplication::activeWindow();
                brought = shell.BringDialogToFront(IDD_SETTINGS);
                QApplication::processEvents();
                after = QApplication::activeWindow() ? QApplication::activeWindow()->windowTitle() : "";
                window.EndDialog(kIdOk);
            });
            return true;
        }
    } events(shell, other);
    EXPECT_EQ(shell.RunModalDialog(IDD_SETTINGS, events), kIdOk);
    EXPECT_EQ(events.before, &other);
    EXPECT_TRUE(events.brought);
    EXPECT_EQ(events.after, QStringLiteral("Quillmere Settings"));
    EXPECT_FALSE(shell.BringDialogToFront(IDD_SETTINGS)) << "closed now";
}

}  // namespace
}  // namespace qm
