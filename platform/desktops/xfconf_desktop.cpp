#include "platform/desktops/xfconf_desktop.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QFile>
#include <QStringList>
#include <QVariantMap>

#include "platform/desktops/session_bus.h"

namespace qm::desktops {

namespace {

const QString kChannel = QStringLiteral("xfce4-desktop");
const QString kImage = QStringLiteral("last-image");
const QString kStyle = QStringLiteral("image-style");

QDBusMessage Xfconf(const char* method, const QVariantList& arguments, std::string& why) {
    return CallSessionBus(QStringLiteral("org.xfce.Xfconf"), QStringLiteral("/org/xfce/Xfconf"),
                          QStringLiteral("org.xfce.Xfconf"), QString::fromLatin1(method),
                          arguments, why);
}

// The channel's backdrop properties, keyed by name in sorted order: per
// monitor and workspace, /backdrop/screen0/monitor<name>/workspace<n>/...
std::optional<QVariantMap> Backdrops(std::string& why) {
    QDBusMessage reply =
        Xfconf("GetAllProperties", {kChannel, QStringLiteral("/backdrop")}, why);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
        return std::nullopt;
    }
    return qdbus_cast<QVariantMap>(reply.arguments().constFirst());
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
        case Layout::Centred: break;
    }
    return 1;
}

bool SetProperty(const QString& name, const QVariant& value, std::string& why) {
    return Xfconf("SetProperty", {kChannel, name, QVariant::fromValue(QDBusVariant(value))}, why)
               .type() == QDBusMessage::ReplyMessage;
}

// What the desktop shows, as the first backdrop in sorted order (screen 0,
// the first monitor's name, workspace 0) has it.
struct Backdrop {
    QString image;
    int style;
};

std::optional<Backdrop> FirstBackdrop() {
    std::string why;
    const auto backdrops = Backdrops(why);
    if (!backdrops) {
        return std::nullopt;
    }
    const QStringList images = ImageProperties(*backdrops);
    if (images.isEmpty()) {
        return std::nullopt;
    }
    const QString& first = images.constFirst();
    return Backdrop{backdrops->value(first).toString(),
                    backdrops->value(Sibling(first, kStyle)).toInt()};
}

}  // namespace

bool XfconfDesktop::Apply(const std::string& path, Layout layout, std::string& why) {
    const auto backdrops = Backdrops(why);
    if (!backdrops) {
        return false;
    }
    const QStringList images = ImageProperties(*backdrops);
    if (images.isEmpty()) {
        // xfdesktop writes them for every monitor and workspace it draws.
        why = "xfconf holds no backdrop of xfdesktop's.";
        return false;
    }
    const QString file = QFile::decodeName(path.c_str());
    for (const QString& image : images) {
        if (!SetProperty(Sibling(image, kStyle), StyleNumber(layout), why) ||
            !SetProperty(image, file, why)) {
            return false;
        }
    }
    return true;
}

std::optional<std::string> XfconfDesktop::CurrentPicture() {
    const auto shown = FirstBackdrop();
    if (!shown || shown->image.isEmpty()) {
        return std::nullopt;
    }
    return QFile::encodeName(shown->image).toStdString();
}

std::optional<Layout> XfconfDesktop::CurrentLayout() {
    const auto shown = FirstBackdrop();
    if (!shown) {
        return std::nullopt;
    }
    switch (shown->style) {
        case 2: return Layout::Tiled;
        case 3: return Layout::Stretched;
        default: return Layout::Centred;
    }
}

}  // namespace qm::desktops
