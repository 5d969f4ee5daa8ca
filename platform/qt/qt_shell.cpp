#include "platform/qt/qt_shell.h"

#include <algorithm>
#include <cerrno>
#include <utility>
#include <climits>
#include <cstdio>

#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

#include <QAction>
#include <QClipboard>
#include <QApplication>
#include <QCursor>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDir>
#include <QLockFile>
#include <QMenu>
#include <QMessageBox>
#include <QPointer>
#include <QScreen>
#include <QShortcut>
#include <QSocketNotifier>
#include <QStringList>
#include <QThread>
#include <QTimer>
#include <QWidget>

#include "platform/qt/file_names.h"
#include "platform/qt/qt_dialog.h"
#include "platform/qt/qt_tray.h"
#include "platform/qt/qt_x11.h"
#include "platform/resources/resource_script.h"
#include "res/resource.h"

namespace qm {

namespace {

// The instance name of the frame's WM_CLASS: with its title, what another
// copy looks for.
const QByteArray kFrameInstance = QByteArrayLiteral("quillmere");

// Letters, digits and '_' only: what an element of a bus name may hold.
QString NameElement(const QString& name) {
    QString out;
    for (const QChar c : name) {
        out += (c.isLetterOrNumber() && c.unicode() < 128) ? c : QChar(u'_');
    }
    if (out.isEmpty() || out[0].isDigit()) {
        out.prepend(u'_');
    }
    return out;
}

// The well-known name of the copy that claimed `name`: reverse-DNS, the
// maker's words (all but the last) as the domain, the last word after it:
// "Brandle Software Quillmere" is com.brandlesoftware.Quillmere.
QString BusName(const char* name) {
    const QStringList words = FromFileNameEncoding(name).split(u' ', Qt::SkipEmptyParts);
    const QString app = words.isEmpty() ? QString() : words.back();
    const QString maker = words.size() > 1 ? words.mid(0, words.size() - 1).join(QString())
                                           : app;
    return QStringLiteral("com.") + NameElement(maker.toLower()) + u'.' + NameElement(app);
}

// Where Activate is exported: the bus name as a path.
QString ObjectPath(const QString& busName) {
    return u'/' + QString(busName).replace(u'.', u'/');
}

QMessageBox::Icon BoxIconOf(BoxIcon icon) {
    switch (icon) {
        case BoxIcon::Error:
            return QMessageBox::Critical;
        case BoxIcon::Exclamation:
            return QMessageBox::Warning;
        case BoxIcon::None:
            break;
    }
    return QMessageBox::NoIcon;
}

}  // namespace

QtShell::QtShell()
    : tray_(std::make_unique<TrayArea>(TrayArea::Hooks{
          [this](unsigned id, TrayMouse mouse) {
              ToFrame([&] { events_->OnTrayIcon(id, mouse); });
          },
          [this] { ToFrame([&] { events_->OnTaskbarCreated(); }); },
          [this](unsigned id, QMenu& menu) { BuildMenu(menu, id, true); }})) {}

QtShell::~QtShell() {
    timers_.clear();
    tray_.reset();
    frame_.reset();
}

template <class F>
void QtShell::ToFrame(F&& f) {
    if (state_ == FrameState::Alive && events_ != nullptr) {
        keeper_.Guard(std::forward<F>(f));
    }
}

void QtShell::RethrowKept() {
    // The failure's own box, which says why the program ends, is shown
    // however the loops were ended.
    if (keeper_.HasKept()) {
        ending_ = false;
    }
    keeper_.RethrowKept();
}

bool QtShell::FrameExists() const {
    return state_ == FrameState::Creating || state_ == FrameState::Alive ||
           state_ == FrameState::Destroying;
}

// --- Message boxes, strings, the running copy ----------------------------------

int QtShell::ShowBox(QWidget* owner, const std::string& text, const std::string& caption,
                     BoxIcon icon) {
    if (keeper_.HasKept() || ending_) {
        return kIdOk;
    }
    if (owner == nullptr) {
        owner = frame_.get();
    }
    QMessageBox box(BoxIconOf(icon), FromFileNameEncoding(caption), FromFileNameEncoding(text),
                    QMessageBox::Ok, owner);
    box.setTextFormat(Qt::PlainText);
    // A caption and a close box, as a Windows message box has.
    box.setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                       Qt::WindowCloseButtonHint);
    // Modal to its owner (the hidden frame when it has none): the tray
    // icon and the timer go on, as beside a Windows message box.
    box.setWindowModality(owner != nullptr ? Qt::WindowModal : Qt::ApplicationModal);
    // Ctrl+C copies the box as the Windows message box does: caption, text
    // and buttons between dashed lines.
    const QString dashes = QStringLiteral("---------------------------\n");
    QShortcut copy(QKeySequence::Copy, &box);
    QObject::connect(&copy, &QShortcut::activated, &box, [&] {
        QGuiApplication::clipboard()->setText(dashes + box.windowTitle() + u'\n' + dashes +
                                              box.text() + u'\n' + dashes +
                                              QStringLiteral("OK   \n") + dashes);
    });
    if (QThread::currentThread()->loopLevel() > 0) {
        box.exec();
    } else {
        // No loop runs (the box that ends the program, or one before the
        // message loop): the application's own loop, which starts afresh
        // even after the loops were ended, runs until the box is answered.
        box.open();
        QObject::connect(&box, &QDialog::finished, &box, [] { QCoreApplication::exit(0); });
        QApplication::exec();
    }
    return kIdOk;
}

