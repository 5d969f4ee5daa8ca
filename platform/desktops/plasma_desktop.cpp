#include "platform/desktops/plasma_desktop.h"

#include <QDBusMessage>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QUrl>

#include <utility>

#include "platform/desktops/session_bus.h"

namespace qm::desktops {

namespace {

// Every desktop (each screen and activity) shows the picture through the
// image plugin: the one for every screen, or its screen's own, found by the
// screen's place; an empty shell throws, which Plasma answers with an error.
constexpr const char* kSetScript = R"(var image = %1;
var screens = %2;
var fillMode = %3;
var all = desktops();
if (all.length == 0) {
    throw new Error("Plasma has no desktop");
}
for (var i = 0; i < all.length; i++) {
    var d = all[i];
    var own = image;
    if (screens.length > 0 && d.screen >= 0) {
        var g = screenGeometry(d.screen);
        for (var s = 0; s < screens.length; s++) {
            var e = screens[s];
            if (g.x == e.x && g.y == e.y && g.width == e.width && g.height == e.height) {
                own = e.image;
            }
        }
    }
    if (own === null) {
        continue;
    }
    d.wallpaperPlugin = "org.kde.image";
    d.currentConfigGroup = ["Wallpaper", "org.kde.image", "General"];
    d.writeConfig("Image", own);
    d.writeConfig("FillMode", fillMode);
}
)";

// The first screen's desktop, when it shows a picture: what it prints is
// the answer.
constexpr const char* kReadScript = R"(var d = desktopForScreen(0) || desktops()[0];
if (d && d.wallpaperPlugin == "org.kde.image") {
    d.currentConfigGroup = ["Wallpaper", "org.kde.image", "General"];
    print(JSON.stringify({image: String(d.readConfig("Image", "")),
                          fillMode: Number(d.readConfig("FillMode", 2))}));
}
)";

// The image plugin's fill modes are those of Qt Quick's Image.
constexpr int kStretch = 0, kFit = 1, kCrop = 2, kTile = 3, kPad = 6;

void Evaluate(const QString& script, QObject* context, BusReply reply) {
    CallSessionBus(QStringLiteral("org.kde.plasmashell"), QStringLiteral("/PlasmaShell"),
                   QStringLiteral("org.kde.PlasmaShell"), QStringLiteral("evaluateScript"),
                   {script}, context, std::move(reply));
}

// Any text as a JavaScript string literal.
QString Literal(const QString& text) {
    const QByteArray json = QJsonDocument(QJsonArray{text}).toJson(QJsonDocument::Compact);
    return QString::fromUtf8(json.mid(1, json.size() - 2));
}

int FillMode(Layout layout) {
    switch (layout) {
        case Layout::Tiled: return kTile;
        case Layout::Stretched: return kStretch;
        case Layout::Filled: return kCrop;  // PreserveAspectCrop
        case Layout::Fitted: return kFit;   // PreserveAspectFit
        case Layout::Centred:
        case Layout::Spanned:  // never asked of it: it does not span
            break;
    }
    return kPad;
}

QString Url(const std::string& path) {
    return QUrl::fromLocalFile(QFile::decodeName(path.c_str())).toString(QUrl::FullyEncoded);
}

std::optional<std::string> PictureOf(const QString& image) {
    const QUrl url(image);
    if (url.isLocalFile()) {
        return QFile::encodeName(url.toLocalFile()).toStdString();
    }
    if (image.startsWith(QLatin1Char('/'))) {
        return QFile::encodeName(image).toStdString();
    }
    return std::nullopt;
}

Layout LayoutOf(int fillMode) {
    switch (fillMode) {
        case kTile: return Layout::Tiled;
        case kStretch: return Layout::Stretched;
        case kCrop: return Layout::Filled;
        case kFit: return Layout::Fitted;
        default: return Layout::Centred;
    }
}

}  // namespace

PlasmaDesktop::PlasmaDesktop() {
    Evaluate(QString::fromLatin1(kReadScript), &context_,
             [this](const QDBusMessage& reply, const std::string&) {
                 if (reply.type() != QDBusMessage::ReplyMessage ||
                     reply.arguments().isEmpty()) {
                     return;
                 }
                 const QJsonDocument printed = QJsonDocument::fromJson(
                     reply.arguments().constFirst().toString().trimmed().toUtf8());
                 if (!printed.isObject()) {
                     return;
                 }
                 const QJsonObject shown = printed.object();
                 shown_.Known(PictureOf(shown.value(QStringLiteral("image")).toString()),
                              LayoutOf(shown.value(QStringLiteral("fillMode")).toInt(-1)));
             });
}

void PlasmaDesktop::Apply(const std::string& path, Layout layout, Answer answer) {
    Run(Literal(Url(path)), QStringLiteral("[]"), path, layout, std::move(answer));
}

void PlasmaDesktop::ApplyEach(const std::vector<ScreenPicture>& pictures, Layout layout,
                              Answer answer) {
    QJsonArray screens;
    for (const ScreenPicture& p : pictures) {
        screens.append(QJsonObject{{QStringLiteral("x"), p.x},
                                   {QStringLiteral("y"), p.y},
                                   {QStringLiteral("width"), p.width},
                                   {QStringLiteral("height"), p.height},
                                   {QStringLiteral("image"), Url(p.path)}});
    }
    Run(QStringLiteral("null"),
        QString::fromUtf8(QJsonDocument(screens).toJson(QJsonDocument::Compact)),
        pictures.front().path, layout, std::move(answer));
}

void PlasmaDesktop::Run(const QString& image, const QString& screens, const std::string& path,
                        Layout layout, Answer answer) {
    // In one pass: a picture's name may hold "%2".
    const QString script = QString::fromLatin1(kSetScript)
                               .arg(image, screens, QString::number(FillMode(layout)));
    const unsigned number = shown_.Hand(path, layout);
    Evaluate(script, &context_,
             [this, number, path, layout, answer = std::move(answer)](const QDBusMessage& reply,
                                                                    const std::string& why) {
                 const bool shown = reply.type() == QDBusMessage::ReplyMessage;
                 shown_.Answered(number, shown, path, layout);
                 answer(shown, why);
             });
}

}  // namespace qm::desktops
