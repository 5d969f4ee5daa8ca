#include "platform/platform.h"

#include <cstdlib>

namespace qm {

namespace {
Platform* g_platform = nullptr;
}

Platform& CurrentPlatform() {
    if (g_platform == nullptr) {
        std::abort();  // a backend must install itself before any logic runs
    }
    return *g_platform;
}

void SetCurrentPlatform(Platform* platform) { g_platform = platform; }

}  // namespace qm
