#include "platform/platform.h"

#include <cstdlib>

namespace qm {

namespace {
Platform* g_platform = nullptr;
thread_local Platform* t_platform = nullptr;
}  // namespace

Platform& CurrentPlatform() {
    if (t_platform != nullptr) {
        return *t_platform;
    }
    if (g_platform == nullptr) {
        std::abort();  // a backend must install itself before any logic runs
    }
    return *g_platform;
}

void SetCurrentPlatform(Platform* platform) { g_platform = platform; }

ThreadPlatform::ThreadPlatform(Platform& platform) : before_(t_platform) { t_platform = &platform; }

ThreadPlatform::~ThreadPlatform() { t_platform = before_; }

}  // namespace qm
