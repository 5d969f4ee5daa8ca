// The headless backend's shell: a simulated frame window, its timers, the
// notification-area icon, popup menus and modal dialogs built from the
// resource script. No operating-system calls: it runs the same natively and
// under Wine.
#include <algorithm>
#include <optional>
#include <stdexcept>
#include <string>

#include "platform/headless/headless_platform.h"

namespace qm {

namespace {

constexpr std::uint32_t kWsDisabled = 0x08000000;
constexpr std::uint32_t kWsGroup = 0x00020000;
constexpr std::uint32_t kWsTabStop = 0x00010000;
constexpr std::uint32_t kEsReadOnly = 0x0800;
constexpr std::uint32_t kUdsWrap = 0x01;
constexpr std::uint32_t kUdsSetBuddyInt = 0x02;
constexpr std::uint32_t kUdsAutoBuddy = 0x10;
constexpr std::uint32_t kBsTypeMask = 0x0F;
constexpr std::uint32_t kBsCheckBox = 0x2;
constexpr std::uint32_t kBsAutoCheckBox = 0x3;
constexpr std::uint32_t kBsRadioButton = 0x4;
constexpr std::uint32_t kBsGroupBox = 0x7;
constexpr std::uint32_t kBsAutoRadioButton = 0x9;

char Fold(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualNoCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (Fold(a[i]) != Fold(b[i])) {
            return false;
        }
    }
    return true;
}

bool IsClass(const HeadlessControl& c, const char* name) { return EqualNoCase(c.className, name); }

// A buddy text the up-down control takes up: a plain signed decimal.
std::optional<int> PlainInteger(const std::string& text) {
    std::size_t i = (!text.empty() && text[0] == '-') ? 1 : 0;
    if (i == text.size() || text.size() - i > 9) {
        return std::nullopt;
    }
    for (std::size_t k = i; k < text.size(); ++k) {
        if (text[k] < '0' || text[k] > '9') {
            return std::nullopt;
        }
    }
    return std::stoi(text);
}

const HeadlessControl& FindIn(const std::vector<HeadlessControl>& controls, int id,
                              unsigned templateId) {
    for (const auto& c : controls) {
        if (c.id == id) {
            return c;
        }
    }
    throw std::out_of_range("dialog " + std::to_string(templateId) + " has no control " +
                            std::to_string(id));
}

}  // namespace

// --- Controls ---------------------------------------------------------------

bool HeadlessControl::IsEdit() const { return IsClass(*this, "Edit"); }
bool HeadlessControl::IsUpDown() const { return IsClass(*this, "msctls_updown32"); }
bool HeadlessControl::IsRadio() const {
    auto type = style & kBsTypeMask;
    return IsClass(*this, "Button") && (type == kBsRadioButton || type == kBsAutoRadioButton);
}
bool HeadlessControl::IsComboBox() const { return IsClass(*this, "ComboBox"); }
bool HeadlessControl::IsCheckBox() const {
    auto type = style & kBsTypeMask;
    return IsClass(*this, "Button") && (type == kBsCheckBox || type == kBsAutoCheckBox);
}
bool HeadlessControl::StartsGroup() const { return (style & kWsGroup) != 0; }
bool HeadlessControl::IsTabStop() const { return (style & kWsTabStop) != 0; }

// --- Dialogs ----------------------------------------------------------------

HeadlessDialog::HeadlessDialog(HeadlessPlatform& platform, unsigned templateId,
                               const rc::Dialog& tmpl, DialogEvents& events)
    : platform_(platform), templateId_(templateId), events_(events) {
    for (const auto& t : tmpl.controls) {
        HeadlessControl c;
        c.id = t.id;
        c.className = t.className;
        c.text = t.text;
        c.style = t.style;
        c.enabled = (t.style & kWsDisabled) == 0;
        if (c.IsUpDown() && (t.style & kUdsAutoBuddy) && !controls_.empty()) {
            c.buddy = controls_.back().id;
        }
        controls_.push_back(std::move(c));
    }
}

