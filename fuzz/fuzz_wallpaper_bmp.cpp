// The whole conversion, MakeWallpaperBmp, into a Windows directory of our
// own: either a complete BMP of the declared size, or the old file intact.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "frame/main_frame.h"
#include "fuzz/fuzz_support.h"
#include "imaging/wallpaper_bmp.h"
#include "tests/support/test_images.h"

namespace {

std::uint32_t Le32(const std::string& s, std::size_t at) {
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i) {
        v = v << 8 | static_cast<unsigned char>(s[at + i]);
    }
    return v;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    qm::fuzz::UseFuzzingMemoryCap();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace qm;
    // Whatever size the file declares: the size rules, the decode's memory
    // cap and the volume's free space must refuse, at once, what cannot be
    // held or written.
    const std::string jpeg = fuzz::WriteScratch("picture.jpg", data, size);
    static const std::uint8_t kOld[] = "the previous wallpaper";
    const std::string wallpaper = fuzz::WriteScratch(kWallpaperFileName, kOld, sizeof kOld);

    ScopedHeadless headless;
    headless.platform.windowsDirectory = fuzz::ScratchDir();
    // A small volume, as the cap is small: pictures too big for it meet the
    // free-space refusal, and no input writes for longer than the fuzzer's
    // time limit.
    headless.platform.freeSpace = fuzz::kFuzzingMemoryCap + kFreeSpaceMargin;
    CMainFrame frame;
    // Inputs ending in an odd byte also get a second conversion of a good
    // picture from inside the first box, as a timer tick in the box's
    // message loop would start it.
    bool nestedRan = false;
    if (size > 0 && (data[size - 1] & 1) != 0) {
        headless.platform.duringBox = [&] {
            static const std::string good = [] {
                const std::string bytes = test::EncodeJpeg(test::MakeRgbPattern(3, 2), 3, 2);
                return fuzz::WriteScratch("good.jpg", reinterpret_cast<const std::uint8_t*>(bytes.data()),
                                          bytes.size());
            }();
            nestedRan = !frame.MakeWallpaperBmp(good).empty();
        };
    }
    const std::string out = frame.MakeWallpaperBmp(jpeg);
    fuzz::CheckConversionBoxes(headless.platform, nestedRan ? 2 : 1);

    if (fuzz::Exists(wallpaper + ".tmp") || fuzz::Exists(wallpaper + ".tmp2")) {
        fuzz::Fail("temporary file left behind");
    }
    const std::string written = fuzz::ReadWhole(wallpaper);
    if (out.empty()) {
        if (headless.platform.boxes.empty()) {
            fuzz::Fail("conversion failed without telling the user");
        }
        if (!nestedRan) {
            if (written != std::string(reinterpret_cast<const char*>(kOld), sizeof kOld)) {
                fuzz::Fail("failed conversion changed the previous wallpaper");
            }
            return 0;
        }
    } else if (out != wallpaper) {
        fuzz::Fail("wrong wallpaper path", out);
    }
    // Whichever conversion finished last, the file is one whole picture.
    if (written.size() < 54 || written[0] != 'B' || written[1] != 'M') {
        fuzz::Fail("written file is no BMP");
    }
    const std::uint32_t width = Le32(written, 18);
    const std::uint32_t height = Le32(written, 22);
    const std::uint64_t rowBytes = (std::uint64_t{width} * 24 + 31) / 32 * 4;
    if (width == 0 || height == 0 || Le32(written, 2) != written.size() ||
        written.size() != 54 + rowBytes * height || Le32(written, 10) != 54) {
        fuzz::Fail("BMP size fields do not match the file");
    }
    return 0;
}
