#include "imaging/composed_bmp.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "imaging/picture_decode.h"
#include "imaging/picture_layout.h"
#include "imaging/wallpaper_bmp.h"
#include "platform/file_access.h"
#include "platform/platform.h"

namespace qm {

namespace {

std::uint32_t Le16(const unsigned char* p) { return p[0] | p[1] << 8; }
std::int32_t Le32(const unsigned char* p) {
    return static_cast<std::int32_t>(p[0] | p[1] << 8 | p[2] << 16 |
                                     static_cast<std::uint32_t>(p[3]) << 24);
}

// An uncompressed 24-bit BMP read a row at a time, top down, blue first.
class BmpRows {
public:
    BmpRows() = default;
    BmpRows(const BmpRows&) = delete;
    BmpRows& operator=(const BmpRows&) = delete;
    ~BmpRows() {
        if (file_ != nullptr) {
            std::fclose(file_);
        }
    }

    bool Open(const std::string& path) {
        file_ = OpenFileToRead(path);
        unsigned char h[kBmpHeaderBytes];
        if (file_ == nullptr || std::fread(h, 1, sizeof h, file_) != sizeof h || h[0] != 'B' ||
            h[1] != 'M' || Le32(h + 14) < 40 || Le16(h + 26) != 1 || Le16(h + 28) != 24 ||
            Le32(h + 30) != 0) {
            return false;
        }
        width_ = Le32(h + 18);
        const std::int32_t height = Le32(h + 22);
        if (width_ <= 0 || width_ > 0xFFFF || height == 0 || height < -0xFFFF ||
            height > 0xFFFF) {
            return false;
        }
        height_ = height < 0 ? -height : height;
        bottomUp_ = height > 0;
        offset_ = static_cast<std::uint32_t>(Le32(h + 10));
        rowBytes_ = (static_cast<std::uint64_t>(width_) * 3 + 3) / 4 * 4;
        row_.resize(static_cast<std::size_t>(width_) * 3);
        return true;
    }
    int Width() const { return width_; }
    int Height() const { return height_; }

    // Row y, counted from the top; null when the file ends early.
    const std::uint8_t* Row(int y) {
        const int stored = bottomUp_ ? height_ - 1 - y : y;
        if (!SeekTo(file_, offset_ + static_cast<std::uint64_t>(stored) * rowBytes_) ||
            std::fread(row_.data(), 1, row_.size(), file_) != row_.size()) {
            return nullptr;
        }
        return row_.data();
    }

private:
    std::FILE* file_ = nullptr;
    int width_ = 0, height_ = 0;
    bool bottomUp_ = true;
    std::uint32_t offset_ = 0;
    std::uint64_t rowBytes_ = 0;
    std::vector<std::uint8_t> row_;
};

int Wrap(long long v, int size) {
    const long long r = v % size;
    return static_cast<int>(r < 0 ? r + size : r);
}

// The composed picture in memory, top down, blue first, rows unpadded.
class Canvas {
public:
    bool Make(ComposedSize size, std::uint32_t background) {
        width_ = size.width;
        height_ = size.height;
        const std::uint64_t bytes = static_cast<std::uint64_t>(width_) * height_ * 3;
        if (!picture::FitsMemoryCap(0, bytes)) {
            return false;
        }
        pixels_.reset(new (std::nothrow) std::uint8_t[static_cast<std::size_t>(bytes)]);
        if (!pixels_) {
            return false;
        }
        std::uint8_t bgr[3];
        picture::BackgroundBytes(background, true, bgr);
        for (std::size_t i = 0; i < bytes; i += 3) {
            std::memcpy(pixels_.get() + i, bgr, 3);
        }
        return true;
    }

    // count pixels from the monitors' point (x, y), wrapping as the
    // desktop's tiling does.
    void Put(int x, int y, const std::uint8_t* bgr, int count) {
        std::uint8_t* row = Row(Wrap(y, height_));
        int at = Wrap(x, width_);
        while (count > 0) {
            const int run = std::min(count, width_ - at);
            std::memcpy(row + static_cast<std::size_t>(at) * 3, bgr, static_cast<std::size_t>(run) * 3);
            bgr += static_cast<std::size_t>(run) * 3;
            count -= run;
            at = 0;
        }
    }