const HeadlessControl& HeadlessDialog::Item(int id) const {
    return FindIn(controls_, id, templateId_);
}

HeadlessControl& HeadlessDialog::Find(int id) { return controls_[IndexOf(id)]; }

std::size_t HeadlessDialog::IndexOf(int id) const {
    for (std::size_t i = 0; i < controls_.size(); ++i) {
        if (controls_[i].id == id) {
            return i;
        }
    }
    throw std::out_of_range("dialog " + std::to_string(templateId_) + " has no control " +
                            std::to_string(id));
}

void HeadlessDialog::Type(int id, const std::string& text) {
    HeadlessControl& c = Find(id);
    if (!open_ || !c.IsEdit() || !c.enabled || (c.style & kEsReadOnly)) {
        return;
    }
    c.text = text;
    focused_ = id;
    selected_ = false;
}

void HeadlessDialog::Click(int id) {
    std::size_t index = IndexOf(id);
    HeadlessControl& c = controls_[index];
    if (c.IsUpDown()) {
        throw std::invalid_argument("an up-down control is clicked by its arrows: ClickUp/ClickDown");
    }
    if (!open_ || !c.enabled) {
        return;
    }
    if (c.IsEdit()) {
        focused_ = id;
        selected_ = false;
        return;
    }
    if (!IsClass(c, "Button") || (c.style & kBsTypeMask) == kBsGroupBox) {
        return;  // statics and group boxes send no notification
    }
    focused_ = id;
    selected_ = false;
    auto type = c.style & kBsTypeMask;
    if (type == kBsAutoCheckBox) {
        c.checked = !c.checked;
    } else if (type == kBsAutoRadioButton) {
        // The group runs from the nearest control at or before this one
        // that starts a group to the next one that does.
        std::size_t first = index;
        while (first > 0 && !controls_[first].StartsGroup()) {
            --first;
        }
        for (std::size_t i = first; i < controls_.size(); ++i) {
            if (i > first && controls_[i].StartsGroup()) {
                break;
            }
            if ((controls_[i].style & kBsTypeMask) == kBsAutoRadioButton &&
                IsClass(controls_[i], "Button")) {
                controls_[i].checked = false;
            }
        }
        c.checked = true;
    }
    events_.OnCommand(*this, id);
}

void HeadlessDialog::StepUpDown(int id, int direction) {
    HeadlessControl& c = Find(id);
    if (!c.IsUpDown()) {
        throw std::invalid_argument("control " + std::to_string(id) + " is not an up-down control");
    }
    if (!open_ || !c.enabled) {
        return;
    }
    int lo = std::min(c.lower, c.upper);
    int hi = std::max(c.lower, c.upper);
    HeadlessControl* buddy = c.buddy != 0 ? &Find(c.buddy) : nullptr;
    if (buddy != nullptr && (c.style & kUdsSetBuddyInt)) {
        if (auto typed = PlainInteger(buddy->text); typed && *typed >= lo && *typed <= hi) {
            c.pos = *typed;
        }
    }
    // The up arrow moves towards the upper end of the range, whichever way
    // round the range was given.
    int step = (c.upper >= c.lower) ? direction : -direction;
    long next = static_cast<long>(c.pos) + step;
    if (next < lo || next > hi) {
        if (c.style & kUdsWrap) {
            next = next < lo ? hi : lo;
        } else {
            next = next < lo ? lo : hi;
        }
    }
    c.pos = static_cast<int>(next);
    if (buddy != nullptr && (c.style & kUdsSetBuddyInt)) {
        buddy->text = std::to_string(c.pos);
    }
}

void HeadlessDialog::ClickUp(int id) { StepUpDown(id, +1); }
void HeadlessDialog::ClickDown(int id) { StepUpDown(id, -1); }

void HeadlessDialog::PressOk() {
    if (open_) {
        events_.OnCommand(*this, kIdOk);
    }
}

