// Method calls on the session bus for the desktops reached over D-Bus. The
// call is sent and the event loop goes on: the answer comes back through a
// callback, so a slow or hung desktop never stops the program.
#pragma once

#include <functional>
#include <string>

#include <QDBusMessage>
#include <QObject>
#include <QString>
#include <QVariantList>

namespace qm::desktops {

// How long a desktop may take to answer before its silence counts as a
// refusal: D-Bus's own default.
constexpr int kSessionBusTimeoutMs = 25000;

// The reply, or an error message when the bus or the service failed or did
// not answer in time; `why` then holds the error's text.
using BusReply = std::function<void(const QDBusMessage& reply, const std::string& why)>;

// Sends the call and returns at once. `reply` runs later from the event
// loop, and never once `context` is destroyed.
void CallSessionBus(const QString& service, const QString& path, const QString& interface,
                    const QString& method, const QVariantList& arguments, QObject* context,
                    BusReply reply);

}  // namespace qm::desktops
