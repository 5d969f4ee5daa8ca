#include "platform/qt/qt_dialog.h"

#include <algorithm>
#include <cmath>
#include <optional>

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QGroupBox>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QRadioButton>
#include <QScreen>
#include <QStyle>
#include <QToolButton>

#include "platform/qt/file_names.h"
#include "platform/qt/qt_events.h"
#include "platform/qt/qt_icon.h"
#include "platform/platform.h"
#include "platform/system.h"

namespace qm {

namespace {

// Style bits, by the names the resource script uses.
std::uint32_t Sym(const char* name) {
    return static_cast<std::uint32_t>(rc::BuiltinSymbols().find(name)->second);
}
struct Styles {
    std::uint32_t wsGroup = Sym("WS_GROUP");
    std::uint32_t wsTabStop = Sym("WS_TABSTOP");
    std::uint32_t wsDisabled = Sym("WS_DISABLED");
    std::uint32_t wsBorder = Sym("WS_BORDER");
    std::uint32_t wsSysMenu = Sym("WS_SYSMENU");
    std::uint32_t bsDefPushButton = Sym("BS_DEFPUSHBUTTON");
    std::uint32_t bsCheckBox = Sym("BS_CHECKBOX");
    std::uint32_t bsAutoCheckBox = Sym("BS_AUTOCHECKBOX");
    std::uint32_t bs3State = Sym("BS_3STATE");
    std::uint32_t bsAuto3State = Sym("BS_AUTO3STATE");
    std::uint32_t bsRadioButton = Sym("BS_RADIOBUTTON");
    std::uint32_t bsAutoRadioButton = Sym("BS_AUTORADIOBUTTON");
    std::uint32_t bsGroupBox = Sym("BS_GROUPBOX");
    std::uint32_t ssCenter = Sym("SS_CENTER");
    std::uint32_t ssRight = Sym("SS_RIGHT");
    std::uint32_t ssIcon = Sym("SS_ICON");
    std::uint32_t ssNoPrefix = Sym("SS_NOPREFIX");
    std::uint32_t esCenter = Sym("ES_CENTER");
    std::uint32_t esRight = Sym("ES_RIGHT");
    std::uint32_t esReadOnly = Sym("ES_READONLY");
    std::uint32_t udsWrap = Sym("UDS_WRAP");
    std::uint32_t udsSetBuddyInt = Sym("UDS_SETBUDDYINT");
    std::uint32_t udsAutoBuddy = Sym("UDS_AUTOBUDDY");
    std::uint32_t udsArrowKeys = Sym("UDS_ARROWKEYS");
};
const Styles& S() {
    static const Styles styles;
    return styles;
}
constexpr std::uint32_t kButtonTypeMask = 0x0F;
constexpr std::uint32_t kStaticTypeMask = 0x1F;

bool IsClass(const rc::Control& c, const char* name) {
    return QString::fromStdString(c.className).compare(QLatin1String(name), Qt::CaseInsensitive) ==
           0;
}

std::uint32_t ButtonType(const rc::Control& c) { return c.style & kButtonTypeMask; }

bool IsRadio(const rc::Control& c) {
    return IsClass(c, "Button") &&
           (ButtonType(c) == S().bsRadioButton || ButtonType(c) == S().bsAutoRadioButton);
}

// The text as drawn: access-key marks taken out, "&&" shown as "&".
QString Shown(const QString& text) {
    QString out;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == u'&' && i + 1 < text.size()) {
            ++i;
        }
        out += text[i];
    }
    return out;
}

// A buddy's text the up-down control takes up: a plain signed decimal.
std::optional<int> PlainInteger(const QString& text) {
    static const QRegularExpression plain(QStringLiteral("^-?[0-9]{1,9}$"));
    if (!plain.match(text).hasMatch()) {
        return std::nullopt;
    }
    return text.toInt();
}

}  // namespace

// --- Dialog units -----------------------------------------------------------

int DialogUnits::X(int dlu) const { return static_cast<int>(std::lround(dlu * baseX / 4.0)); }
int DialogUnits::Y(int dlu) const { return static_cast<int>(std::lround(dlu * baseY / 8.0)); }