    std::uint8_t* Row(int y) {
        return pixels_.get() + static_cast<std::size_t>(y) * static_cast<std::size_t>(width_) * 3;
    }
    int Width() const { return width_; }
    int Height() const { return height_; }

private:
    int width_ = 0, height_ = 0;
    std::unique_ptr<std::uint8_t[]> pixels_;
};

void Draw(const ComposedPart& part, Canvas& canvas) {
    BmpRows picture;
    if (!picture.Open(part.bmpPath)) {
        return;  // the monitor keeps the background
    }
    const int w = picture.Width(), h = picture.Height();
    const Area monitor{part.monitor.x, part.monitor.y, part.monitor.width, part.monitor.height};
    switch (part.placement) {
        case Placement::AsItIs: {
            const int left = monitor.x + (monitor.width - w) / 2;
            const int top = monitor.y + (monitor.height - h) / 2;
            const Area on = Intersect({left, top, w, h}, monitor);
            for (int y = on.y; y < on.y + on.height && on.width > 0; ++y) {
                const std::uint8_t* row = picture.Row(y - top);
                if (row == nullptr) {
                    return;
                }
                canvas.Put(on.x, y, row + static_cast<std::size_t>(on.x - left) * 3, on.width);
            }
            return;
        }
        case Placement::Tiled: {
            std::vector<std::uint8_t> across(static_cast<std::size_t>(monitor.width) * 3);
            for (int y = 0; y < monitor.height; ++y) {
                const std::uint8_t* row = picture.Row(y % h);
                if (row == nullptr) {
                    return;
                }
                for (int x = 0; x < monitor.width; x += w) {
                    std::memcpy(across.data() + static_cast<std::size_t>(x) * 3, row,
                                static_cast<std::size_t>(std::min(w, monitor.width - x)) * 3);
                }
                canvas.Put(monitor.x, monitor.y + y, across.data(), monitor.width);
            }
            return;
        }
        default: break;
    }
    const Area to = part.placement == Placement::Stretched
                        ? monitor
                        : AspectArea(w, h, monitor, part.placement == Placement::Filled);
    const Area visible = Intersect(to, monitor);
    if (visible.width == 0 || visible.height == 0) {
        return;
    }
    AreaScaler scaler(w, h, to, visible);
    for (int y = 0; y < h; ++y) {
        const std::uint8_t* row = picture.Row(y);
        if (row == nullptr) {
            return;
        }
        scaler.Push(y, row, [&](int outRow, const std::uint8_t* bgr) {
            const int sy = to.y + outRow;
            if (sy >= visible.y && sy < visible.y + visible.height) {
                canvas.Put(visible.x, sy, bgr, visible.width);
            }
        });
    }
}

bool WriteBmp(Canvas& canvas, const std::string& bmpPath) {
    SystemServices& system = CurrentPlatform().system;
    const auto width = static_cast<std::uint32_t>(canvas.Width());
    const auto height = static_cast<std::uint32_t>(canvas.Height());
    const std::uint32_t rowBytes = (width * 3 + 3) / 4 * 4;
    const std::uint64_t fileSize = kBmpHeaderBytes + std::uint64_t{rowBytes} * height;
    const std::size_t slash = bmpPath.find_last_of("/\\");
    const std::string folder = slash == std::string::npos ? "." : bmpPath.substr(0, slash);
    const std::optional<std::uint64_t> free = system.FreeDiskSpace(folder);
    const std::string tmpPath = bmpPath + ".tmp";
    std::FILE* file = fileSize > UINT32_MAX || (free && *free < fileSize + kFreeSpaceMargin)
                          ? nullptr
                          : CreateNewFile(tmpPath);
    if (file == nullptr) {
        CurrentPlatform().shell.AppMessageBox("Error: Can't save as BMP", BoxIcon::None);
        return false;
    }
    std::uint8_t header[kBmpHeaderBytes];
    MakeBmpHeader(header, width, height, static_cast<std::uint32_t>(fileSize));
    bool ok = std::fwrite(header, 1, sizeof header, file) == sizeof header;
    const std::uint8_t pad[3] = {0, 0, 0};
    for (int y = canvas.Height() - 1; ok && y >= 0; --y) {
        ok = std::fwrite(canvas.Row(y), 3, width, file) == width &&
             std::fwrite(pad, 1, rowBytes - width * 3, file) == rowBytes - width * 3;
    }
    ok = std::fclose(file) == 0 && ok;
    if (!ok || !system.ReplaceFile(tmpPath, bmpPath)) {
        std::remove(tmpPath.c_str());
        CurrentPlatform().shell.AppMessageBox("fwrite error\nGiving up", BoxIcon::None);
        return false;
    }
    return true;
}

}  // namespace

ComposedSize ComposedPictureSize(const std::vector<MonitorRect>& monitors) {
    if (monitors.empty()) {
        return {};
    }
    long long left = LLONG_MAX, top = LLONG_MAX, right = LLONG_MIN, bottom = LLONG_MIN;
    for (const MonitorRect& m : monitors) {
        left = std::min<long long>(left, m.x);
        top = std::min<long long>(top, m.y);
        right = std::max<long long>(right, static_cast<long long>(m.x) + m.width);
        bottom = std::max<long long>(bottom, static_cast<long long>(m.y) + m.height);
    }
    // Sides a BMP can hold; monitors beyond them are no real arrangement.
    const auto side = [](long long v) { return static_cast<int>(std::clamp<long long>(v, 0, 0xFFFF)); };
    return {side(right - left), side(bottom - top)};
}

bool ReadBmp24Size(const std::string& path, int& width, int& height) {
    BmpRows bmp;
    if (!bmp.Open(path)) {
        return false;
    }
    width = bmp.Width();
    height = bmp.Height();
    return true;
}

bool ComposeWallpaperBmp(const std::vector<ComposedPart>& parts, std::uint32_t background,
                         const std::string& bmpPath) {
    std::vector<MonitorRect> monitors;
    for (const ComposedPart& part : parts) {
        if (part.monitor.width > 0 && part.monitor.height > 0) {
            monitors.push_back(part.monitor);
        }
    }
    const ComposedSize size = ComposedPictureSize(monitors);
    if (size.width == 0 || size.height == 0) {
        return false;  // no monitor to compose for
    }
    Canvas canvas;
    if (!canvas.Make(size, background)) {
        jpeg::ReportOutOfMemory();
        return false;
    }
    for (const ComposedPart& part : parts) {
        if (part.monitor.width > 0 && part.monitor.height > 0) {
            Draw(part, canvas);
        }
    }
    return WriteBmp(canvas, bmpPath);
}

}  // namespace qm