void HeadlessDialog::PressCancel() {
    if (open_) {
        events_.OnCommand(*this, kIdCancel);
    }
}

void HeadlessDialog::PressCloseBox() { PressCancel(); }

std::string HeadlessDialog::GetItemText(int id) { return Find(id).text; }
void HeadlessDialog::SetItemText(int id, const std::string& text) { Find(id).text = text; }
bool HeadlessDialog::IsChecked(int id) { return Find(id).checked; }
void HeadlessDialog::SetCheck(int id, bool checked) { Find(id).checked = checked; }
bool HeadlessDialog::IsEnabled(int id) { return Find(id).enabled; }
void HeadlessDialog::EnableItem(int id, bool enabled) { Find(id).enabled = enabled; }

void HeadlessDialog::SetUpDownRange(int id, int lower, int upper) {
    HeadlessControl& c = Find(id);
    c.lower = lower;
    c.upper = upper;
}

void HeadlessDialog::SetUpDownPos(int id, int pos) {
    HeadlessControl& c = Find(id);
    // A position outside the range is pulled to its nearer end, as the
    // common-controls up-down does.
    c.pos = std::clamp(pos, std::min(c.lower, c.upper), std::max(c.lower, c.upper));
    if (c.buddy != 0 && (c.style & kUdsSetBuddyInt)) {
        Find(c.buddy).text = std::to_string(c.pos);
    }
}

void HeadlessDialog::Select(int id, int index) {
    HeadlessControl& c = Find(id);
    if (!c.IsComboBox()) {
        throw std::invalid_argument("control " + std::to_string(id) + " is no drop-down list");
    }
    if (index < 0 || static_cast<std::size_t>(index) >= c.items.size()) {
        throw std::out_of_range("drop-down list " + std::to_string(id) + " has no item " +
                                std::to_string(index));
    }
    if (!open_ || !c.enabled) {
        return;
    }
    focused_ = id;
    selected_ = false;
    c.selection = index;
}

std::string HeadlessDialog::SelectedText(int id) const {
    const HeadlessControl& c = Item(id);
    return c.selection >= 0 && static_cast<std::size_t>(c.selection) < c.items.size()
               ? c.items[static_cast<std::size_t>(c.selection)]
               : std::string();
}

void HeadlessDialog::SetComboItems(int id, const std::vector<std::string>& items) {
    HeadlessControl& c = Find(id);
    c.items = items;
    c.selection = -1;
}

int HeadlessDialog::GetComboSelection(int id) { return Find(id).selection; }

void HeadlessDialog::SetComboSelection(int id, int index) {
    HeadlessControl& c = Find(id);
    // As CB_SETCURSEL: an index past the items clears the selection.
    c.selection = index >= 0 && static_cast<std::size_t>(index) < c.items.size() ? index : -1;
}

std::vector<int> HeadlessDialog::RadioGroup(int firstId) {
    std::vector<int> ids;
    std::size_t first = IndexOf(firstId);
    for (std::size_t i = first; i < controls_.size(); ++i) {
        if (i > first && controls_[i].StartsGroup()) {
            break;
        }
        if (controls_[i].IsRadio()) {
            ids.push_back(controls_[i].id);
        }
    }
    return ids;
}

void HeadlessDialog::FocusAndSelectAll(int id) {
    Find(id);
    focused_ = id;
    selected_ = true;
}

void HeadlessDialog::EndDialog(int result) {
    open_ = false;
    result_ = result;
}

long HeadlessDialog::SendToOwner(unsigned message) {
    return platform_.DeliverToOwner(*this, message);
}

bool HeadlessDialog::BrowseForFolder(const char* title, std::string& path) {
    return platform_.Browse(*this, title, path);
}

void HeadlessDialog::Raise() { platform_.raised.push_back(templateId_); }

void HeadlessDialog::Activate() { platform_.activated.push_back(templateId_); }