int QtShell::AppMessageBox(const std::string& text, BoxIcon icon) {
    // The thread's active window, else the innermost dialog, else the frame.
    QWidget* owner = QApplication::activeWindow();
    if (owner == nullptr) {
        owner = static_cast<QtDialog*>(OpenDialogs().Innermost());
    }
    return ShowBox(owner, text, LoadString(IDS_APP_TITLE), icon);
}

int QtShell::MessageBox(bool ownerIsActiveWindow, const std::string& text,
                        const std::string& caption, BoxIcon icon) {
    return ShowBox(ownerIsActiveWindow ? QApplication::activeWindow() : nullptr, text, caption,
                   icon);
}

std::string QtShell::LoadString(unsigned id) {
    const auto& strings = rc::EmbeddedScript().strings;
    auto it = strings.find(id);
    return it == strings.end() ? std::string() : it->second;
}

bool QtShell::FindTopLevelWindow(const char* title) {
    // Only our own frame: its exact title and instance name. A terminal or
    // a file manager titled after the program is not a running copy.
    return x11::HasWindow(FromFileNameEncoding(title), kFrameInstance);
}

bool QtShell::ClaimSingleInstance(const char* name) {
    const QString element = NameElement(FromFileNameEncoding(name));
    if (!claimed_.insert(element).second) {
        return false;  // this process holds it already
    }
    // A name on the session bus: one owner at a time, taken in one step,
    // and gone with the process however it ends.
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (bus.isConnected() && bus.interface() != nullptr) {
        const QString busName = BusName(name);
        const QDBusReply<QDBusConnectionInterface::RegisterServiceReply> reply =
            bus.interface()->registerService(busName, QDBusConnectionInterface::DontQueueService,
                                             QDBusConnectionInterface::DontAllowReplacement);
        if (reply.isValid()) {
            if (reply.value() != QDBusConnectionInterface::ServiceRegistered) {
                return false;
            }
            // Where a second start reaches this copy.
            if (!instancePort_) {
                instancePort_ = std::make_unique<InstancePort>([this](const QVariantMap& data) {
                    pendingActivation_ = data;
                    PostCommand(ID_SETTINGS);
                });
                bus.registerObject(ObjectPath(busName), instancePort_.get(),
                                   QDBusConnection::ExportScriptableSlots);
            }
            return true;
        }
    }
    // No bus: a lock file in the user's runtime folder; a dead holder's
    // lock counts as stale.
    QString folder = qEnvironmentVariable("XDG_RUNTIME_DIR");
    QString file = element + QStringLiteral(".lock");
    if (folder.isEmpty()) {
        folder = QDir::tempPath();
        file.prepend(QString::number(getuid()) + u'-');
    }
    auto lock = std::make_unique<QLockFile>(folder + u'/' + file);
    lock->setStaleLockTime(0);
    if (!lock->tryLock(0)) {
        return false;
    }
    locks_.push_back(std::move(lock));
    return true;
}

