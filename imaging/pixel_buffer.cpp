#include <cstring>
#include <memory>
#include <new>

#include "imaging/jpeg_file.h"

namespace qm {

bool JpegFile::SwapRedBlue(std::uint8_t* buffer, std::uint32_t width, std::uint32_t height) {
    if (buffer == nullptr) {
        return false;
    }
    const std::size_t pixels = std::size_t(width) * height;
    std::uint8_t* p = buffer;
    for (std::size_t i = 0; i < pixels; ++i, p += 3) {
        const std::uint8_t red = p[0];
        p[0] = p[2];
        p[2] = red;
    }
    return true;
}

bool JpegFile::FlipRows(std::uint8_t* buffer, std::uint32_t rowBytes, std::uint32_t rowCount) {
    if (buffer == nullptr) {
        return false;
    }
    std::unique_ptr<std::uint8_t[]> top(new (std::nothrow) std::uint8_t[rowBytes]);
    std::unique_ptr<std::uint8_t[]> bottom(new (std::nothrow) std::uint8_t[rowBytes]);
    if (!top || !bottom) {
        return false;
    }
    for (std::uint32_t i = 0; i < (rowCount + 1) / 2; ++i) {
        std::uint8_t* a = buffer + std::size_t(i) * rowBytes;
        std::uint8_t* b = buffer + std::size_t(rowCount - 1 - i) * rowBytes;
        std::memcpy(top.get(), a, rowBytes);
        std::memcpy(bottom.get(), b, rowBytes);
        std::memcpy(a, bottom.get(), rowBytes);
        std::memcpy(b, top.get(), rowBytes);
    }
    return true;
}

}  // namespace qm
