// JpegFile::DecodeToRgb over arbitrary file contents.
#include <cstddef>
#include <cstdint>

#include "fuzz/fuzz_support.h"
#include "imaging/jpeg_file.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    qm::fuzz::UseFuzzingMemoryCap();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace qm;
    // Whatever size the file declares: the decode's memory cap and size
    // rules must refuse, at once, what it cannot hold.
    const std::string path = fuzz::WriteScratch("input.jpg", data, size);
    ScopedHeadless headless;
    std::uint32_t width = 7, height = 7;
    std::uint8_t* pixels = JpegFile::DecodeToRgb(path, width, height);
    const bool fatal = fuzz::CheckConversionBoxes(headless.platform, 1);
    if (pixels != nullptr) {
        if (fatal) {
            fuzz::Fail("a buffer came back after a fatal error");
        }
        if (width == 0 || height == 0) {
            fuzz::Fail("a buffer of zero size");
        }
        // Every byte of the promised size must be there (ASan checks the
        // reads); the sum keeps the loop from being optimised away.
        const std::size_t bytes = std::size_t(width) * height * 3;
        volatile unsigned sum = 0;
        for (std::size_t i = 0; i < bytes; i += 61) {
            sum = sum + pixels[i];
        }
        sum = sum + pixels[bytes - 1];
        delete[] pixels;
    } else if (headless.platform.boxes.empty()) {
        fuzz::Fail("decode failed without telling the user");
    }
    return 0;
}
