#include "imaging/wallpaper_bmp.h"

#include <cstdint>
#include <cstdio>
#include <memory>

#include "frame/main_frame.h"
#include "imaging/jpeg_file.h"
#include "platform/platform.h"

namespace qm {

namespace {

constexpr std::uint32_t kHeaderBytes = 54;
// A big stdio buffer turns a multi-megabyte wallpaper into few write calls.
constexpr std::size_t kWriteBuffer = 1 << 20;

void PutU16(std::uint8_t* p, std::uint16_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}

void PutU32(std::uint8_t* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        p[i] = static_cast<std::uint8_t>(v >> (8 * i));
    }
}

// File header and BITMAPINFOHEADER, little-endian whatever the host.
void MakeHeader(std::uint8_t* h, std::uint32_t width, std::uint32_t height,
                std::uint32_t fileSize) {
    for (std::uint32_t i = 0; i < kHeaderBytes; ++i) {
        h[i] = 0;
    }
    h[0] = 'B';
    h[1] = 'M';
    PutU32(h + 2, fileSize);
    PutU32(h + 10, kHeaderBytes);
    PutU32(h + 14, 40);
    PutU32(h + 18, width);
    PutU32(h + 22, height);  // positive: rows stored bottom-up
    PutU16(h + 26, 1);
    PutU16(h + 28, 24);
    // Compression, image size, resolutions and colour counts stay 0.
}

// Writes the whole file; false on any short write or failed close. Closes
// the file in every case.
bool WriteBmp(std::FILE* f, const std::uint8_t* pixels, std::uint32_t width,
              std::uint32_t height, std::uint32_t rowBytes, std::uint32_t fileSize) {
    std::uint8_t header[kHeaderBytes];
    MakeHeader(header, width, height, fileSize);
    bool ok = std::fwrite(header, 1, kHeaderBytes, f) == kHeaderBytes;

    const std::size_t dataBytes = std::size_t(width) * 3;
    const std::size_t padBytes = rowBytes - dataBytes;
    static const std::uint8_t kZeros[4] = {0, 0, 0, 0};
    for (std::uint32_t r = 0; ok && r < height; ++r) {
        ok = std::fwrite(pixels + std::size_t(r) * dataBytes, 1, dataBytes, f) == dataBytes;
        if (ok && padBytes != 0) {
            ok = std::fwrite(kZeros, 1, padBytes, f) == padBytes;
        }
    }
    if (ok) {
        ok = std::fflush(f) == 0;
    }
    // fclose flushes too, and its failure means the data may not be there.
    const bool closed = std::fclose(f) == 0;
    return ok && closed;
}

}  // namespace

bool ConvertJpegToBmp(const std::string& jpegPath, const std::string& bmpPath) {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::unique_ptr<std::uint8_t[]> pixels(JpegFile::DecodeToRgb(jpegPath, width, height));
    if (!pixels) {
        return false;
    }
    // A wallpaper that is upside down or has red for blue is worse than
    // keeping the old one.
    if (!JpegFile::SwapRedBlue(pixels.get(), width, height) ||
        !JpegFile::FlipRows(pixels.get(), width * 3, height)) {
        CurrentPlatform().AppMessageBox("JpegFile :\nOut of memory", kMbIconError);
        return false;
    }

    // The decoder refused any image whose file size would not fit in 32 bits.
    const std::uint32_t rowBytes = ((width * 24 + 31) / 32) * 4;
    const std::uint32_t fileSize = kHeaderBytes + rowBytes * height;

    // The desktop may read the wallpaper at any moment, so the new file is
    // finished under another name and swapped in whole.
    const std::string tmpPath = bmpPath + ".tmp";
    std::FILE* f = std::fopen(tmpPath.c_str(), "wb");
    if (f == nullptr) {
        CurrentPlatform().AppMessageBox("Error: Can't save as BMP", kMbOk);
        return false;
    }
    std::unique_ptr<char[]> ioBuffer(new (std::nothrow) char[kWriteBuffer]);
    if (ioBuffer) {
        std::setvbuf(f, ioBuffer.get(), _IOFBF, kWriteBuffer);
    }
    const bool written = WriteBmp(f, pixels.get(), width, height, rowBytes, fileSize);
    pixels.reset();
    if (!written || !CurrentPlatform().ReplaceFile(tmpPath, bmpPath)) {
        std::remove(tmpPath.c_str());
        CurrentPlatform().AppMessageBox("fwrite error\nGiving up", kMbOk);
        return false;
    }
    return true;
}

std::string CMainFrame::MakeWallpaperBmp(const std::string& path) {
    std::string out = CurrentPlatform().WindowsDirectory() + CurrentPlatform().PathSeparator() +
                      kWallpaperFileName;
    return ConvertJpegToBmp(path, out) ? out : "";
}

}  // namespace qm
