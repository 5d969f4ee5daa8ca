// 100,000 wallpaper changes over the headless platform, reporting resident
// memory after a warm-up and at the end. Built in every native preset; run
// the linux-asan build to have LeakSanitizer check the whole run.
//   long-run [CHANGES]
// Exit status 1 when memory grew by 1 MiB or more after the warm-up, or a
// change misbehaved.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include <unistd.h>

#include "bench/long_run.h"

namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
#else
constexpr bool kSanitized = false;
#endif

long ResidentBytes() {
    long pages = 0, resident = 0;
    if (std::FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) {
            resident = 0;
        }
        std::fclose(f);
    }
    return resident * sysconf(_SC_PAGESIZE);
}

}  // namespace

int main(int argc, char** argv) {
    const long changes = argc > 1 ? std::atol(argv[1]) : 100000;
    const long warmUp = changes / 20 < 1000 ? 1000 : changes / 20;
    namespace fs = std::filesystem;
    const fs::path root = fs::temp_directory_path() / ("qm-long-run-" + std::to_string(getpid()));
    fs::create_directories(root / "pics");
    fs::create_directories(root / "windows");
    qm::bench::MakePictureFolder((root / "pics").string());

    long rssWarm = 0, rssEnd = 0;
    qm::bench::RunStats stats;
    const auto start = std::chrono::steady_clock::now();
    {
        qm::ScopedHeadless headless;
        headless.platform.windowsDirectory = (root / "windows").string();
        headless.platform.Seed(12345);
        qm::CMainFrame frame;
        frame.Directory = (root / "pics").string();
        stats = qm::bench::RunChanges(frame, headless.platform, changes, [&](long i) {
            if (i == warmUp) {
                rssWarm = ResidentBytes();
            }
        });
        rssEnd = ResidentBytes();
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    fs::remove_all(root);

    const long growth = rssEnd - rssWarm;
    std::printf("changes            %ld (of which Previous %ld)\n", stats.changes, stats.previous);
    std::printf("re-applies         %ld\nre-layouts         %ld\nrebuilds           %ld\n", stats.reapplies,
                stats.relayouts, stats.rebuilds);
    std::printf("wallpaper calls    %ld\nmessage boxes      %ld\nindices off list   %ld\n", stats.wallpaperCalls,
                stats.boxes, stats.outOfList);
    std::printf("time               %.1f s (%.0f changes/s)\n", seconds, stats.changes / seconds);
    std::printf("resident after %ld  %.2f MiB\n", warmUp, rssWarm / 1048576.0);
    std::printf("resident at end    %.2f MiB\n", rssEnd / 1048576.0);
    std::printf("growth             %+ld KiB%s\n", growth / 1024,
                kSanitized ? " (sanitizer build: its quarantine holds freed memory; not checked)" : "");
    const bool ok = stats.boxes == 0 && stats.outOfList == 0 && (kSanitized || growth < 1048576);
    std::printf("result             %s\n", ok ? "ok" : "FAILED");
    return ok ? 0 : 1;
}
