// The composed picture for two or three monitors from BMP files of arbitrary
// bytes (a folder's own .bmp pictures are read as they are), each monitor
// placed anywhere and laid out in any of the five ways.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "imaging/composed_bmp.h"
#include "imaging/wallpaper_bmp.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace qm;
    FuzzedDataProvider in(data, size);
    ScopedHeadless headless;
    std::vector<ComposedPart> parts;
    std::vector<MonitorRect> monitors;
    const int count = in.ConsumeIntegralInRange(2, 3);
    for (int m = 0; m < count; ++m) {
        const MonitorRect monitor{in.ConsumeIntegralInRange(-300, 300), in.ConsumeIntegralInRange(-300, 300),
                                  in.ConsumeIntegralInRange(0, 160), in.ConsumeIntegralInRange(0, 120)};
        const auto placement = static_cast<Placement>(in.ConsumeIntegralInRange(0, 4));
        const std::vector<std::uint8_t> file =
            in.ConsumeBytes<std::uint8_t>(in.ConsumeIntegralInRange<std::size_t>(0, 8192));
        parts.push_back({monitor, fuzz::WriteScratch("part" + std::to_string(m) + ".bmp", file.data(), file.size()),
                         placement});
        if (monitor.width > 0 && monitor.height > 0) {
            monitors.push_back(monitor);
        }
    }
    const std::string out = fuzz::ScratchDir() + "/composed.bmp";
    std::remove(out.c_str());
    const bool made = ComposeWallpaperBmp(parts, in.ConsumeIntegral<std::uint32_t>() & 0xffffff, out);

    // Made exactly when some monitor has an area, and then as large as the
    // monitors reach together, whatever the files held.
    const ComposedSize want = ComposedPictureSize(monitors);
    if (made != (want.width > 0 && want.height > 0)) {
        fuzz::Fail("made for monitors without an area, or not made for real ones");
    }
    if (made) {
        int width = 0, height = 0;
        if (!ReadBmp24Size(out, width, height) || width != want.width || height != want.height) {
            fuzz::Fail("composed picture of the wrong size");
        }
        std::FILE* f = std::fopen(out.c_str(), "rb");
        std::fseek(f, 0, SEEK_END);
        const long bytes = std::ftell(f);
        std::fclose(f);
        if (bytes != static_cast<long>(kBmpHeaderBytes) + (want.width * 3 + 3) / 4 * 4 * want.height) {
            fuzz::Fail("composed file of the wrong length");
        }
    }
    return 0;
}
