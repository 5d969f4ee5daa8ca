#include "platform/desktops/sway_desktop.h"

#include <cstdint>
#include <cstring>
#include <memory>
#include <utility>

#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocalSocket>
#include <QTimer>

#include "platform/desktops/desktop_support.h"

namespace qm::desktops {

namespace {

// i3's IPC framing, which sway keeps: the magic, then the payload's length
// and the message type, both 32-bit in the machine's own byte order.
constexpr char kMagic[] = "i3-ipc";
constexpr int kMagicSize = sizeof kMagic - 1;
constexpr int kHeaderSize = kMagicSize + 8;
constexpr std::uint32_t kRunCommand = 0;
// The most sway says to one command: a result of a few dozen bytes, or an
// error naming the file. A reply declaring more is not sway's.
constexpr std::uint32_t kMaxReply = 64 * 1024;
// Of sway's words, what a message box can show.
constexpr qsizetype kMaxWords = 300;

std::string Trimmed(const QString& words) {
    return (words.size() > kMaxWords ? words.left(kMaxWords) + QStringLiteral("...") : words)
        .toStdString();
}

QByteArray Message(std::uint32_t type, const QByteArray& payload) {
    QByteArray message(kMagic, kMagicSize);
    const auto length = static_cast<std::uint32_t>(payload.size());
    message.append(reinterpret_cast<const char*>(&length), sizeof length);
    message.append(reinterpret_cast<const char*>(&type), sizeof type);
    return message + payload;
}

const char* Mode(Layout layout) {
    switch (layout) {
        case Layout::Tiled: return "tile";
        case Layout::Stretched: return "stretch";
        case Layout::Filled: return "fill";
        case Layout::Fitted: return "fit";
        case Layout::Centred:
        case Layout::Spanned:  // never asked of it: it does not span
            break;
    }
    return "center";
}

// sway's reply to a command list: one {"success": ...} per command, with
// "error" saying why when it failed.
bool Succeeded(const QByteArray& payload, std::string& why) {
    const QJsonDocument reply = QJsonDocument::fromJson(payload);
    if (!reply.isArray() || reply.array().isEmpty()) {
        why = "sway answered: " + Trimmed(QString::fromUtf8(payload));
        return false;
    }
    for (const QJsonValue& result : reply.array()) {
        const QJsonObject object = result.toObject();
        if (!object.value(QStringLiteral("success")).toBool()) {
            const QString error = object.value(QStringLiteral("error")).toString();
            why = "sway: " + Trimmed(error.isEmpty() ? QStringLiteral("the command failed") : error);
            return false;
        }
    }
    return true;
}

// A word quoted so that sway's command parser and the shell-like expansion
// of a path take it word for word.
std::string Quoted(const std::string& path) {
    // Two readers see the name in turn. sway's parser splits commands at
    // unquoted ';' and ',' and words at unquoted blanks, honours quotes and
    // backslashes, and replaces `$name` with its variables unless the '$'
    // follows a single backslash; the path it keeps then goes through
    // wordexp(3), which expands variables, commands, '~' and patterns. A
    // backslash before every other character keeps it literal for both.
    std::string word = "\"";
    for (const char c : path) {
        const auto u = static_cast<unsigned char>(c);
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
            u >= 0x80 || std::strchr("/._+-@%=:", c) != nullptr) {
            word += c;
        } else {
            if (c == '$' && word.back() == '\\') {
                word += "''";  // sway reads "\\$" as a variable after a backslash
            }
            word += '\\';
            word += c;
        }
    }
    return word + "\"";
}

// The command that shows the file on an output ("*": every one).
std::string Command(const std::string& output, const std::string& path, Layout layout) {
    return "output " + (output == "*" ? output : Quoted(output)) + " bg " + Quoted(path) + " " +
           Mode(layout);
}

}  // namespace

SwayDesktop::SwayDesktop(std::string socket, int timeoutMs)
    : socket_(std::move(socket)), timeoutMs_(timeoutMs), context_(std::make_unique<QObject>()) {}

SwayDesktop::~SwayDesktop() {
    // A socket closed by its parent's end reports it; no answer runs then.
    for (QObject* child : context_->children()) {
        child->disconnect();
    }
}

