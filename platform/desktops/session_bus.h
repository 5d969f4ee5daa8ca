// A blocking method call on the session bus, for the desktops reached over
// D-Bus. The user-interface thread waits for the answer: a desktop that does
// not answer within the timeout counts as one that refused.
#pragma once

#include <QDBusMessage>
#include <QString>
#include <QVariantList>

#include <string>

namespace qm::desktops {

// The reply, or an error message when the bus or the service failed; `why`
// then holds the error's text.
QDBusMessage CallSessionBus(const QString& service, const QString& path, const QString& interface,
                            const QString& method, const QVariantList& arguments, std::string& why);

}  // namespace qm::desktops
