// A stand-in for Plasma's shell on the session bus: org.kde.plasmashell with
// /PlasmaShell's evaluateScript. It runs no script; it keeps each one it is
// given as DIR/script-<n>.js and answers with the text of DIR/reply, or,
// while DIR/refuse exists, with the error Plasma gives when it refuses
// (its text from that file). Usage: plasma-standin DIR
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QDir>
#include <QFile>

#include <cstdio>

namespace {

QByteArray ReadAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

class Shell : public QDBusVirtualObject {
public:
    explicit Shell(QDir dir) : dir_(std::move(dir)) {}

    QString introspect(const QString&) const override {
        return QStringLiteral(
            "<interface name=\"org.kde.PlasmaShell\"><method name=\"evaluateScript\">"
            "<arg name=\"script\" type=\"s\" direction=\"in\"/>"
            "<arg type=\"s\" direction=\"out\"/></method></interface>");
    }

    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
        if (message.interface() != QLatin1String("org.kde.PlasmaShell") ||
            message.member() != QLatin1String("evaluateScript") || message.arguments().size() != 1) {
            return false;
        }
        {
            // Closed (written out) before the answer goes: the caller reads it next.
            QFile script(dir_.filePath(QStringLiteral("script-%1.js").arg(++count_)));
            if (script.open(QIODevice::WriteOnly)) {
                script.write(message.arguments().constFirst().toString().toUtf8());
            }
        }
        const QString refuse = dir_.filePath(QStringLiteral("refuse"));
        connection.send(QFile::exists(refuse)
                            ? message.createErrorReply(QDBusError::Failed,
                                                       QString::fromUtf8(ReadAll(refuse)))
                            : message.createReply(QString::fromUtf8(
                                  ReadAll(dir_.filePath(QStringLiteral("reply"))))));
        return true;
    }

private:
    QDir dir_;
    int count_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: plasma-standin DIR\n");
        return 2;
    }
    Shell shell{QDir(QString::fromLocal8Bit(argv[1]))};
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.registerVirtualObject(QStringLiteral("/PlasmaShell"), &shell) ||
        !bus.registerService(QStringLiteral("org.kde.plasmashell"))) {
        std::fprintf(stderr, "plasma-standin: %s\n", qPrintable(bus.lastError().message()));
        return 1;
    }
    return app.exec();
}
