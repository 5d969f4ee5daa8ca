#include "platform/qt/qt_tray.h"

#include <cstring>

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <QDBusVariant>
#include <QMenu>
#include <QSystemTrayIcon>

#include "platform/qt/qt_icon.h"
#include "platform/qt/qt_x11.h"

namespace qm {

namespace {

const QString kWatcher = QStringLiteral("org.kde.StatusNotifierWatcher");

}  // namespace

TrayArea::TrayArea(Hooks hooks) : hooks_(std::move(hooks)) {
    // Hosts announce themselves in two unrelated ways (a bus name, an X
    // selection); asking once a second covers both, and a restart too.
    poll_.setInterval(1000);
    QObject::connect(&poll_, &QTimer::timeout, &context_, [this] { Poll(); });
}

TrayArea::~TrayArea() = default;

void TrayArea::Watch() {
    host_ = Host();
    poll_.start();
}

QString TrayArea::StatusNotifierHost() {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || bus.interface() == nullptr) {
        return {};
    }
    const QDBusReply<QString> owner = bus.interface()->serviceOwner(kWatcher);
    if (!owner.isValid()) {
        sniOwner_.clear();
        sniRegistered_ = false;
        return {};
    }
    // The same question Qt asks when it picks the protocol.
    if (owner.value() != sniOwner_ || !sniRegistered_) {
        sniOwner_ = owner.value();
        QDBusMessage get = QDBusMessage::createMethodCall(
            sniOwner_, QStringLiteral("/StatusNotifierWatcher"),
            QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
        get << kWatcher << QStringLiteral("IsStatusNotifierHostRegistered");
        const QDBusMessage reply = bus.call(get, QDBus::Block, 1000);
        sniRegistered_ = reply.type() == QDBusMessage::ReplyMessage &&
                         !reply.arguments().isEmpty() &&
                         reply.arguments().first().value<QDBusVariant>().variant().toBool();
    }
    return sniRegistered_ ? sniOwner_ : QString();
}

QString TrayArea::Host() {
    if (protocol_ != Protocol::XEmbed) {
        const QString sni = StatusNotifierHost();
        if (!sni.isEmpty()) {
            return QStringLiteral("sni:") + sni;
        }
    }
    if (protocol_ != Protocol::StatusNotifier) {
        if (const std::uint32_t owner = x11::SystemTrayOwner()) {
            return QStringLiteral("xembed:") + QString::number(owner);
        }
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
    icon->setToolTip(QString::fromLocal8Bit(data.szTip, static_cast<qsizetype>(
                                                            strnlen(data.szTip, sizeof data.szTip))));
    const unsigned id = data.uID;
    QObject::connect(
        icon.get(), &QSystemTrayIcon::activated, &context_,
        [this, id](QSystemTrayIcon::ActivationReason reason) {
            // Qt reports a click once; the frame expects the button's
            // messages, each posted, as the Windows shell posts them.
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
                    &context_, [this, id, m] { hooks_.mouse(id, m); }, Qt::QueuedConnection);
            }
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
        QObject::connect(menu, &QMenu::aboutToShow, &context_, [this, id, menu] {
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

void TrayArea::Delete(const TrayIconData& data) { icons_.erase(data.uID); }

void TrayArea::Clear() { icons_.clear(); }

void TrayArea::Poll() {
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