// --- The frame ------------------------------------------------------------

bool QtShell::CreateFrameWindow(const std::string& title, FrameEvents& events) {
    if (state_ != FrameState::None) {
        return false;  // one frame per run
    }
    frame_ = std::make_unique<QWidget>(nullptr, Qt::Window);
    frame_->setWindowTitle(FromFileNameEncoding(title));
    frame_->setAttribute(Qt::WA_QuitOnClose, false);
    // Over the whole screen, so that what is centred on the hidden frame
    // (a message box it owns) is centred on the screen.
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        frame_->setGeometry(screen->availableGeometry());
    }
    // A real window, never mapped: another copy finds it by its title and
    // instance name.
    x11::SetWindowInstanceName(static_cast<std::uint32_t>(frame_->winId()), kFrameInstance);
    events_ = &events;
    state_ = FrameState::Creating;
    int created = -1;
    try {
        created = events.OnCreate();
    } catch (...) {
        created = -1;
        keeper_.Keep(std::current_exception());
    }
    if (created == -1) {
        // Taken down again without OnDestroy; its timers go with it.
        timers_.clear();
        frame_.reset();
        events_ = nullptr;
        state_ = FrameState::None;
        RethrowKept();
        return false;
    }
    state_ = FrameState::Alive;
    tray_->Watch();
    WatchScreens();
    return true;
}

void QtShell::WatchScreens() {
    // Qt follows RandR on X11 and the outputs on Wayland; every screen
    // that comes, goes or changes size or scale is reported to the frame,
    // which decides what to do about it. The frame is the context: the
    // connections end with it.
    const auto changed = [this] { ToFrame([&] { events_->OnDisplayChange(); }); };
    const auto watch = [this, changed](QScreen* screen) {
        QObject::connect(screen, &QScreen::geometryChanged, frame_.get(), changed);
        QObject::connect(screen, &QScreen::logicalDotsPerInchChanged, frame_.get(), changed);
        QObject::connect(screen, &QScreen::physicalDotsPerInchChanged, frame_.get(), changed);
    };
    for (QScreen* screen : QGuiApplication::screens()) {
        watch(screen);
    }
    QObject::connect(qApp, &QGuiApplication::screenAdded, frame_.get(), [changed, watch](QScreen* screen) {
        watch(screen);
        changed();
    });
    QObject::connect(qApp, &QGuiApplication::screenRemoved, frame_.get(), changed);
}

void QtShell::HideFrameWindow() {
    if (frame_) {
        frame_->hide();
    }
}

void QtShell::Close() {
    if (state_ != FrameState::Alive) {
        return;
    }
    // Closed from inside a loop (a box, a dialog, the menu, or the main
    // loop itself): what runs after those loops return is on its way out,
    // and a box or dialog it opened would wait for an answer nobody gives
    // (as on Windows, where the quit message ends every later loop too).
    ending_ = ending_ || QThread::currentThread()->loopLevel() > 0;
    state_ = FrameState::Destroying;
    keeper_.Guard([&] { events_->OnDestroy(); });
    // The window's timers and icons end with it.
    for (auto& [id, timer] : timers_) {
        timer->stop();
        timer->deleteLater();
    }
    timers_.clear();
    tray_->Clear();
    events_ = nullptr;
    state_ = FrameState::Gone;
    // Ends the main loop, and every nested one: destroying the owner ends
    // the dialogs and boxes it owns.
    EndRunningLoops(0);
}

