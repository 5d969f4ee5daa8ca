#include "platform/qt/qt_events.h"

#include <QCoreApplication>
#include <QThread>

namespace qm {

void EndRunningLoops(int code) {
    if (QThread::currentThread()->loopLevel() > 0) {
        QCoreApplication::exit(code);
    }
}

void ExceptionKeeper::Keep(std::exception_ptr e) {
    if (!kept_) {
        kept_ = std::move(e);
    }
    EndRunningLoops(1);
}

void ExceptionKeeper::RethrowKept() {
    if (kept_) {
        std::exception_ptr e = std::move(kept_);
        kept_ = nullptr;
        std::rethrow_exception(e);
    }
}

}  // namespace qm