void HeadlessDialog::FocusFirstTabStop() {
    for (const auto& c : controls_) {
        if (c.IsTabStop() && c.enabled) {
            focused_ = c.id;
            // The dialog manager selects an edit box's text when it gives
            // it the focus.
            selected_ = c.IsEdit();
            return;
        }
    }
}

const HeadlessControl& HeadlessPlatform::DialogShown::Opened(int id) const {
    return FindIn(atOpen, id, templateId);
}

const HeadlessControl& HeadlessPlatform::DialogShown::Closed(int id) const {
    return FindIn(atClose, id, templateId);
}

// --- Resources, windows -------------------------------------------------------

const rc::Script& HeadlessPlatform::Resources() const {
    return resources != nullptr ? *resources : rc::EmbeddedScript();
}

void HeadlessPlatform::SetRegistryKey(const char* company, const char* appName) {
    registryCompany = company;
    registryApp = appName;
}

std::string HeadlessPlatform::LoadString(unsigned id) {
    const auto& strings = Resources().strings;
    auto it = strings.find(id);
    return it == strings.end() ? std::string() : it->second;
}

bool HeadlessPlatform::FindTopLevelWindow(const char* title) {
    windowSearches.emplace_back(title);
    if (FrameExists() && EqualNoCase(frameTitle, title)) {
        return true;
    }
    for (const auto& other : otherFrames) {
        if (EqualNoCase(other, title)) {
            return true;
        }
    }
    return false;
}

bool HeadlessPlatform::SendCommandToRunningCopy(const char* name, int id) {
    commandsToRunningCopy.push_back(id);
    // The running copy is this platform's own program: the command arrives
    // as another process's post would, from the loop.
    const bool ownClaim = std::find(instanceClaims.begin(), instanceClaims.end(),
                                    std::string(name)) != instanceClaims.end();
    if (!ownClaim || frameState_ != FrameState::Alive) {
        return false;
    }
    PostCommand(id);
    return true;
}

bool HeadlessPlatform::ClaimSingleInstance(const char* name) {
    const std::string claimed = name;
    const bool free = instancesHeldElsewhere.count(claimed) == 0 &&
                      std::find(instanceClaims.begin(), instanceClaims.end(), claimed) ==
                          instanceClaims.end();
    if (free) {
        instanceClaims.push_back(claimed);
    }
    return free;
}

bool HeadlessPlatform::FrameExists() const {
    return frameState_ == FrameState::Creating || frameState_ == FrameState::Alive ||
           frameState_ == FrameState::Destroying;
}

bool HeadlessPlatform::CreateFrameWindow(const std::string& title, FrameEvents& events) {
    if (FrameExists()) {
        throw std::logic_error("the program creates a second frame window");
    }
    if (refuseFrameWindow) {
        return false;
    }
    frame_ = &events;
    frameTitle = title;
    frameVisible = false;  // no WS_VISIBLE: hidden until shown
    frameState_ = FrameState::Creating;
    if (events.OnCreate() == -1) {
        // The window is taken down again without WM_DESTROY; whatever was
        // attached to it (timers) goes with it.
        frameState_ = FrameState::None;
        frame_ = nullptr;
        timers.clear();
        return false;
    }
    frameState_ = FrameState::Alive;
    return true;
}

void HeadlessPlatform::HideFrameWindow() {
    ++frameHides;
    frameVisible = false;
}

void HeadlessPlatform::CloseFrameWindow() {
    if (frameState_ != FrameState::Alive) {
        return;
    }
    frameState_ = FrameState::Destroying;
    frame_->OnDestroy();
    frameState_ = FrameState::Gone;
    frame_ = nullptr;
    frameVisible = false;
    timers.clear();  // a window's timers end with it
    posted_.clear();
}

void HeadlessPlatform::PostCommand(int id) { posted_.push_back(id); }

void HeadlessPlatform::Pump() {
    while (!posted_.empty()) {
        int id = posted_.front();
        posted_.pop_front();
        if (frameState_ == FrameState::Alive) {
            bool handled = frame_->OnCommand(id);
            commands.push_back({id, handled});
        }
    }
}

