// Exceptions must not unwind through Qt's frames: a handler's exception is
// kept where Qt calls into the program, every event loop is ended (as a
// quit message ends the Windows loops), and the entry points that ran the
// loops rethrow it once they are back in the program's own code.
#pragma once

#include "platform/exception_keeper.h"

namespace qm {

// Ends the thread's running event loops, nested or not. With none running
// nothing is asked: QCoreApplication::exit would also make every loop
// started afterwards (the box that says why the program ends) return at
// once.
void EndRunningLoops(int code);

// A keeper that ends Qt's running loops when it keeps an exception.
ExceptionKeeper LoopEndingKeeper();

}  // namespace qm
