// Exceptions must not unwind through Qt's frames: a handler's exception is
// kept where Qt calls into the program, every event loop is ended (as a
// quit message ends the Windows loops), and the entry points that ran the
// loops rethrow it once they are back in the program's own code.
#pragma once

#include <exception>
#include <utility>

namespace qm {

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
    // Keeps the first exception and ends every running event loop; no new
    // loop runs after it (they return at once).
    void Keep(std::exception_ptr e);
    bool HasKept() const { return static_cast<bool>(kept_); }
    void RethrowKept();

private:
    std::exception_ptr kept_;
};

}  // namespace qm
