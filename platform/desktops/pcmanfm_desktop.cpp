#include "platform/desktops/pcmanfm_desktop.h"

#include <memory>
#include <utility>

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTimer>

#include "platform/desktops/desktop_support.h"

namespace qm::desktops {

namespace {

// Each program's word for a layout: a filled picture is pcmanfm-qt's
// "zoom" and LXDE's pcmanfm's "crop".
const char* Mode(Layout layout, const std::string& program) {
    switch (layout) {
        case Layout::Tiled: return "tile";
        case Layout::Stretched: return "stretch";
        case Layout::Filled:
            return QFileInfo(QString::fromStdString(program)).fileName() ==
                           QLatin1String(PcmanfmDesktop::kLxde)
                       ? "crop"
                       : "zoom";
        case Layout::Fitted: return "fit";
        case Layout::Centred: break;
    }
    return "center";
}

}  // namespace

PcmanfmDesktop::PcmanfmDesktop(std::string program, int timeoutMs)
    : program_(std::move(program)), timeoutMs_(timeoutMs), context_(std::make_unique<QObject>()) {}

PcmanfmDesktop::~PcmanfmDesktop() {
    // A run still under way is ended with its QProcess; no answer runs then.
    for (QObject* child : context_->children()) {
        child->disconnect();
    }
}

void PcmanfmDesktop::Apply(const std::string& path, Layout layout, Answer answer) {
    const unsigned number = shown_.Hand(path, layout);

    auto* process = new QProcess(context_.get());
    auto* timer = new QTimer(process);
    auto answered = std::make_shared<bool>(false);
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
        if (process->state() != QProcess::NotRunning) {
            process->kill();  // its end is reaped when the object goes
        }
        process->deleteLater();
        AnswerLater(context_.get(), answer, shown, why);
    };
    process->setProcessChannelMode(QProcess::MergedChannels);
    timer->setSingleShot(true);
    QObject::connect(timer, &QTimer::timeout, process, [this, finish] {
        finish(false, program_ + " did not finish within " +
                          QString::number(timeoutMs_ / 1000.0).toStdString() + " s.");
    });
    QObject::connect(process, &QProcess::finished, process,
                     [this, process, finish](int code, QProcess::ExitStatus status) {
                         if (status == QProcess::NormalExit && code == 0) {
                             finish(true, {});
                             return;
                         }
                         std::string why = program_ + (status == QProcess::NormalExit
                                                           ? " failed (exit status " +
                                                                 std::to_string(code) + ")"
                                                           : " crashed");
                         const QByteArray said = process->readAll().trimmed();
                         if (!said.isEmpty()) {
                             why += ": " + said.right(300).toStdString();
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
