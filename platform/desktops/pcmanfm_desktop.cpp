#include "platform/desktops/pcmanfm_desktop.h"

#include <memory>
#include <utility>

#include <csignal>
#include <sys/types.h>
#include <unistd.h>

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTimer>

#include "platform/desktops/desktop_support.h"

namespace qm::desktops {

namespace {

bool IsLxde(const std::string& program) {
    return QFileInfo(QString::fromStdString(program)).fileName() ==
           QLatin1String(PcmanfmDesktop::kLxde);
}

// Each program's word for a layout: a filled picture is pcmanfm-qt's
// "zoom" and LXDE's pcmanfm's "crop"; LXDE's "screen" stretches one
// picture over the whole screen, each monitor showing its own part.
const char* Mode(Layout layout, const std::string& program) {
    switch (layout) {
        case Layout::Tiled: return "tile";
        case Layout::Stretched: return "stretch";
        case Layout::Filled: return IsLxde(program) ? "crop" : "zoom";
        case Layout::Fitted: return "fit";
        case Layout::Spanned:  // asked only of LXDE's, which spans
            return "screen";
        case Layout::Centred: break;
    }
    return "center";
}

// Of the program's output, the end is what tells why it failed, and what a
// message box can show.
constexpr qsizetype kKeptOutput = 300;

// The run's process group (its own), ended whole: pcmanfm-qt's children
// too, which would otherwise live on after it.
void EndGroup(QProcess* process) {
    if (process->state() != QProcess::NotRunning && process->processId() > 0) {
        ::kill(-static_cast<pid_t>(process->processId()), SIGKILL);
        process->kill();  // its end is reaped when the object goes
    }
}

// The kept output as a line a box can show: whole characters, no control
// bytes (a program may write anything).
std::string Readable(const QByteArray& output) {
    QString text = QString::fromUtf8(output.right(kKeptOutput));
    for (QChar& c : text) {
        if (c.category() == QChar::Other_Control && c != u'\n' && c != u'\t') {
            c = u' ';
        }
    }
    return text.simplified().toStdString();
}

}  // namespace

PcmanfmDesktop::PcmanfmDesktop(std::string program, int timeoutMs)
    : program_(std::move(program)), timeoutMs_(timeoutMs), context_(std::make_unique<QObject>()) {}

bool PcmanfmDesktop::Spans() const { return IsLxde(program_); }

PcmanfmDesktop::~PcmanfmDesktop() {
    // A run still under way is ended, its group with it; no answer runs then.
    for (QObject* child : context_->children()) {
        child->disconnect();
        if (auto* process = qobject_cast<QProcess*>(child)) {
            EndGroup(process);
        }
    }
}

void PcmanfmDesktop::Apply(const std::string& path, Layout layout, Answer answer) {
    const unsigned number = shown_.Hand(path, layout);

    auto* process = new QProcess(context_.get());
    auto* timer = new QTimer(process);
    auto answered = std::make_shared<bool>(false);
    auto said = std::make_shared<QByteArray>();
    const auto finish = [this, process, answered, number, path, layout,
                         answer = std::move(answer)](bool shown, const std::string& why) {
        if (*answered) {
            return;
        }
        *answered = true;
        shown_.Answered(number, shown, path, layout);
        qCDebug(lcDesktops) << program_.c_str() << (shown ? "took" : "refused") << path.c_str()
                            << why.c_str();
        process->disconnect();
        EndGroup(process);
        process->deleteLater();
        AnswerLater(context_.get(), answer, shown, why);
    };
    process->setProcessChannelMode(QProcess::MergedChannels);
    // A group of its own, so that a timeout ends whatever it started.
    process->setChildProcessModifier([] { ::setpgid(0, 0); });
    // Read as it comes, keeping only the end: a program that writes
    // without end holds no memory here.
    QObject::connect(process, &QProcess::readyRead, process, [process, said] {
        *said += process->readAll();
        if (said->size() > kKeptOutput) {
            *said = said->right(kKeptOutput);
        }
    });
    timer->setSingleShot(true);
    QObject::connect(timer, &QTimer::timeout, process, [this, finish] {
        finish(false, program_ + " did not finish within " +
                          QString::number(timeoutMs_ / 1000.0).toStdString() + " s.");
    });
    QObject::connect(process, &QProcess::finished, process,
                     [this, process, said, finish](int code, QProcess::ExitStatus status) {
                         if (status == QProcess::NormalExit && code == 0) {
                             finish(true, {});
                             return;
                         }
                         std::string why = program_ + (status == QProcess::NormalExit
                                                           ? " failed (exit status " +
                                                                 std::to_string(code) + ")"
                                                           : " crashed");
                         *said += process->readAll();
                         const std::string words = Readable(*said);
                         if (!words.empty()) {
                             why += ": " + words;
                         }
                         finish(false, why);
                     });
    QObject::connect(process, &QProcess::errorOccurred, process,
                     [this, process, finish](QProcess::ProcessError error) {
                         if (error == QProcess::FailedToStart) {
                             finish(false, program_ + " could not be run: " +
                                               process->errorString().toStdString());
                         }
                     });
    timer->start(timeoutMs_);
    process->start(QString::fromStdString(program_),
                   {QStringLiteral("--set-wallpaper"), QFile::decodeName(path.c_str()),
                    QStringLiteral("--wallpaper-mode"), QString::fromLatin1(Mode(layout, program_))});
}

}  // namespace qm::desktops
