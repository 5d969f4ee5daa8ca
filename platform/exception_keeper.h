// A handler's exception must not unwind through a toolkit's frames (the
// system's window procedure callers, Qt's event dispatch). The backends keep
// it where the toolkit calls into the program, end every running loop their
// own way (a quit message, QCoreApplication::exit), and rethrow it from the
// call that ran the loops, once back in the program's own code.
#pragma once

#include <exception>
#include <functional>
#include <utility>

namespace qm {

class ExceptionKeeper {
public:
    // endLoops ends every running loop; beforeRethrow tidies what ending
    // them left behind (a quit message no loop is left to take).
    explicit ExceptionKeeper(std::function<void()> endLoops,
                             std::function<void()> beforeRethrow = {})
        : endLoops_(std::move(endLoops)), beforeRethrow_(std::move(beforeRethrow)) {}

    // Runs f, keeping what it throws.
    template <class F>
    void Guard(F&& f) {
        try {
            std::forward<F>(f)();
        } catch (...) {
            Keep(std::current_exception());
        }
    }
    // Keeps the first exception and ends every running loop; the backend
    // starts no new one while it is kept.
    void Keep(std::exception_ptr e) {
        if (!kept_) {
            kept_ = std::move(e);
        }
        if (endLoops_) {
            endLoops_();
        }
    }
    bool HasKept() const { return static_cast<bool>(kept_); }
    void RethrowKept() {
        if (kept_) {
            std::exception_ptr e = std::move(kept_);
            kept_ = nullptr;
            if (beforeRethrow_) {
                beforeRethrow_();
            }
            std::rethrow_exception(e);
        }
    }

private:
    std::function<void()> endLoops_;
    std::function<void()> beforeRethrow_;
    std::exception_ptr kept_;
};

}  // namespace qm
