#include "platform/desktops/xfconf_desktop.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QFile>
#include <QMap>
#include <QStringList>

#include "platform/desktops/desktop_support.h"
#include "platform/desktops/session_bus.h"

namespace qm::desktops {

namespace {

const QString kService = QStringLiteral("org.xfce.Xfconf");
const QString kPath = QStringLiteral("/org/xfce/Xfconf");
const QString kChannel = QStringLiteral("xfce4-desktop");
const QString kImage = QStringLiteral("last-image");
const QString kStyle = QStringLiteral("image-style");

void Xfconf(const char* method, const QVariantList& arguments, QObject* context, BusReply reply) {
    CallSessionBus(kService, kPath, kService, QString::fromLatin1(method), arguments, context,
                   std::move(reply));
}

bool IsBackdrop(const QString& property) {
    return property.startsWith(QStringLiteral("/backdrop/"));
}

QStringList ImageProperties(const QVariantMap& backdrops) {
    QStringList names;
    for (auto it = backdrops.constBegin(); it != backdrops.constEnd(); ++it) {
        if (it.key().startsWith(QStringLiteral("/backdrop/screen")) &&
            it.key().endsWith(QLatin1Char('/') + kImage)) {
            names.append(it.key());
        }
    }
    return names;
}

QString Sibling(const QString& imageProperty, const QString& name) {
    return imageProperty.chopped(kImage.size()) + name;
}

int StyleNumber(Layout layout) {
    switch (layout) {
        case Layout::Tiled: return 2;
        case Layout::Stretched: return 3;
        case Layout::Filled: return 5;  // zoomed
        case Layout::Fitted: return 4;  // scaled
        case Layout::Spanned: return 6;  // spanning screens
        case Layout::Centred: break;
    }
    return 1;
}

}  // namespace

// Receives xfconfd's signals (a D-Bus signal needs a slot) and owns the
// pending calls, which end with it.
class XfconfDesktop::Watcher : public QObject {
    Q_OBJECT
public:
    explicit Watcher(QVariantMap& backdrops) : backdrops_(backdrops) {
        QDBusConnection bus = QDBusConnection::sessionBus();
        bus.connect(kService, kPath, kService, QStringLiteral("PropertyChanged"), this,
                    SLOT(OnChanged(QString, QString, QDBusVariant)));
        bus.connect(kService, kPath, kService, QStringLiteral("PropertyRemoved"), this,
                    SLOT(OnRemoved(QString, QString)));
    }

public slots:
    void OnChanged(const QString& channel, const QString& property, const QDBusVariant& value) {
        if (channel == kChannel && IsBackdrop(property)) {
            backdrops_.insert(property, value.variant());
        }
    }
    void OnRemoved(const QString& channel, const QString& property) {
        if (channel == kChannel && IsBackdrop(property)) {
            backdrops_.remove(property);
        }
    }

private:
    QVariantMap& backdrops_;
};

XfconfDesktop::XfconfDesktop() : watcher_(std::make_unique<Watcher>(backdrops_)) {
    Xfconf("GetAllProperties", {kChannel, QStringLiteral("/backdrop")}, watcher_.get(),
           [this](const QDBusMessage& reply, const std::string&) {
               if (reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty()) {
                   // What changed meanwhile came by signal, and is newer.
                   const QVariantMap all = qdbus_cast<QVariantMap>(reply.arguments().constFirst());
                   for (auto it = all.constBegin(); it != all.constEnd(); ++it) {
                       if (!backdrops_.contains(it.key())) {
                           backdrops_.insert(it.key(), it.value());
                       }
                   }
               }
           });
}

XfconfDesktop::~XfconfDesktop() = default;

void XfconfDesktop::Apply(const std::string& path, Layout layout, Answer answer) {
    ApplyEach({{{}, 0, 0, 0, 0, path}}, layout, std::move(answer));
}

void XfconfDesktop::ApplyEach(const std::vector<ScreenPicture>& pictures, Layout layout,
                              Answer answer) {
    const int style = StyleNumber(layout);
    // The backdrops xfdesktop has made by now, then each one's two values.
    Xfconf("GetAllProperties", {kChannel, QStringLiteral("/backdrop")}, watcher_.get(),
           [this, pictures, style, answer = std::move(answer)](const QDBusMessage& reply,
                                                              const std::string& why) {
               if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
                   answer(false, why);
                   return;
               }
               // Each backdrop's picture: a monitor's own (its backdrops are
               // named after the output), else the one for every monitor. A
               // monitor xfdesktop has not drawn yet gets its first
               // workspace's made.
               QMap<QString, QString> files;
               const QStringList all =
                   ImageProperties(qdbus_cast<QVariantMap>(reply.arguments().constFirst()));
               for (const ScreenPicture& picture : pictures) {
                   const QString file = QFile::decodeName(picture.path.c_str());
                   const QString monitor =
                       QStringLiteral("/monitor") + QString::fromStdString(picture.screen) + QLatin1Char('/');
                   bool found = false;
                   for (const QString& image : all) {
                       if (picture.screen.empty() || image.contains(monitor)) {
                           files.insert(image, file);
                           found = true;
                       }
                   }
                   if (!found && !picture.screen.empty()) {
                       files.insert(QStringLiteral("/backdrop/screen0") + monitor +
                                        QStringLiteral("workspace0/") + kImage,
                                    file);
                   }
               }
               const QStringList images = files.keys();
               if (images.isEmpty()) {
                   // xfdesktop writes them for every monitor and workspace it draws.
                   answer(false, "xfconf holds no backdrop of xfdesktop's.");
                   return;
               }
               struct Count {
                   int left;
                   bool answered = false;
               };
               auto count = std::make_shared<Count>(Count{static_cast<int>(images.size()) * 2});
               const auto done = [this, count, files, style,
                                  answer](const QDBusMessage& set, const std::string& w) {
                   if (count->answered) {
                       return;
                   }
                   if (set.type() != QDBusMessage::ReplyMessage) {
                       count->answered = true;
                       answer(false, w);
                   } else if (--count->left == 0) {
                       count->answered = true;
                       // Stored: shown from now on, before xfconfd's signals
                       // (sent when it is idle) say so; never before, so that
                       // a picture still on its way counts as nobody's.
                       for (auto it = files.constBegin(); it != files.constEnd(); ++it) {
                           backdrops_.insert(it.key(), it.value());
                           backdrops_.insert(Sibling(it.key(), kStyle), style);
                       }
                       answer(true, {});
                   }
               };
               for (const QString& image : images) {
                   // The style first: xfdesktop redraws on the image.
                   Xfconf("SetProperty",
                          {kChannel, Sibling(image, kStyle), QVariant::fromValue(QDBusVariant(style))},
                          watcher_.get(), done);
                   Xfconf("SetProperty",
                          {kChannel, image, QVariant::fromValue(QDBusVariant(files.value(image)))},
                          watcher_.get(), done);
               }
           });
}

std::optional<std::string> XfconfDesktop::CurrentPicture() {
    const QStringList images = ImageProperties(backdrops_);
    if (images.isEmpty()) {
        return std::nullopt;
    }
    const QString image = backdrops_.value(images.constFirst()).toString();
    if (image.isEmpty()) {
        return std::nullopt;
    }
    return QFile::encodeName(image).toStdString();
}

std::optional<Layout> XfconfDesktop::CurrentLayout() {
    const QStringList images = ImageProperties(backdrops_);
    if (images.isEmpty()) {
        return std::nullopt;
    }
    switch (backdrops_.value(Sibling(images.constFirst(), kStyle)).toInt()) {
        case 2: return Layout::Tiled;
        case 3: return Layout::Stretched;
        case 4: return Layout::Fitted;
        case 5: return Layout::Filled;
        default: return Layout::Centred;
    }
}

}  // namespace qm::desktops

#include "xfconf_desktop.moc"