int HeadlessPlatform::RunMessageLoop() {
    while (frameState_ == FrameState::Alive) {
        if (!posted_.empty()) {
            Pump();
        } else if (!userActions.empty()) {
            auto action = std::move(userActions.front());
            userActions.pop_front();
            action();
        } else {
            break;
        }
    }
    return 0;
}

// --- Timers -----------------------------------------------------------------

void HeadlessPlatform::SetTimer(unsigned id, std::uint32_t milliseconds) {
    timerCalls.push_back({true, id, milliseconds});
    if (FrameExists()) {
        timers[id] = milliseconds;
    }
}

void HeadlessPlatform::KillTimer(unsigned id) {
    timerCalls.push_back({false, id, 0});
    timers.erase(id);
}

bool HeadlessPlatform::TickTimer(unsigned id) {
    if (frameState_ != FrameState::Alive || timers.count(id) == 0) {
        return false;
    }
    frame_->OnTimer(id);
    Pump();
    return true;
}

// --- Tray icon ----------------------------------------------------------------

void HeadlessPlatform::AddTrayIcon(const TrayIconData& data) {
    trayCalls.push_back({true, data});
    // Adding fails without a window to call back, or when the id is taken.
    if (FrameExists() && (!trayIcon || trayIcon->uID != data.uID)) {
        trayIcon = data;
    }
}

void HeadlessPlatform::DeleteTrayIcon(const TrayIconData& data) {
    trayCalls.push_back({false, data});
    if (trayIcon && trayIcon->uID == data.uID) {
        trayIcon.reset();
    }
}

bool HeadlessPlatform::ClickTray(TrayMouse mouse) {
    if (frameState_ != FrameState::Alive || !trayIcon) {
        return false;
    }
    unsigned uid = trayIcon->uID;
    lastTrayResult = frame_->OnTrayIcon(uid, mouse);
    Pump();
    return true;
}

bool HeadlessPlatform::LeftClickTray() {
    return ClickTray(TrayMouse::LeftDown) && ClickTray(TrayMouse::LeftUp);
}

bool HeadlessPlatform::DoubleClickTray() {
    return ClickTray(TrayMouse::LeftDown) && ClickTray(TrayMouse::LeftUp) &&
           ClickTray(TrayMouse::LeftDoubleClick) && ClickTray(TrayMouse::LeftUp);
}

bool HeadlessPlatform::RightClickTray() {
    return ClickTray(TrayMouse::RightDown) && ClickTray(TrayMouse::RightUp);
}

void HeadlessPlatform::ChangeMonitors(std::vector<MonitorRect> now, int events) {
    monitors = std::move(now);
    for (int i = 0; i < events && frameState_ == FrameState::Alive; ++i) {
        frame_->OnDisplayChange();
        Pump();
    }
}

void HeadlessPlatform::RestartTaskbar() {
    trayIcon.reset();
    if (frameState_ == FrameState::Alive) {
        frame_->OnTaskbarCreated();
        Pump();
    }
}

// --- Popup menu ---------------------------------------------------------------

bool HeadlessPlatform::TrackPopupMenu(unsigned menuId) {
    if (failMenuLoad || !FrameExists()) {
        return false;
    }
    const auto& all = Resources().menus;
    auto it = all.find(static_cast<int>(menuId));
    if (it == all.end() || it->second.popups.empty()) {
        return false;
    }
    ++frameForegrounds;
    MenuShown shown{menuId, {}, 0};
    const auto& items = it->second.popups.front().items;
    for (std::size_t i = 0; i < items.size(); ++i) {
        const auto& item = items[i];
        MenuItemSeen seen{item.text, item.id, item.separator, !item.grayed, i == 0};
        if (!item.separator) {
            bool enabled = seen.enabled;
            if (frame_->OnUpdateCommand(item.id, enabled)) {
                seen.enabled = enabled;
            }
        }
        shown.items.push_back(std::move(seen));
    }
    int choice = 0;
    if (!menuChoices.empty()) {
        choice = menuChoices.front();
        menuChoices.pop_front();
    }
    if (choice != 0) {
        const MenuItemSeen* picked = nullptr;
        for (const auto& seen : shown.items) {
            if (!seen.separator && seen.id == choice) {
                picked = &seen;
            }
        }
        if (picked == nullptr) {
            throw std::invalid_argument("menu " + std::to_string(menuId) + " has no item " +
                                        std::to_string(choice));
        }
        if (picked->enabled) {
            shown.chosen = choice;
        }
    }
    menus.push_back(shown);
    // The choice arrives as a posted command, after the caller returns.
    if (shown.chosen != 0) {
        PostCommand(shown.chosen);
    }
    return true;
}

