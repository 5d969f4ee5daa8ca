// Exceptions must not unwind through Qt's frames: a handler's exception is
// kept where Qt calls into the program, every event loop is ended (as a
// quit message ends the Windows loops), and the entry points that ran the
// loops rethrow it once they are back in the program's own code.
#pragma once

#include <exception>
#include <utility>

namespace qm {

// Ends the thread's running event loops, nested or not. With none running
// nothing is asked: QCoreApplication::exit would also make every loop
// started afterwards (the box that says why the program ends) return at
// once.
void EndRunningLoops(int code);

class ExceptionKeeper {
public:
    template <class F>
    void Guard(F&& f) {
        try {
            std::forward<F>(f)();
        } catch (...) {
            Keep(std::current_exception());
        }
    }
    // Keeps the first exception and ends every running event loop; the
    // shell starts no new one while it is kept.
    void Keep(std::exception_ptr e);
    bool HasKept() const { return static_cast<bool>(kept_); }
    void RethrowKept();

private:
    std::exception_ptr kept_;
};

}  // namespace qm
