#include "platform/qt/qt_tray.h"

#include <cstring>
#include <string>

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusServiceWatcher>
#include <QDBusVariant>
#include <QCoreApplication>
#include <QMenu>
#include <QMouseEvent>
#include <QSystemTrayIcon>

#include "platform/qt/file_names.h"
#include "platform/qt/qt_icon.h"
#include "platform/qt/qt_x11.h"

Q_LOGGING_CATEGORY(lcTray, "qm.tray", QtWarningMsg)

namespace qm {

namespace {

const QString kWatcher = QStringLiteral("org.kde.StatusNotifierWatcher");
const QString kWatcherPath = QStringLiteral("/StatusNotifierWatcher");

}  // namespace

TrayArea::TrayArea(Hooks hooks) : hooks_(std::move(hooks)) {
    if (QCoreApplication::instance() != nullptr) {
        QCoreApplication::instance()->installEventFilter(this);
    }
}

bool TrayArea::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonRelease && doubleClicked_) {
        const auto [id, reason] = *doubleClicked_;
        doubleClicked_.reset();
        Activated(id, reason);
        return false;
    }
    if (event->type() != QEvent::MouseButtonDblClick || protocol_ != Protocol::XEmbed ||
        !watched->isWidgetType() || !static_cast<QWidget*>(watched)->isWindow()) {
        return false;
    }
    const auto* mouse = static_cast<QMouseEvent*>(event);
    const QSystemTrayIcon::ActivationReason reason =
        mouse->button() == Qt::RightButton    ? QSystemTrayIcon::Context
        : mouse->button() == Qt::MiddleButton ? QSystemTrayIcon::MiddleClick
                                              : QSystemTrayIcon::Unknown;
    if (reason == QSystemTrayIcon::Unknown) {
        return false;  // a left double click is Qt's own
    }
    const QPoint at = mouse->globalPosition().toPoint();
    for (const auto& [id, entry] : icons_) {
        if (entry.icon->geometry().contains(at)) {
            qCDebug(lcTray) << "icon" << id << "double click taken as" << reason;
            doubleClicked_ = {id, reason};
            return true;
        }
    }
    return false;
}

TrayArea::~TrayArea() = default;

void TrayArea::Watch() {
    if (watcher_ != nullptr) {
        return;
    }
    QDBusConnection bus = QDBusConnection::sessionBus();
    watcher_ = new QDBusServiceWatcher(kWatcher, bus, QDBusServiceWatcher::WatchForOwnerChange,
                                       this);
    if (bus.isConnected()) {
        connect(watcher_, &QDBusServiceWatcher::serviceOwnerChanged, this,
                &TrayArea::AskStatusNotifierWatcher);
        for (const char* signal : {"StatusNotifierHostRegistered", "StatusNotifierHostUnregistered"}) {
            bus.connect(kWatcher, kWatcherPath, kWatcher, QString::fromLatin1(signal), this,
                        SLOT(AskStatusNotifierWatcher()));
        }
        AskStatusNotifierWatcher();
    } else {
        sniAnswered_ = true;
    }
    xembedOwner_ = x11::SystemTrayOwner();
    xembedWatch_ = x11::WatchSystemTrayOwner([this](std::uint32_t owner) {
        xembedOwner_ = owner;
        Update();
    });
    // Reported from the loop, as every later host is.
    QMetaObject::invokeMethod(this, &TrayArea::Update, Qt::QueuedConnection);
}

void TrayArea::AskStatusNotifierWatcher() {
    // The same question Qt asks when it picks the protocol, without
    // waiting for the answer: whoever answers is the watcher now.
    QDBusMessage get = QDBusMessage::createMethodCall(
        kWatcher, kWatcherPath, QStringLiteral("org.freedesktop.DBus.Properties"),
        QStringLiteral("Get"));
    get << kWatcher << QStringLiteral("IsStatusNotifierHostRegistered");
    get.setAutoStartService(false);  // a watcher nobody runs stays away
    auto* pending =
        new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(get), this);
    const unsigned question = ++sniQuestion_;
    connect(pending, &QDBusPendingCallWatcher::finished, this, [this, pending, question] {
        pending->deleteLater();
        if (question != sniQuestion_) {
            return;  // a later question's answer counts
        }
        const QDBusMessage reply = pending->reply();
        const bool registered =
            reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty() &&
            reply.arguments().first().value<QDBusVariant>().variant().toBool();
        sniOwner_ = registered ? reply.service() : QString();
        sniAnswered_ = true;
        Update();
    });
}