DialogUnits DialogUnitsOf(const QFont& font) {
    const QFontMetrics metrics(font);
    const int width = metrics.horizontalAdvance(
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    DialogUnits units;
    units.baseX = (width / 26 + 1) / 2;  // the Windows dialog manager's rounding
    units.baseY = metrics.height();
    return units;
}

// --- The up-down control ----------------------------------------------------

UpDownControl::UpDownControl(std::uint32_t style, QLineEdit* buddy, QWidget* parent)
    : QWidget(parent), style_(style), buddy_(buddy), up_(new QToolButton(this)),
      down_(new QToolButton(this)) {
    for (QToolButton* arrow : {up_, down_}) {
        arrow->setArrowType(arrow == up_ ? Qt::UpArrow : Qt::DownArrow);
        arrow->setAutoRepeat(true);
        arrow->setFocusPolicy(Qt::NoFocus);
        arrow->setIconSize(QSize(7, 7));
    }
    connect(up_, &QToolButton::clicked, this, [this] { Step(+1); });
    connect(down_, &QToolButton::clicked, this, [this] { Step(-1); });
    if (buddy_ != nullptr && (style_ & S().udsArrowKeys)) {
        buddy_->installEventFilter(this);
    }
}

void UpDownControl::SetRange(int lower, int upper) {
    lower_ = lower;
    upper_ = upper;
}

void UpDownControl::SetPos(int pos) {
    // A position outside the range is pulled to its nearer end.
    pos_ = std::clamp(pos, std::min(lower_, upper_), std::max(lower_, upper_));
    if (buddy_ != nullptr && (style_ & S().udsSetBuddyInt)) {
        buddy_->setText(QString::number(pos_));  // plain digits: no separators
    }
}

void UpDownControl::Step(int direction) {
    const int lo = std::min(lower_, upper_);
    const int hi = std::max(lower_, upper_);
    if (buddy_ != nullptr && (style_ & S().udsSetBuddyInt)) {
        // What the user typed counts when it is a position.
        if (auto typed = PlainInteger(buddy_->text()); typed && *typed >= lo && *typed <= hi) {
            pos_ = *typed;
        }
    }
    const int step = (upper_ >= lower_) ? direction : -direction;
    long next = static_cast<long>(pos_) + step;
    if (next < lo || next > hi) {
        if (style_ & S().udsWrap) {
            next = next < lo ? hi : lo;
        } else {
            next = next < lo ? lo : hi;
        }
    }
    SetPos(static_cast<int>(next));
}

bool UpDownControl::eventFilter(QObject* watched, QEvent* event) {
    if (watched == buddy_ && event->type() == QEvent::KeyPress && isEnabled()) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Up || key == Qt::Key_Down) {
            Step(key == Qt::Key_Up ? +1 : -1);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void UpDownControl::resizeEvent(QResizeEvent*) {
    const int half = height() / 2;
    up_->setGeometry(0, 0, width(), half);
    down_->setGeometry(0, half, width(), height() - half);
}

// --- The dialog ---------------------------------------------------------------

QtDialog::QtDialog(const rc::Dialog& tmpl, DialogEvents& events, QWidget* owner, Hooks hooks)
    : QDialog(owner), events_(events), hooks_(std::move(hooks)), owner_(owner) {
    Qt::WindowFlags flags = Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint;
    if (tmpl.style & S().wsSysMenu) {
        flags |= Qt::WindowCloseButtonHint;
    }
    setWindowFlags(flags);
    setWindowTitle(FromFileNameEncoding(tmpl.caption));
    // Modal to its owner only: the tray icon and the timer go on working
    // while it is open, as they do beside a Windows dialog.
    setWindowModality(Qt::WindowModal);
    Build(tmpl);
    Place(tmpl);
}

QtDialog::~QtDialog() = default;

void QtDialog::Build(const rc::Dialog& tmpl) {
    QButtonGroup* radios = nullptr;
    for (const rc::Control& c : tmpl.controls) {
        const QString text = FromFileNameEncoding(c.text);
        const bool startsGroup = (c.style & S().wsGroup) != 0;
        const bool tabStop = (c.style & S().wsTabStop) != 0;
        if (startsGroup) {
            radios = nullptr;
        }
        Item item{&c, nullptr};
        if (IsClass(c, "Button")) {
            const std::uint32_t type = ButtonType(c);
            QAbstractButton* button = nullptr;
            if (type == S().bsGroupBox) {
                item.widget = new QGroupBox(text, this);
                item.widget->setFocusPolicy(Qt::NoFocus);
            } else {
                // Plain (not automatic) check boxes and radio buttons behave
                // as automatic ones; the templates use only those.
                if (type == S().bsCheckBox || type == S().bsAutoCheckBox ||
                    type == S().bs3State || type == S().bsAuto3State) {
                    auto* box = new QCheckBox(text, this);
                    box->setTristate(type == S().bs3State || type == S().bsAuto3State);
                    button = box;
                } else if (IsRadio(c)) {
                    button = new QRadioButton(text, this);
                    button->setAutoExclusive(false);
                    if (radios == nullptr) {
                        radios = new QButtonGroup(this);
                        radios->setExclusive(true);
                    }
                    radios->addButton(button);
                    item.group = radios;
                } else {
                    auto* push = new QPushButton(text, this);
                    push->setDefault(type == S().bsDefPushButton);
                    button = push;
                }
                button->setFocusPolicy(tabStop ? Qt::StrongFocus : Qt::ClickFocus);
                if (qobject_cast<QPushButton*>(button) == nullptr) {
                    button->installEventFilter(this);
                }
                const int id = c.id;
                connect(button, &QAbstractButton::clicked, this, [this, id] { Command(id); });
                item.widget = button;
            }
        } else if (IsClass(c, "Edit")) {
            auto* edit = new QLineEdit(this);
            edit->setText(text);
            edit->setReadOnly((c.style & S().esReadOnly) != 0);
            edit->setFrame((c.style & S().wsBorder) != 0);
            const std::uint32_t align = c.style & 0x3;
            edit->setAlignment(align == S().esCenter  ? Qt::AlignHCenter
                               : align == S().esRight ? Qt::AlignRight
                                                      : Qt::AlignLeft);
            edit->setFocusPolicy(tabStop ? Qt::StrongFocus : Qt::ClickFocus);
            item.widget = edit;
        } else if (IsClass(c, "Static")) {
            auto* label = new QLabel(this);
            const std::uint32_t type = c.style & kStaticTypeMask;
            if (type == S().ssIcon) {
                label->setPixmap(ResourcePixmap(static_cast<unsigned>(c.ordinal), 32));
            } else {
                label->setText(text);
                label->setWordWrap(true);
                label->setAlignment(Qt::AlignTop | (type == S().ssCenter  ? Qt::AlignHCenter
                                                    : type == S().ssRight ? Qt::AlignRight
                                                                          : Qt::AlignLeft));
                label->setTextFormat(Qt::PlainText);
            }
            label->setFocusPolicy(Qt::NoFocus);
            item.widget = label;
        } else if (IsClass(c, "ComboBox")) {
            // A drop-down list (CBS_DROPDOWNLIST, the only kind the
            // templates use): its items come from the program.
            auto* combo = new QComboBox(this);
            combo->setFocusPolicy(tabStop ? Qt::StrongFocus : Qt::ClickFocus);
            item.widget = combo;
        } else if (IsClass(c, "msctls_updown32")) {
            QLineEdit* buddy = nullptr;
            if ((c.style & S().udsAutoBuddy) && !items_.empty()) {
                buddy = qobject_cast<QLineEdit*>(items_.back().widget);
            }
            item.widget = new UpDownControl(c.style, buddy, this);
        } else {
            throw rc::ScriptError("dialog control class \"" + c.className +
                                  "\" is not supported");
        }
        if (c.style & S().wsDisabled) {
            item.widget->setEnabled(false);
        }
        items_.push_back(item);
    }
    // A static's access key moves the focus to the next tab stop after it.
    for (std::size_t i = 0; i < items_.size(); ++i) {
        auto* label = qobject_cast<QLabel*>(items_[i].widget);
        if (label == nullptr || (items_[i].tmpl->style & S().ssNoPrefix) ||
            !label->text().contains(u'&')) {
            continue;
        }
        for (std::size_t k = i + 1; k < items_.size(); ++k) {
            if (items_[k].tmpl->style & S().wsTabStop) {
                label->setBuddy(items_[k].widget);
                break;
            }
        }
    }
}

void QtDialog::Place(const rc::Dialog& tmpl) {
    const DialogUnits font = DialogUnitsOf(this->font());
    const QFontMetrics metrics(this->font());
    // Every text must be shown whole. The template's rectangles were made
    // for a narrower font than most desktops have, so the dialog units are
    // widened (all alike, keeping the layout) until every text fits.
    auto fits = [&](const DialogUnits& u) {
        for (const Item& item : items_) {
            const rc::Control& c = *item.tmpl;
            const int w = u.X(c.cx);
            const int h = u.Y(c.cy);
            QString text;
            int need = 0;
            if (auto* label = qobject_cast<QLabel*>(item.widget); label && label->pixmap().isNull()) {
                const QRect box = metrics.boundingRect(QRect(0, 0, w, 10 * h),
                                                       Qt::TextWordWrap, Shown(label->text()));
                if (box.width() > w || box.height() > h + 1) {
                    return false;
                }
                continue;
            }
            if (auto* group = qobject_cast<QGroupBox*>(item.widget)) {
                need = metrics.horizontalAdvance(Shown(group->title())) + 2 * u.X(4);
            } else if (auto* push = qobject_cast<QPushButton*>(item.widget)) {
                need = metrics.horizontalAdvance(Shown(push->text())) +
                       2 * style()->pixelMetric(QStyle::PM_ButtonMargin, nullptr, push);
            } else if (auto* button = qobject_cast<QAbstractButton*>(item.widget)) {
                need = button->sizeHint().width();
            }
            if (need > w) {
                return false;
            }
        }
        return true;
    };
    units_ = font;
    while (!fits(units_) && units_.baseX < 2 * font.baseX) {
        units_.baseX += 0.125;
    }

    for (const Item& item : items_) {
        const rc::Control& c = *item.tmpl;
        QRect rect(units_.X(c.x), units_.Y(c.y), units_.X(c.cx), units_.Y(c.cy));
        if (auto* label = qobject_cast<QLabel*>(item.widget); label && !label->pixmap().isNull()) {
            // An icon static takes the icon's own size.
            rect.setSize(label->pixmap().size());
        } else if (auto* combo = qobject_cast<QComboBox*>(item.widget)) {
            // The template's height includes the list that drops down.
            rect.setHeight(std::min(rect.height(), combo->sizeHint().height()));
        }
        item.widget->setGeometry(rect);
    }
    // A control lying across a group box's frame line (the check box that
    // titles an untitled group box) paints its background over the line,
    // as Windows controls do; others leave the group box's own shade.
    for (const Item& item : items_) {
        if (qobject_cast<QGroupBox*>(item.widget) != nullptr) {
            continue;
        }
        const QRect rect = item.widget->geometry();
        for (const Item& other : items_) {
            if (qobject_cast<QGroupBox*>(other.widget) == nullptr) {
                continue;
            }
            const QRect frame = other.widget->geometry();
            const QRect inner = frame.adjusted(3, 3, -3, -3);
            if (rect.intersects(frame) && !inner.contains(rect)) {
                item.widget->setAutoFillBackground(true);
            }
        }
    }
    setFixedSize(units_.X(tmpl.cx), units_.Y(tmpl.cy));

    // Centred over the dialog it belongs to, or on the screen when its
    // owner is the hidden frame.
    QRect area;
    if (owner_ != nullptr && owner_->isVisible()) {
        area = owner_->frameGeometry();
    } else if (QScreen* screen = QGuiApplication::primaryScreen()) {
        area = screen->availableGeometry();
    }
    if (area.isValid()) {
        move(area.center() - QPoint(width() / 2, height() / 2));
    }
}

QtDialog::Item* QtDialog::Find(int id) {
    for (Item& item : items_) {
        if (item.tmpl->id == id) {
            return &item;
        }
    }
    return nullptr;
}

QWidget* QtDialog::Control(int id) const {
    for (const Item& item : items_) {
        if (item.tmpl->id == id) {
            return item.widget;
        }
    }
    return nullptr;
}

UpDownControl* QtDialog::UpDown(int id) {
    Item* item = Find(id);
    return item != nullptr ? qobject_cast<UpDownControl*>(item->widget) : nullptr;
}

int QtDialog::Run() {
    bool focusFirst = false;
    hooks_.keeper.Guard([&] { focusFirst = events_.OnInitDialog(*this); });
    if (hooks_.keeper.HasKept()) {
        return -1;
    }
    if (!ended_) {
        if (focusFirst) {
            FocusFirstTabStop();
        }
        exec();
    }
    // A loop ended from outside (the frame closed, an exception) ended the
    // dialog without a result: the value of a dialog that failed.
    return ended_ ? result_ : -1;
}

void QtDialog::FocusFirstTabStop() {
    for (Item& item : items_) {
        if ((item.tmpl->style & S().wsTabStop) && item.widget->isEnabled()) {
            item.widget->setFocus(Qt::TabFocusReason);
            // The dialog manager selects an edit box's text with the focus.
            if (auto* edit = qobject_cast<QLineEdit*>(item.widget)) {
                edit->selectAll();
            }
            return;
        }
    }
}

void QtDialog::Command(int id) {
    if (ended_) {
        return;
    }
    hooks_.keeper.Guard([&] { events_.OnCommand(*this, id); });
}

void QtDialog::reject() { Command(kIdCancel); }

bool QtDialog::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            // The dialog's own handling: the default button.
            keyPressEvent(static_cast<QKeyEvent*>(event));
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void QtDialog::closeEvent(QCloseEvent* event) {
    event->ignore();
    Command(kIdCancel);
}

std::string QtDialog::EditText(int id, const QString& shown) const {
    auto it = setBytes_.find(id);
    if (it != setBytes_.end() && it->second.shown == shown) {
        return it->second.bytes;
    }
    return ToFileNameEncoding(shown);
}

std::string QtDialog::GetItemText(int id) {
    Item* item = Find(id);
    if (item == nullptr) {
        return {};
    }
    if (auto* edit = qobject_cast<QLineEdit*>(item->widget)) {
        return EditText(id, edit->text());
    }
    if (auto* button = qobject_cast<QAbstractButton*>(item->widget)) {
        return ToFileNameEncoding(button->text());
    }
    if (auto* label = qobject_cast<QLabel*>(item->widget)) {
        return ToFileNameEncoding(label->text());
    }
    if (auto* group = qobject_cast<QGroupBox*>(item->widget)) {
        return ToFileNameEncoding(group->title());
    }
    return {};
}

void QtDialog::SetItemText(int id, const std::string& text) {
    Item* item = Find(id);
    if (item == nullptr) {
        return;
    }
    const QString t = FromFileNameEncoding(text);
    if (auto* edit = qobject_cast<QLineEdit*>(item->widget)) {
        edit->setText(t);
        // A name in bytes the encoding cannot spell is shown readably and
        // handed back as it came while the box is not edited.
        if (SurvivesFileNameEncoding(text)) {
            setBytes_.erase(id);
        } else {
            setBytes_[id] = {text, edit->text()};
        }
    } else if (auto* button = qobject_cast<QAbstractButton*>(item->widget)) {
        button->setText(t);
    } else if (auto* label = qobject_cast<QLabel*>(item->widget)) {
        label->setText(t);
    } else if (auto* group = qobject_cast<QGroupBox*>(item->widget)) {
        group->setTitle(t);
    }
}

bool QtDialog::IsChecked(int id) {
    Item* item = Find(id);
    auto* button = item != nullptr ? qobject_cast<QAbstractButton*>(item->widget) : nullptr;
    if (auto* box = qobject_cast<QCheckBox*>(button)) {
        return box->checkState() == Qt::Checked;
    }
    return button != nullptr && button->isChecked();
}

void QtDialog::SetCheck(int id, bool checked) {
    Item* item = Find(id);
    auto* button = item != nullptr ? qobject_cast<QAbstractButton*>(item->widget) : nullptr;
    if (button == nullptr) {
        return;
    }
    // An exclusive group refuses to clear its checked button; the program
    // may clear them all (a stored value outside the group).
    if (item->group != nullptr) {
        item->group->setExclusive(false);
    }
    button->setChecked(checked);
    if (item->group != nullptr) {
        item->group->setExclusive(true);
    }
}

void QtDialog::SetComboItems(int id, const std::vector<std::string>& items) {
    Item* item = Find(id);
    auto* combo = item != nullptr ? qobject_cast<QComboBox*>(item->widget) : nullptr;
    if (combo == nullptr) {
        return;
    }
    combo->clear();
    for (const std::string& text : items) {
        combo->addItem(FromFileNameEncoding(text));
    }
    combo->setCurrentIndex(-1);
}

int QtDialog::GetComboSelection(int id) {
    Item* item = Find(id);
    auto* combo = item != nullptr ? qobject_cast<QComboBox*>(item->widget) : nullptr;
    return combo != nullptr ? combo->currentIndex() : -1;
}

void QtDialog::SetComboSelection(int id, int index) {
    Item* item = Find(id);
    if (auto* combo = item != nullptr ? qobject_cast<QComboBox*>(item->widget) : nullptr) {
        combo->setCurrentIndex(index >= 0 && index < combo->count() ? index : -1);
    }
}

bool QtDialog::IsEnabled(int id) {
    Item* item = Find(id);
    return item != nullptr && item->widget->isEnabled();
}

void QtDialog::EnableItem(int id, bool enabled) {
    if (Item* item = Find(id)) {
        item->widget->setEnabled(enabled);
    }
}

void QtDialog::SetUpDownRange(int id, int lower, int upper) {
    if (UpDownControl* updown = UpDown(id)) {
        updown->SetRange(lower, upper);
    }
}

void QtDialog::SetUpDownPos(int id, int pos) {
    if (UpDownControl* updown = UpDown(id)) {
        updown->SetPos(pos);
    }
}

std::vector<int> QtDialog::RadioGroup(int firstId) {
    std::vector<int> ids;
    std::size_t first = items_.size();
    for (std::size_t i = 0; i < items_.size(); ++i) {
        if (items_[i].tmpl->id == firstId) {
            first = i;
            break;
        }
    }
    for (std::size_t i = first; i < items_.size(); ++i) {
        if (i > first && (items_[i].tmpl->style & S().wsGroup)) {
            break;
        }
        if (IsRadio(*items_[i].tmpl)) {
            ids.push_back(items_[i].tmpl->id);
        }
    }
    return ids;
}

void QtDialog::FocusAndSelectAll(int id) {
    Item* item = Find(id);
    if (item == nullptr) {
        return;
    }
    item->widget->setFocus(Qt::OtherFocusReason);
    if (auto* edit = qobject_cast<QLineEdit*>(item->widget)) {
        edit->selectAll();
    }
}

void QtDialog::EndDialog(int result) {
    ended_ = true;
    result_ = result;
    done(result);
}

long QtDialog::SendToOwner(unsigned message) {
    return hooks_.sendToOwner ? hooks_.sendToOwner(message) : 0;
}

void QtDialog::Activate() {
    if (hooks_.beforeActivate) {
        hooks_.beforeActivate(this);
    }
    activateWindow();
}

bool QtDialog::BrowseForFolder(const char* title, std::string& path) {
    // Modal to this dialog only, like the rest (the tray stays usable).
    QFileDialog chooser(this, FromFileNameEncoding(title), QDir::homePath());
    chooser.setFileMode(QFileDialog::Directory);
    chooser.setOption(QFileDialog::ShowDirsOnly);
    chooser.setWindowModality(Qt::WindowModal);
    if (chooser.exec() != QDialog::Accepted || chooser.selectedFiles().isEmpty()) {
        return false;
    }
    const QByteArray chosen = QFile::encodeName(chooser.selectedFiles().first());
    // A folder too long for the program's path buffers is no path to it.
    if (chosen.isEmpty() ||
        static_cast<std::size_t>(chosen.size()) >= CurrentPlatform().system.MaxPath()) {
        return false;
    }
    path = chosen.toStdString();
    return true;
}

}  // namespace qm
