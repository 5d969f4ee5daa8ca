#include "platform/qt/qt_events.h"

#include <QCoreApplication>
#include <QThread>

namespace qm {

void EndRunningLoops(int code) {
    if (QThread::currentThread()->loopLevel() > 0) {
        QCoreApplication::exit(code);
    }
}

ExceptionKeeper LoopEndingKeeper() {
    return ExceptionKeeper([] { EndRunningLoops(1); });
}

}  // namespace qm