void QtShell::CloseFrameWindow() {
    Close();
    RethrowKept();
}

void QtShell::CloseFromOutside() { Close(); }

namespace {
int g_signalPipe[2] = {-1, -1};
volatile std::sig_atomic_t g_endAsked = 0;
void OnSignal(int signal) {
    const int saved = errno;
    g_endAsked = 1;
    const char byte = static_cast<char>(signal);
    [[maybe_unused]] const auto written = ::write(g_signalPipe[1], &byte, 1);
    errno = saved;
}
}  // namespace

void QtShell::CloseOnSignals() {
    if (signalNotifier_ ||
        (g_signalPipe[0] < 0 &&
         ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, g_signalPipe) != 0)) {
        return;
    }
    // The handler only writes a byte; the loop reads it and closes the
    // frame, which saves the settings and removes the icon.
    signalNotifier_ = std::make_unique<QSocketNotifier>(g_signalPipe[0], QSocketNotifier::Read);
    QObject::connect(signalNotifier_.get(), &QSocketNotifier::activated, signalNotifier_.get(),
                     [this] {
                         char bytes[16];
                         while (::read(g_signalPipe[0], bytes, sizeof bytes) > 0) {
                         }
                         if (state_ == FrameState::Alive) {
                             CloseFromOutside();
                             return;
                         }
                         // Asked again after the frame was closed (its
                         // settings are saved), or before there was one:
                         // whatever still holds the program up is not
                         // waited for.
                         std::fflush(nullptr);
                         ::_exit(0);
                     });
    struct sigaction action = {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signal : {SIGTERM, SIGINT, SIGHUP}) {
        // A signal the program was started to ignore (nohup, a shell's
        // background job) stays ignored.
        struct sigaction inherited = {};
        if (sigaction(signal, nullptr, &inherited) == 0 && inherited.sa_handler == SIG_IGN) {
            continue;
        }
        sigaction(signal, &action, nullptr);
    }
}

void QtShell::EndNowIfAsked() {
    if (g_endAsked == 0 || state_ != FrameState::Alive) {
        return;
    }
    // Settings saved and icon removed as on any close; what the caller had
    // still to do (another conversion) is not waited for.
    Close();
    std::fflush(nullptr);
    ::_exit(0);
}

int QtShell::RunMessageLoop() {
    int code = 0;
    if (state_ == FrameState::Alive && !keeper_.HasKept()) {
        code = QApplication::exec();
    }
    RethrowKept();
    return state_ == FrameState::Gone ? 0 : code;
}

// --- Timers ---------------------------------------------------------------

void QtShell::SetTimer(unsigned id, std::uint32_t milliseconds) {
    if (!FrameExists()) {
        return;
    }
    QTimer*& timer = timers_[id];
    if (timer == nullptr) {
        timer = new QTimer(frame_.get());
        QObject::connect(timer, &QTimer::timeout, frame_.get(),
                         [this, id] { ToFrame([&] { events_->OnTimer(id); }); });
    }
    // The Windows timer's limits: at least 10 ms, at most 2^31 - 1.
    timer->start(static_cast<int>(std::clamp<std::uint32_t>(milliseconds, 10, INT_MAX)));
}

void QtShell::KillTimer(unsigned id) {
    auto it = timers_.find(id);
    if (it != timers_.end()) {
        // Later: the timer may be the one whose tick is running now.
        it->second->stop();
        it->second->deleteLater();
        timers_.erase(it);
    }
}

// --- Tray icon and popup menu -------------------------------------------------

void QtShell::AddTrayIcon(const TrayIconData& data) {
    if (FrameExists()) {
        tray_->Add(data);
    }
}

void QtShell::DeleteTrayIcon(const TrayIconData& data) { tray_->Delete(data); }

