// The platform seam: every operation the application logic needs from the
// operating system, in the program's own terms, by concern: the profile,
// the system services, the desktop and the shell. No toolkit's type appears
// here, so that a backend for another desktop can be written against it.
#pragma once

#include "platform/desktop.h"
#include "platform/shell.h"
#include "platform/system.h"

namespace qm {

// The parts a backend installs. They may be one object or several: the
// Linux backend, for one, picks the desktop part at start.
struct Platform {
    ProfileStore& profile;
    SystemServices& system;
    DesktopServices& desktop;
    ShellServices& shell;
};

// The platform the running program uses. The backend installs it at start.
Platform& CurrentPlatform();
void SetCurrentPlatform(Platform* platform);

// While it lives, CurrentPlatform() on this thread (only) is `platform`: a
// worker thread's work reaches the user through parts made for it.
class ThreadPlatform {
public:
    explicit ThreadPlatform(Platform& platform);
    ~ThreadPlatform();
    ThreadPlatform(const ThreadPlatform&) = delete;
    ThreadPlatform& operator=(const ThreadPlatform&) = delete;

private:
    Platform* before_;
};

}  // namespace qm
