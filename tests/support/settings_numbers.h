// The eight number settings of a frame as one value, so a test compares
// them at once and a failure prints all of them.
#pragma once

#include <cstdint>
#include <ostream>

#include "frame/main_frame.h"

namespace qm::test {

struct Numbers {
    std::int32_t AutoChange, Display, Height, Width, Random, Stretch, Time, When;
    bool operator==(const Numbers&) const = default;
};

inline Numbers NumbersOf(const CMainFrame& f) {
    return {f.AutoChange, f.Display, f.Height, f.Width, f.Random, f.Stretch, f.Time, f.When};
}

// What a frame holds when the profile has nothing usable.
inline constexpr Numbers kDefaultNumbers{1, 2, 301, 301, 0, 1, 20, 0};

inline std::ostream& operator<<(std::ostream& os, const Numbers& n) {
    return os << "AutoChange " << n.AutoChange << ", Display " << n.Display << ", Height "
              << n.Height << ", Width " << n.Width << ", Random " << n.Random << ", Stretch "
              << n.Stretch << ", Time " << n.Time << ", When " << n.When;
}

}  // namespace qm::test
