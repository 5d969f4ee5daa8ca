// jpeg-to-wallpaper [--fill|--fit WxH] IN OUT.bmp [IN OUT.bmp...]: the
// wallpaper conversion on its own (of a JPEG, PNG or WebP, by its ending),
// for scripts and for timing it against other decoders; with --fill or
// --fit, as a filled or fitted picture is converted for one monitor of that
// size. Several pairs are converted by one process, which under Wine saves
// a start for each; with QM_TIME_EACH set, each pair's time is printed
// ("ms=..."), the start of the process left out.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "imaging/wallpaper_bmp.h"
#include "platform/headless/headless_platform.h"

namespace {

// Boxes become lines on stderr; nobody is there to click them.
class ConsolePlatform : public qm::HeadlessPlatform {
public:
    int AppMessageBox(const std::string& text, qm::BoxIcon) override {
        return Print("Quillmere", text);
    }
    int MessageBox(bool, const std::string& text, const std::string& caption,
                   qm::BoxIcon) override {
        return Print(caption, text);
    }

private:
    static int Print(const std::string& caption, const std::string& text) {
        std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
        return qm::kIdOk;
    }
};

}  // namespace

int main(int argc, char** argv) {
    qm::ScaleGoal goal;
    bool scaled = false;
    if (argc > 2 && argv[1][0] == '-' && argv[1][1] == '-') {
        const std::string mode = argv[1];
        qm::MonitorRect monitor;
        scaled = (mode == "--fill" || mode == "--fit") &&
                 std::sscanf(argv[2], "%dx%d", &monitor.width, &monitor.height) == 2;
        goal = {mode == "--fill", {monitor}};
        argv += 2;
        argc -= 2;
        if (!scaled) {
            argc = 0;
        }
    }
    if (argc < 3 || argc % 2 != 1) {
        std::fprintf(stderr,
                     "usage: jpeg-to-wallpaper [--fill|--fit WxH] IN OUT.bmp [IN OUT.bmp...]\n");
        return 2;
    }
    ConsolePlatform platform;
    qm::SetCurrentPlatform(&platform.parts);
    bool ok = true;
    const bool timeEach = std::getenv("QM_TIME_EACH") != nullptr;
    for (int i = 1; i + 1 < argc; i += 2) {
        const auto start = std::chrono::steady_clock::now();
        ok = qm::ConvertJpegToBmp(argv[i], argv[i + 1], scaled ? &goal : nullptr) && ok;
        if (timeEach) {
            const std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - start;
            std::printf("ms=%.1f\n", took.count());
        }
    }
    qm::SetCurrentPlatform(nullptr);
    return ok ? 0 : 1;
}
