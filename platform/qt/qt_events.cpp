#include "platform/qt/qt_events.h"

#include <QCoreApplication>

namespace qm {

void ExceptionKeeper::Keep(std::exception_ptr e) {
    if (!kept_) {
        kept_ = std::move(e);
    }
    // Ends every loop of the thread, nested or not, and makes loops started
    // afterwards return at once.
    QCoreApplication::exit(1);
}

void ExceptionKeeper::RethrowKept() {
    if (kept_) {
        std::exception_ptr e = std::move(kept_);
        kept_ = nullptr;
        std::rethrow_exception(e);
    }
}

}  // namespace qm