void SwayDesktop::Apply(const std::string& path, Layout layout, Answer answer) {
    Run(Command("*", path, layout), path, layout, std::move(answer));
}

void SwayDesktop::ApplyEach(const std::vector<ScreenPicture>& pictures, Layout layout,
                            Answer answer) {
    std::string commands;
    for (const ScreenPicture& picture : pictures) {
        commands += (commands.empty() ? "" : "; ") + Command(picture.screen, picture.path, layout);
    }
    Run(commands, pictures.front().path, layout, std::move(answer));
}

void SwayDesktop::Run(const std::string& commands, const std::string& path, Layout layout,
                      Answer answer) {
    const unsigned number = shown_.Hand(path, layout);

    struct Request {
        QByteArray received;
        bool answered = false;
    };
    auto request = std::make_shared<Request>();
    auto* socket = new QLocalSocket(context_.get());
    auto* timer = new QTimer(socket);
    const auto finish = [this, socket, request, number, path, layout,
                         answer = std::move(answer)](bool shown, const std::string& why) {
        if (request->answered) {
            return;
        }
        request->answered = true;
        shown_.Answered(number, shown, path, layout);
        qCDebug(lcDesktops) << "sway" << (shown ? "took" : "refused") << path.c_str() << why.c_str();
        socket->disconnect();
        socket->deleteLater();
        // A socket may fail inside connectToServer: the answer comes later.
        AnswerLater(context_.get(), answer, shown, why);
    };

    if (socket_.empty()) {
        finish(false, "No sway IPC socket: SWAYSOCK is not set.");
        return;
    }
    if (commands.find('\n') != std::string::npos) {
        // sway 1.7 takes such a name and shows nothing: no quoting gets a
        // line break through.
        finish(false, "sway cannot show a file whose name has a line break: " + path);
        return;
    }
    timer->setSingleShot(true);
    QObject::connect(timer, &QTimer::timeout, socket, [this, finish] {
        finish(false, "sway did not answer on " + socket_ + " within " +
                          QString::number(timeoutMs_ / 1000.0).toStdString() + " s.");
    });
    QObject::connect(socket, &QLocalSocket::connected, socket, [socket, commands] {
        socket->write(Message(kRunCommand, QByteArray::fromStdString(commands)));
    });
    // Only what the reply declares is read, and a declaration is believed
    // only up to what sway ever says: a peer that streams without end
    // holds no more than this.
    socket->setReadBufferSize(kHeaderSize + kMaxReply);
    QObject::connect(socket, &QLocalSocket::readyRead, socket, [socket, request, finish] {
        QByteArray& received = request->received;
        for (;;) {
            qsizetype wanted = kHeaderSize;
            if (received.size() >= kHeaderSize) {
                if (!received.startsWith(kMagic)) {
                    finish(false, "Not sway's IPC on the socket.");
                    return;
                }
                std::uint32_t length = 0;
                std::uint32_t type = 0;
                std::memcpy(&length, received.constData() + kMagicSize, sizeof length);
                std::memcpy(&type, received.constData() + kMagicSize + 4, sizeof type);
                if (type != kRunCommand) {
                    finish(false, "sway answered with a message of type " + std::to_string(type) +
                                      ", not the command's.");
                    return;
                }
                if (length > kMaxReply) {
                    finish(false, "sway's answer claims " + std::to_string(length) +
                                      " bytes, more than any answer to a command.");
                    return;
                }
                wanted = kHeaderSize + static_cast<qsizetype>(length);
                if (received.size() >= wanted) {
                    std::string why;
                    const bool shown = Succeeded(received.mid(kHeaderSize, length), why);
                    finish(shown, why);
                    return;
                }
            }
            const QByteArray more = socket->read(wanted - received.size());
            if (more.isEmpty()) {
                return;
            }
            received += more;
        }
    });
    QObject::connect(socket, &QLocalSocket::errorOccurred, socket, [this, socket, finish] {
        finish(false, "sway's IPC socket " + socket_ + ": " + socket->errorString().toStdString());
    });
    timer->start(timeoutMs_);
    socket->connectToServer(QString::fromLocal8Bit(socket_.c_str()));
}

}  // namespace qm::desktops
