// The whole conversion of one fuzzed file, named with the decoder's ending,
// into a wallpaper folder of our own: either a complete BMP of the declared
// size, or the old file intact, and only the boxes a conversion may show.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "frame/main_frame.h"
#include "fuzz/fuzz_support.h"
#include "imaging/wallpaper_bmp.h"

namespace qm::fuzz {

inline int ConvertOne(const std::uint8_t* data, std::size_t size, const char* name) {
    const std::string picture = WriteScratch(name, data, size);
    static const std::uint8_t kOld[] = "the previous wallpaper";
    const std::string wallpaper = WriteScratch(kWallpaperFileName, kOld, sizeof kOld);

    ScopedHeadless headless;
    headless.platform.windowsDirectory = ScratchDir();
    // A small volume, as the cap is small: what the cap lets through but the
    // volume cannot hold meets the free-space refusal.
    headless.platform.freeSpace = kFuzzingMemoryCap + kFreeSpaceMargin;
    // Transparency is laid over the desktop's colour: any colour will do.
    headless.platform.backgroundColour = size > 0 ? data[0] * 0x010203u : 0;
    CMainFrame frame;
    const std::string out = frame.MakeWallpaperBmp(picture);
    CheckConversionBoxes(headless.platform, 1);
    if (Exists(wallpaper + ".tmp")) {
        Fail("temporary file left behind");
    }
    const std::string written = ReadWhole(wallpaper);
    if (out.empty()) {
        if (headless.platform.boxes.empty()) {
            Fail("conversion failed without telling the user");
        }
        if (written != std::string(reinterpret_cast<const char*>(kOld), sizeof kOld)) {
            Fail("failed conversion changed the previous wallpaper");
        }
        return 0;
    }
    if (out != wallpaper) {
        Fail("wrong wallpaper path", out);
    }
    const auto le32 = [&written](std::size_t at) {
        std::uint32_t v = 0;
        for (int i = 3; i >= 0; --i) {
            v = v << 8 | static_cast<unsigned char>(written[at + i]);
        }
        return v;
    };
    if (written.size() < 54 || written[0] != 'B' || written[1] != 'M') {
        Fail("written file is no BMP");
    }
    const std::uint32_t width = le32(18);
    const std::uint32_t height = le32(22);
    const std::uint64_t rowBytes = (std::uint64_t{width} * 24 + 31) / 32 * 4;
    if (width == 0 || height == 0 || le32(2) != written.size() ||
        written.size() != 54 + rowBytes * height || le32(10) != 54) {
        Fail("BMP size fields do not match the file");
    }
    return 0;
}

}  // namespace qm::fuzz