bool QtShell::BuildMenu(QMenu& menu, unsigned menuId, bool postChoices) {
    const auto& menus = rc::EmbeddedScript().menus;
    auto it = menus.find(static_cast<int>(menuId));
    if (it == menus.end() || it->second.popups.empty()) {
        return false;
    }
    const auto& items = it->second.popups.front().items;
    // The same items again keep their actions: a host showing the menu
    // sees only their states change.
    QList<QAction*> actions = menu.actions();
    bool same = actions.size() == static_cast<qsizetype>(items.size());
    for (qsizetype i = 0; same && i < actions.size(); ++i) {
        same = actions[i]->isSeparator() == items[i].separator &&
               (items[i].separator || actions[i]->data().toInt() == items[i].id);
    }
    if (!same) {
        menu.clear();
        actions.clear();
        for (const rc::MenuItem& item : items) {
            if (item.separator) {
                actions.push_back(menu.addSeparator());
                continue;
            }
            QAction* action = menu.addAction(FromFileNameEncoding(item.text));
            action->setData(item.id);
            if (item.checked) {
                action->setCheckable(true);
                action->setChecked(true);
            }
            if (postChoices) {
                const int id = item.id;
                QObject::connect(action, &QAction::triggered, action, [this, id] { PostCommand(id); });
            }
            actions.push_back(action);
        }
        // The item at position 0 is the default, drawn bold.
        if (!actions.isEmpty()) {
            menu.setDefaultAction(actions.front());
        }
    }
    // The states the update handlers give, as the menu opens.
    for (qsizetype i = 0; i < actions.size(); ++i) {
        if (items[i].separator) {
            continue;
        }
        bool enabled = !items[i].grayed;
        if (state_ == FrameState::Alive && events_->OnUpdateCommand(items[i].id, enabled)) {
            actions[i]->setEnabled(enabled);
        } else {
            actions[i]->setEnabled(!items[i].grayed);
        }
    }
    return true;
}

void QtShell::PostCommand(int id) {
    // The choice arrives as a command once the menu's caller has returned.
    QMetaObject::invokeMethod(
        frame_.get(), [this, id] { ToFrame([&] { events_->OnCommand(id); }); },
        Qt::QueuedConnection);
}

bool QtShell::TrackPopupMenu(unsigned menuId) {
    if (!FrameExists()) {
        return false;
    }
    // A StatusNotifier host that is opening the icon's menu shows this one.
    if (QMenu* exported = tray_->MenuBeingShown()) {
        return BuildMenu(*exported, menuId, true);
    }
    QMenu menu;
    if (!BuildMenu(menu, menuId, false)) {
        return false;
    }
    if (keeper_.HasKept() || ending_) {
        return true;
    }
    const QPoint at = QCursor::pos();
    qCDebug(lcTray) << "popup menu at" << at;
    QAction* chosen = menu.exec(at);
    qCDebug(lcTray) << "popup menu closed:"
                    << (chosen != nullptr ? chosen->data().toInt() : 0);
    if (chosen != nullptr && chosen->isEnabled()) {
        PostCommand(chosen->data().toInt());
    }
    RethrowKept();
    return true;
}

// --- Dialogs ------------------------------------------------------------------

int QtShell::RunModalDialog(unsigned templateId, DialogEvents& events) {
    const auto& all = rc::EmbeddedScript().dialogs;
    auto it = all.find(static_cast<int>(templateId));
    // Nor once the program is ending: a dialog nobody will answer.
    if (it == all.end() || keeper_.HasKept() || ending_) {
        return -1;  // as for a missing template
    }
    // Owned by the dialog open beneath it, else by the frame, which alone
    // receives what the dialog sends its owner.
    auto* under = static_cast<QtDialog*>(OpenDialogs().Innermost());
    const bool ownedByFrame = under == nullptr;
    QWidget* owner = ownedByFrame ? frame_.get() : under;
    QtDialog::Hooks hooks{keeper_, [this, ownedByFrame](unsigned message) -> long {
                              if (ownedByFrame && state_ == FrameState::Alive &&
                                  message == WM_UPDATE_IMAGE_LIST) {
                                  return events_->OnRebuildImageList();
                              }
                              return 0;
                          },
                          [this](QWidget* dialog) { ApplyActivation(dialog); }};
    // Its owner owns it, and it is deleted as soon as it ends.
    QPointer<QtDialog> dialog;
    try {
        dialog = new QtDialog(it->second, events, owner, std::move(hooks));
    } catch (const rc::ScriptError&) {
        return -1;  // a control the backend cannot make: the dialog fails
    }
    OpenDialogs().Push(templateId, *dialog);
    ApplyActivation(dialog.data());
    const int result = dialog->Run();
    OpenDialogs().Pop(*dialog);
    delete dialog.data();
    RethrowKept();
    return result;
}

