// SetWallpaperStyle in Auto-Tile mode reading the size of a .bmp of
// arbitrary bytes, with arbitrary thresholds; then the change that shows it.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>

#include "frame/main_frame.h"
#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace qm;
    FuzzedDataProvider in(data, size);
    const std::int32_t width = in.ConsumeIntegral<std::int32_t>();
    const std::int32_t height = in.ConsumeIntegral<std::int32_t>();
    const std::int32_t stretch = in.ConsumeIntegral<std::int32_t>();
    const bool upperCase = in.ConsumeBool();
    const std::vector<std::uint8_t> file = in.ConsumeRemainingBytes<std::uint8_t>();
    const std::string path =
        fuzz::WriteScratch(upperCase ? "Picture.BMP" : "picture.bmp", file.data(), file.size());

    ScopedHeadless headless;
    HeadlessPlatform& platform = headless.platform;
    platform.windowsDirectory = fuzz::ScratchDir();
    CMainFrame frame;
    frame.Display = 2;
    frame.Width = width;
    frame.Height = height;
    frame.Stretch = stretch;
    frame.m_ImageList = {path};
    frame.m_LastIndex = 0;
    frame.m_CurrentIndex = -1;

    frame.ChangeWallpaper(0);

    // The rule, from the header bytes themselves.
    std::string tile = "0";
    if (file.size() >= 26) {
        auto le32 = [&](std::size_t at) {
            return static_cast<std::int32_t>(std::uint32_t{file[at]} | std::uint32_t{file[at + 1]} << 8 |
                                             std::uint32_t{file[at + 2]} << 16 |
                                             std::uint32_t{file[at + 3]} << 24);
        };
        tile = (width > le32(18) || height > le32(22)) ? "1" : "0";
    }
    if (platform.DesktopString("TileWallpaper") != tile) {
        fuzz::Fail("wrong tile value", platform.DesktopString("TileWallpaper"));
    }
    // The size: 0 as it is, 2 filled and 3 fitted (but "0" when tiled), any
    // other value stretched.
    std::string style = "2";
    if (stretch == 0) {
        style = "0";
    } else if (stretch == 2 || stretch == 3) {
        style = tile == "1" ? "0" : (stretch == 2 ? "10" : "6");
    }
    if (platform.DesktopString("WallpaperStyle") != style) {
        fuzz::Fail("wrong style value", platform.DesktopString("WallpaperStyle"));
    }
    if (platform.wallpaperCalls.size() != 1 || platform.wallpaperCalls[0] != path) {
        fuzz::Fail("the BMP itself was not handed to the desktop");
    }
    if (!platform.boxes.empty()) {
        fuzz::Fail("a BMP size read showed a box", platform.boxes[0].text);
    }
    return 0;
}
