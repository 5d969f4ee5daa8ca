#include "platform/desktops/session_bus.h"

#include <QDBusConnection>
#include <QDBusError>
#include <QDBusPendingCallWatcher>
#include <QTimer>

#include "platform/desktops/desktop_support.h"

Q_LOGGING_CATEGORY(lcDesktops, "qm.desktops", QtWarningMsg)

namespace qm::desktops {

void CallSessionBus(const QString& service, const QString& path, const QString& interface,
                    const QString& method, const QVariantList& arguments, QObject* context,
                    BusReply reply) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        const std::string why = "No session bus: " + bus.lastError().message().toStdString();
        QTimer::singleShot(0, context, [reply = std::move(reply), why] {
            reply(QDBusMessage::createError(QDBusError::Disconnected, QString::fromStdString(why)),
                  why);
        });
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(service, path, interface, method);
    call.setArguments(arguments);
    qCDebug(lcDesktops) << "calling" << service << method;
    auto* watcher =
        new QDBusPendingCallWatcher(bus.asyncCall(call, kSessionBusTimeoutMs), context);
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, context,
                     [watcher, service, method, reply = std::move(reply)] {
                         watcher->deleteLater();
                         const QDBusMessage answer = watcher->reply();
                         std::string why;
                         if (answer.type() != QDBusMessage::ReplyMessage) {
                             why = (service + ": " + answer.errorMessage()).toStdString();
                             qCDebug(lcDesktops) << method << "failed:" << answer.errorMessage();
                         }
                         reply(answer, why);
                     });
}

}  // namespace qm::desktops
