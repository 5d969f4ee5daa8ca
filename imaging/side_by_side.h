// A set's pictures decoded side by side, each on a thread of its own, where
// the program has the processors and the address space for it.
#pragma once

#include <cstddef>
#include <functional>

namespace qm {

// Runs job(0) to job(count - 1). With `together` and two or more jobs,
// they run side by side, as many at once as there are processors (two at
// least); what they have to tell the user is told once all are done, on
// this thread, in their order. A 32-bit program, which could not hold
// several decodes at the memory cap at once, gives each its share of the
// cap, and runs one refused for memory under its share again alone, as if
// it had never run. Otherwise, one after the other.
void RunSideBySide(std::size_t count, bool together, const std::function<void(std::size_t)>& job);

}  // namespace qm
