#include "platform/desktops/session_bus.h"

#include <QDBusConnection>
#include <QDBusError>

namespace qm::desktops {

namespace {
constexpr int kTimeoutMs = 10000;
}

QDBusMessage CallSessionBus(const QString& service, const QString& path, const QString& interface,
                            const QString& method, const QVariantList& arguments, std::string& why) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        why = "No session bus: " + bus.lastError().message().toStdString();
        return QDBusMessage::createError(QDBusError::Disconnected, QString::fromStdString(why));
    }
    QDBusMessage call = QDBusMessage::createMethodCall(service, path, interface, method);
    call.setArguments(arguments);
    QDBusMessage reply = bus.call(call, QDBus::Block, kTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage) {
        why = (service + ": " + reply.errorMessage()).toStdString();
    }
    return reply;
}

}  // namespace qm::desktops