// --- Another copy, no tray -----------------------------------------------------

bool QtShell::SendCommandToRunningCopy(const char* name, int id) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    // A second start asks for the Settings; nothing else is offered.
    if (id != ID_SETTINGS || !bus.isConnected()) {
        return false;
    }
    QVariantMap platformData;
    if (!activationToken_.isEmpty()) {
        platformData.insert(QStringLiteral("activation-token"),
                            QString::fromUtf8(activationToken_));
    }
    if (!startupId_.isEmpty()) {
        platformData.insert(QStringLiteral("desktop-startup-id"), QString::fromUtf8(startupId_));
    }
    // This copy has no loop to keep going yet: it waits for the answer,
    // a little, and ends.
    const QString busName = BusName(name);
    QDBusMessage call =
        QDBusMessage::createMethodCall(busName, ObjectPath(busName),
                                       QString::fromLatin1(InstancePort::kInterface),
                                       QStringLiteral("Activate"));
    call << platformData;
    call.setAutoStartService(false);
    return bus.call(call, QDBus::Block, 5000).type() == QDBusMessage::ReplyMessage;
}

void QtShell::SetLaunchTokens(const QByteArray& activationToken, const QByteArray& startupId) {
    activationToken_ = activationToken;
    startupId_ = startupId;
}

void QtShell::ApplyActivation(QWidget* dialog) {
    if (pendingActivation_.isEmpty() || dialog == nullptr) {
        return;
    }
    const QVariantMap data = std::exchange(pendingActivation_, {});
    const QByteArray token = data.value(QStringLiteral("activation-token")).toString().toUtf8();
    const QByteArray startupId =
        data.value(QStringLiteral("desktop-startup-id")).toString().toUtf8();
    if (QGuiApplication::platformName().startsWith(QLatin1String("wayland"))) {
        // Qt's Wayland activation takes the token from here when the
        // window asks for the focus.
        if (!token.isEmpty()) {
            qputenv("XDG_ACTIVATION_TOKEN", token);
        }
    } else if (!startupId.isEmpty()) {
        x11::SetStartupId(static_cast<std::uint32_t>(dialog->winId()), startupId);
    }
    // Asked once the window is up (a dialog about to open is not yet);
    // named again, as Qt may have named it after a launch of its own.
    QTimer::singleShot(0, dialog, [dialog, startupId] {
        x11::SetStartupId(static_cast<std::uint32_t>(dialog->winId()), startupId);
        dialog->activateWindow();
    });
}

void QtShell::WarnIfNoTrayAfter(std::uint32_t milliseconds, const std::string& text) {
    if (state_ != FrameState::Alive) {
        return;
    }
    auto* wait = new QTimer(frame_.get());
    wait->setSingleShot(true);
    QObject::connect(wait, &QTimer::timeout, frame_.get(), [this, wait, text] {
        wait->deleteLater();
        if (state_ == FrameState::Alive && tray_->Host().isEmpty()) {
            AppMessageBox(text, BoxIcon::Exclamation);
        }
    });
    wait->start(static_cast<int>(std::min<std::uint32_t>(milliseconds, INT_MAX)));
}

InstancePort::InstancePort(std::function<void(const QVariantMap&)> activate)
    : activate_(std::move(activate)) {}

void InstancePort::Activate(const QVariantMap& platformData) { activate_(platformData); }

}  // namespace qm