QString TrayArea::Host() const {
    // Qt prefers a StatusNotifier host: until the watcher has answered,
    // an XEmbed tray could be the wrong choice.
    if (!sniAnswered_) {
        return {};
    }
    if (protocol_ != Protocol::XEmbed && !sniOwner_.isEmpty()) {
        return QStringLiteral("sni:") + sniOwner_;
    }
    if (protocol_ != Protocol::StatusNotifier && xembedOwner_ != 0) {
        return QStringLiteral("xembed:") + QString::number(xembedOwner_);
    }
    return {};
}

void TrayArea::Add(const TrayIconData& data) {
    if (icons_.count(data.uID) != 0) {
        return;  // the id is taken
    }
    const QString host = Host();
    if (host.isEmpty()) {
        return;  // no tray to add to; a new one will be announced
    }
    if (protocol_ == Protocol::Undecided) {
        protocol_ = host.startsWith(QStringLiteral("sni:")) ? Protocol::StatusNotifier
                                                            : Protocol::XEmbed;
    }
    auto icon = std::make_unique<QSystemTrayIcon>(ResourceIcon(data.iconResource));
    icon->setToolTip(
        FromFileNameEncoding(std::string(data.szTip, strnlen(data.szTip, sizeof data.szTip))));
    const unsigned id = data.uID;
    QObject::connect(icon.get(), &QSystemTrayIcon::activated, this,
                     [this, id](QSystemTrayIcon::ActivationReason reason) {
                         qCDebug(lcTray) << "icon" << id << "activated:" << reason;
                         Activated(id, reason);
                     });
    Icon entry;
    if (protocol_ == Protocol::StatusNotifier) {
        // A StatusNotifier host draws the menu itself, from the one the item
        // exports (one without items it does not open), and asks for it on
        // a right click: that request is the right button's messages, and
        // the popup menu they make the frame open refills the exported one.
        entry.menu = std::make_unique<QMenu>();
        QMenu* menu = entry.menu.get();
        hooks_.fillMenu(id, *menu);
        QObject::connect(menu, &QMenu::aboutToShow, this, [this, id, menu] {
            shownMenu_ = menu;
            hooks_.mouse(id, TrayMouse::RightDown);
            hooks_.mouse(id, TrayMouse::RightUp);
            shownMenu_ = nullptr;
        });
        icon->setContextMenu(menu);
    }
    icon->show();
    entry.icon = std::move(icon);
    icons_[id] = std::move(entry);
}

void TrayArea::Activated(unsigned id, int reason) {
    // Qt reports a click once; the frame expects the button's messages,
    // each posted, as the Windows shell posts them.
    TrayMouse messages[2] = {TrayMouse::Move, TrayMouse::Move};
    switch (reason) {
        case QSystemTrayIcon::Trigger:
            messages[0] = TrayMouse::LeftDown;
            messages[1] = TrayMouse::LeftUp;
            break;
        case QSystemTrayIcon::DoubleClick:
            messages[0] = TrayMouse::LeftDoubleClick;
            messages[1] = TrayMouse::LeftUp;
            break;
        case QSystemTrayIcon::Context:
            if (protocol_ == Protocol::StatusNotifier) {
                return;  // the exported menu's opening stands for it
            }
            messages[0] = TrayMouse::RightDown;
            messages[1] = TrayMouse::RightUp;
            break;
        case QSystemTrayIcon::MiddleClick:
            messages[0] = TrayMouse::MiddleDown;
            messages[1] = TrayMouse::MiddleUp;
            break;
        default:
            return;
    }
    for (TrayMouse m : messages) {
        QMetaObject::invokeMethod(
            this, [this, id, m] { hooks_.mouse(id, m); }, Qt::QueuedConnection);
    }
}

void TrayArea::Delete(const TrayIconData& data) { icons_.erase(data.uID); }

void TrayArea::Clear() { icons_.clear(); }

void TrayArea::Update() {
    const QString now = Host();
    if (now == host_) {
        return;
    }
    const bool had = !host_.isEmpty();
    host_ = now;
    if (had) {
        icons_.clear();  // the old host took them with it
    }
    if (!now.isEmpty()) {
        hooks_.hostCreated();
    }
}

}  // namespace qm
