#include "imaging/composed_bmp.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <optional>

#include "imaging/picture_decode.h"
#include "imaging/picture_layout.h"
#include "imaging/side_by_side.h"
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

// The composed picture in memory as its BMP file holds it: the header,
// then the rows bottom up, blue first, each padded to four bytes, so that
// it is written in a few large writes.
class Canvas {
public:
    bool Make(ComposedSize size, std::uint32_t background) {
        width_ = size.width;
        height_ = size.height;
        rowBytes_ = (static_cast<std::size_t>(width_) * 3 + 3) / 4 * 4;
        const std::uint64_t bytes = kBmpHeaderBytes + std::uint64_t{rowBytes_} * static_cast<std::uint64_t>(height_);
        if (bytes > UINT32_MAX || !picture::FitsMemoryCap(0, bytes)) {
            return false;
        }
        bytes_ = static_cast<std::size_t>(bytes);
        // Zeroed: the padding after each row.
        file_.reset(new (std::nothrow) std::uint8_t[bytes_]());
        if (!file_) {
            return false;
        }
        MakeBmpHeader(file_.get(), static_cast<std::uint32_t>(width_), static_cast<std::uint32_t>(height_),
                      static_cast<std::uint32_t>(bytes_));
        std::uint8_t bgr[3];
        picture::BackgroundBytes(background, true, bgr);
        background_.resize(static_cast<std::size_t>(width_) * 3);
        for (std::size_t i = 0; i < background_.size(); i += 3) {
            std::memcpy(background_.data() + i, bgr, 3);
        }
        for (int y = 0; y < height_; ++y) {
            std::memcpy(Row(y), background_.data(), background_.size());
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

    // The background again over an area of the monitors.
    void Clear(const Area& area) {
        for (int y = area.y; y < area.y + area.height; ++y) {
            for (int x = area.x, left = area.width; left > 0;) {
                const int run = std::min(left, width_);
                Put(x, y, background_.data(), run);
                x += run;
                left -= run;
            }
        }
    }

    // Row y, counted from the top.
    std::uint8_t* Row(int y) {
        return file_.get() + kBmpHeaderBytes + static_cast<std::size_t>(height_ - 1 - y) * rowBytes_;
    }
    const std::uint8_t* File() const { return file_.get(); }
    std::size_t FileBytes() const { return bytes_; }

private:
    int width_ = 0, height_ = 0;
    std::size_t rowBytes_ = 0, bytes_ = 0;
    std::vector<std::uint8_t> background_;  // a whole row of it
    std::unique_ptr<std::uint8_t[]> file_;
};

// Lays one picture out on its monitor in the canvas. Its rows come top
// down, once each, read from a BMP or straight from a decoder, so neither
// ever holds the whole picture.
class PartDrawer {
public:
    PartDrawer(const ComposedPart& part, Canvas& canvas)
        : part_(part), canvas_(canvas),
          monitor_{part.monitor.x, part.monitor.y, part.monitor.width, part.monitor.height} {}

    // From the picture's full size, before it is decoded: whether it is
    // tiled, and the scale it may be decoded at. Only a picture scaled to
    // its monitor is decoded smaller, never below the monitor's size.
    unsigned Denominator(std::uint32_t width, std::uint32_t height) {
        Decide(width, height);
        if (placement_ == Placement::AsItIs || placement_ == Placement::Tiled) {
            return 1;
        }
        return ScaleDenominator(width, height, ScaleGoal{placement_ != Placement::Fitted, {part_.monitor}});
    }

    // The size the rows come at. False for a picture wider or higher than a
    // BMP side (the composed file's reader refuses those as well): its
    // monitor keeps the background.
    bool Begin(std::uint32_t width, std::uint32_t height) {
        if (width == 0 || height == 0 || width > 0xFFFF || height > 0xFFFF) {
            return false;
        }
        if (!decided_) {
            Decide(width, height);
        }
        const int w = static_cast<int>(width), h = static_cast<int>(height);
        switch (placement_) {
            case Placement::AsItIs:
                left_ = monitor_.x + (monitor_.width - w) / 2;
                top_ = monitor_.y + (monitor_.height - h) / 2;
                on_ = Intersect({left_, top_, w, h}, monitor_);
                if (on_.width > 0) {
                    firstRow_ = on_.y - top_;
                    endRow_ = firstRow_ + on_.height;
                }
                return true;
            case Placement::Tiled:
                h_ = h;
                w_ = w;
                across_.resize(static_cast<std::size_t>(monitor_.width) * 3);
                endRow_ = std::min(h, monitor_.height);
                return true;
            default:
                break;
        }
        to_ = placement_ == Placement::Stretched
                  ? monitor_
                  : AspectArea(w, h, monitor_, placement_ == Placement::Filled);
        visible_ = Intersect(to_, monitor_);
        if (visible_.width > 0 && visible_.height > 0) {
            scaler_.emplace(w, h, to_, visible_);
            endRow_ = h;
        }
        return true;
    }

    // The rows that show: the rest need not be read.
    int FirstRow() const { return firstRow_; }
    int EndRow() const { return endRow_; }

    void Row(int y, const std::uint8_t* bgr) {
        if (y < firstRow_ || y >= endRow_) {
            return;
        }
        switch (placement_) {
            case Placement::AsItIs:
                canvas_.Put(on_.x, top_ + y, bgr + static_cast<std::size_t>(on_.x - left_) * 3, on_.width);
                return;
            case Placement::Tiled:
                // Across the monitor from its left edge, and down it every
                // picture height.
                for (int x = 0; x < monitor_.width; x += w_) {
                    std::memcpy(across_.data() + static_cast<std::size_t>(x) * 3, bgr,
                                static_cast<std::size_t>(std::min(w_, monitor_.width - x)) * 3);
                }
                for (int at = y; at < monitor_.height; at += h_) {
                    canvas_.Put(monitor_.x, monitor_.y + at, across_.data(), monitor_.width);
                }
                return;
            default:
                break;
        }
        scaler_->Push(y, bgr, [&](int outRow, const std::uint8_t* out) {
            const int sy = to_.y + outRow;
            if (sy >= visible_.y && sy < visible_.y + visible_.height) {
                canvas_.Put(visible_.x, sy, out, visible_.width);
            }
        });
    }

    // A picture the decoder gave up on part-way leaves no half of itself.
    void Clear() { canvas_.Clear(monitor_); }

    // The decoder's row sink. Its calls run between the library's setjmp and
    // a possible longjmp: nothing they do throws.
    jpeg::RowSink Sink() {
        const auto begin = [](void* context, std::uint32_t w, std::uint32_t h, std::size_t* held) {
            PartDrawer* d = static_cast<PartDrawer*>(context);
            try {
                const bool ok = d->Begin(w, h);
                *held = d->across_.size() + (d->scaler_ ? d->scaler_->HeldBytes() : 0);
                return ok;
            } catch (const std::bad_alloc&) {
                jpeg::ReportOutOfMemory();
                return false;
            }
        };
        const auto row = [](void* context, const std::uint8_t* bgr, std::uint32_t index) {
            static_cast<PartDrawer*>(context)->Row(static_cast<int>(index), bgr);
            return true;
        };
        const auto denominator = [](void* context, std::uint32_t w, std::uint32_t h) {
            return static_cast<PartDrawer*>(context)->Denominator(w, h);
        };
        return {this, begin, row, nullptr, true, denominator};
    }

private:
    void Decide(std::uint32_t width, std::uint32_t height) {
        decided_ = true;
        placement_ = part_.placement;
        if (static_cast<std::uint64_t>(std::max(part_.tileWidth, 0)) > width ||
            static_cast<std::uint64_t>(std::max(part_.tileHeight, 0)) > height) {
            placement_ = Placement::Tiled;
        }
    }

    const ComposedPart& part_;
    Canvas& canvas_;
    const Area monitor_;
    bool decided_ = false;
    Placement placement_ = Placement::AsItIs;
    int firstRow_ = 0, endRow_ = 0;
    int left_ = 0, top_ = 0, w_ = 1, h_ = 1;
    Area on_, to_, visible_;
    std::vector<std::uint8_t> across_;
    std::optional<AreaScaler> scaler_;
};

// One monitor's part, drawn into the canvas. False when its picture could
// not be decoded, which the user has been told about.
bool DrawPart(const ComposedPart& part, Canvas& canvas) {
    PartDrawer drawer(part, canvas);
    if (picture::FormatOf(part.path) != picture::Format::Bmp) {
        if (!picture::Decode(part.path, drawer.Sink())) {
            drawer.Clear();
            return false;
        }
        return true;
    }
    // A BMP that cannot be read leaves its monitor the background.
    BmpRows picture;
    if (picture.Open(part.path) && drawer.Begin(static_cast<std::uint32_t>(picture.Width()),
                                                static_cast<std::uint32_t>(picture.Height()))) {
        for (int y = drawer.FirstRow(); y < drawer.EndRow(); ++y) {
            const std::uint8_t* row = picture.Row(y);
            if (row == nullptr) {
                break;
            }
            drawer.Row(y, row);
        }
    }
    return true;
}

bool WriteBmp(const Canvas& canvas, const std::string& bmpPath) {
    SystemServices& system = CurrentPlatform().system;
    const std::size_t slash = bmpPath.find_last_of("/\\");
    const std::string folder = slash == std::string::npos ? "." : bmpPath.substr(0, slash);
    const std::optional<std::uint64_t> free = system.FreeDiskSpace(folder);
    const std::string tmpPath = bmpPath + ".tmp";
    std::FILE* file = free && *free < canvas.FileBytes() + kFreeSpaceMargin ? nullptr : CreateNewFile(tmpPath);
    if (file == nullptr) {
        CurrentPlatform().shell.AppMessageBox("Error: Can't save as BMP", BoxIcon::None);
        return false;
    }
    // Straight to the system, a large block at a time: a stdio buffer would
    // only copy it.
    std::setvbuf(file, nullptr, _IONBF, 0);
    bool ok = true;
    constexpr std::size_t kBlock = std::size_t{4} << 20;
    for (std::size_t at = 0; ok && at < canvas.FileBytes(); at += kBlock) {
        const std::size_t n = std::min(kBlock, canvas.FileBytes() - at);
        ok = std::fwrite(canvas.File() + at, 1, n, file) == n;
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
    std::vector<const ComposedPart*> drawn;
    for (const ComposedPart& part : parts) {
        if (part.monitor.width > 0 && part.monitor.height > 0) {
            drawn.push_back(&part);
        }
    }
    // Monitors that overlap (mirrored ones) share pixels: drawn in turn,
    // the later one shows, as it always has.
    bool apart = true;
    for (std::size_t i = 0; i < drawn.size(); ++i) {
        for (std::size_t k = i + 1; k < drawn.size(); ++k) {
            const MonitorRect& a = drawn[i]->monitor;
            const MonitorRect& b = drawn[k]->monitor;
            const Area both = Intersect({a.x, a.y, a.width, a.height}, {b.x, b.y, b.width, b.height});
            apart = apart && (both.width == 0 || both.height == 0);
        }
    }
    std::vector<char> shown(drawn.size(), 0);
    RunSideBySide(drawn.size(), apart, [&](std::size_t i) { shown[i] = DrawPart(*drawn[i], canvas) ? 1 : 0; });
    // Not one picture to show: the desktop keeps what it shows.
    if (std::find(shown.begin(), shown.end(), 1) == shown.end()) {
        return false;
    }
    return WriteBmp(canvas, bmpPath);
}

}  // namespace qm