// --- Modal dialogs ------------------------------------------------------------

HeadlessDialog* HeadlessPlatform::OpenDialog() {
    return static_cast<HeadlessDialog*>(OpenDialogs().Innermost());
}

int HeadlessPlatform::RunModalDialog(unsigned templateId, DialogEvents& events) {
    const auto& all = Resources().dialogs;
    auto it = all.find(static_cast<int>(templateId));
    if (it == all.end()) {
        return -1;  // as DialogBox does for a missing template
    }
    HeadlessDialog dialog(*this, templateId, it->second, events);
    if (HeadlessDialog* under = OpenDialog()) {
        dialog.ownerDialog_ = under->TemplateId();
    } else {
        dialog.ownedByFrame_ = FrameExists();
    }
    std::size_t record = dialogs.size();
    DialogShown opened;
    opened.templateId = templateId;
    opened.ownedByFrame = dialog.ownedByFrame_;
    opened.ownerDialog = dialog.ownerDialog_;
    dialogs.push_back(std::move(opened));

    struct Open {
        DialogStack& stack;
        HeadlessDialog& dialog;
        Open(DialogStack& s, HeadlessDialog& d) : stack(s), dialog(d) {
            stack.Push(d.TemplateId(), d);
        }
        ~Open() { stack.Pop(dialog); }
    } open(OpenDialogs(), dialog);

    if (events.OnInitDialog(dialog)) {
        dialog.FocusFirstTabStop();
    }
    dialogs[record].atOpen = dialog.controls_;

    if (dialog.IsOpen()) {
        auto& queue = dialogScripts[templateId];
        if (!queue.empty()) {
            DialogScript script = std::move(queue.front());
            queue.pop_front();
            dialogs[record].scripted = true;
            script(dialog);
        }
    }
    dialog.PressCloseBox();
    if (dialog.IsOpen()) {
        // Cancel did not end it: a real user would be stuck here.
        dialogs[record].abandoned = true;
        dialog.EndDialog(kIdCancel);
    }
    DialogShown& shown = dialogs[record];
    shown.atClose = dialog.controls_;
    shown.focusedAtClose = dialog.focused_;
    shown.selectedAtClose = dialog.selected_;
    shown.result = dialog.result_;
    return dialog.result_;
}

long HeadlessPlatform::DeliverToOwner(HeadlessDialog& dialog, unsigned message) {
    long result = 0;
    if (dialog.ownedByFrame_ && frameState_ == FrameState::Alive &&
        message == WM_UPDATE_IMAGE_LIST) {
        result = frame_->OnRebuildImageList();
    }
    ownerMessages.push_back({dialog.TemplateId(), message, result});
    return result;
}

bool HeadlessPlatform::Browse(HeadlessDialog& dialog, const char* title, std::string& path) {
    browses.push_back({title, dialog.TemplateId()});
    BrowseAnswer answer;
    if (!browseAnswers.empty()) {
        answer = std::move(browseAnswers.front());
        browseAnswers.pop_front();
    }
    if (answer.kind != BrowseAnswer::Path) {
        return false;
    }
    path = answer.path;
    return true;
}

}  // namespace qm
