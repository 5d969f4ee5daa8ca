#include "platform/desktops/root_window_picture.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QImage>

#include <algorithm>
#include <cstring>

namespace qm::desktops {

namespace {

std::uint32_t Little16(const unsigned char* p) { return p[0] | p[1] << 8; }
std::uint32_t Little32(const unsigned char* p) {
    return p[0] | p[1] << 8 | p[2] << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

// The picture's rows, top down, as B,G,R bytes. An uncompressed 24-bit BMP
// (what the wallpaper writer makes) is read row by row from the file, only
// the part asked for; anything else Qt reads is loaded whole.
class PictureRows {
public:
    PictureRows() = default;
    PictureRows(const PictureRows&) = delete;
    PictureRows& operator=(const PictureRows&) = delete;
    ~PictureRows() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }

    bool Open(const std::string& path) {
        // A FIFO or a device would hold the reader (and the program) up.
        struct stat status {};
        if (::stat(path.c_str(), &status) != 0 || !S_ISREG(status.st_mode)) {
            return false;
        }
        if (OpenBmp(path)) {
            return true;
        }
        image_ = QImage(QFile::decodeName(path.c_str()));
        if (image_.isNull()) {
            return false;
        }
        image_ = image_.convertToFormat(QImage::Format_BGR888);
        width_ = image_.width();
        height_ = image_.height();
        return !image_.isNull();
    }
    int Width() const { return width_; }
    int Height() const { return height_; }

    // Pixels [x, x + count) of row y; null when the file cannot be read.
    const std::uint8_t* Row(int y, int x, int count) {
        if (fd_ < 0) {
            return image_.constScanLine(y) + 3 * x;
        }
        const int fileRow = bottomUp_ ? height_ - 1 - y : y;
        const auto bytes = static_cast<std::size_t>(count) * 3;
        row_.resize(bytes);
        const off_t at = static_cast<off_t>(offset_) + static_cast<off_t>(fileRow) * rowBytes_ +
                         static_cast<off_t>(x) * 3;
        std::size_t done = 0;
        while (done < bytes) {
            const ssize_t got = ::pread(fd_, row_.data() + done, bytes - done,
                                        at + static_cast<off_t>(done));
            if (got <= 0) {
                return nullptr;
            }
            done += static_cast<std::size_t>(got);
        }
        return row_.data();
    }

private:
    bool OpenBmp(const std::string& path) {
        // Not blocking, should a FIFO have taken the name since.
        const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) {
            return false;
        }
        struct stat status {};
        if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
            ::close(fd);
            return false;
        }
        unsigned char head[54];
        const off_t size = ::lseek(fd, 0, SEEK_END);
        bool ok = ::pread(fd, head, sizeof head, 0) == static_cast<ssize_t>(sizeof head) &&
                  head[0] == 'B' && head[1] == 'M' && Little32(head + 14) >= 40 &&
                  Little16(head + 26) == 1 && Little16(head + 28) == 24 &&
                  Little32(head + 30) == 0;
        if (ok) {
            const auto width = static_cast<std::int32_t>(Little32(head + 18));
            const auto height = static_cast<std::int32_t>(Little32(head + 22));
            offset_ = Little32(head + 10);
            ok = width > 0 && width <= 0x10000 && height != 0 && height >= -0x10000 &&
                 height <= 0x10000;
            if (ok) {
                width_ = width;
                height_ = height < 0 ? -height : height;
                bottomUp_ = height > 0;
                rowBytes_ = (static_cast<long>(width_) * 3 + 3) / 4 * 4;
                ok = size >= static_cast<off_t>(offset_) + static_cast<off_t>(rowBytes_) * height_;
            }
        }
        if (!ok) {
            ::close(fd);
            return false;
        }
        fd_ = fd;
        return true;
    }

    int fd_ = -1;
    std::uint32_t offset_ = 0;
    long rowBytes_ = 0;
    bool bottomUp_ = true;
    std::vector<std::uint8_t> row_;
    QImage image_;
    int width_ = 0, height_ = 0;
};

// B,G,R bytes to the server's pixels.
class Packer {
public:
    explicit Packer(const PixelFormat& format)
        : bytes_(format.bitsPerPixel / 8), msbFirst_(format.msbFirst) {
        words_ = format.bitsPerPixel == 32 && !format.msbFirst && format.red == 0xff0000 &&
                 format.green == 0xff00 && format.blue == 0xff &&
                 Q_BYTE_ORDER == Q_LITTLE_ENDIAN;
        const std::uint32_t masks[3] = {format.blue, format.green, format.red};
        for (int c = 0; c < 3; ++c) {
            const std::uint32_t mask = masks[c];
            int shift = 0;
            while (mask != 0 && ((mask >> shift) & 1) == 0) {
                ++shift;
            }
            const std::uint32_t top = mask >> shift;
            for (std::uint32_t v = 0; v < 256; ++v) {
                table_[c][v] = mask == 0 ? 0 : ((v * top + 127) / 255) << shift;
            }
        }
    }
    int Bytes() const { return bytes_; }

    void Pack(const std::uint8_t* bgr, int count, std::uint8_t* out) const {
        if (words_) {
            for (int i = 0; i < count; ++i, bgr += 3, out += 4) {
                const std::uint32_t word = bgr[0] | bgr[1] << 8 | bgr[2] << 16;
                std::memcpy(out, &word, 4);
            }
            return;
        }
        for (int i = 0; i < count; ++i, bgr += 3) {
            const std::uint32_t pixel = table_[0][bgr[0]] | table_[1][bgr[1]] | table_[2][bgr[2]];
            for (int b = 0; b < bytes_; ++b) {
                const int shift = 8 * (msbFirst_ ? bytes_ - 1 - b : b);
                *out++ = static_cast<std::uint8_t>(pixel >> shift);
            }
        }
    }

private:
    int bytes_;
    bool msbFirst_;
    bool words_ = false;
    std::uint32_t table_[3][256];
};

}  // namespace

Area ScaledArea(int width, int height, const Area& monitor, Layout layout) {
    if (layout != Layout::Filled && layout != Layout::Fitted) {
        return monitor;
    }
    return AspectArea(width, height, monitor, layout == Layout::Filled);
}

bool DrawWallpaper(const std::string& path, Layout layout, const std::vector<Area>& monitors,
                   const PixelFormat& format, const ScreenImage& screen, std::string& why,
                   const Area* tiles) {
    PictureRows picture;
    if (!picture.Open(path)) {
        why = "The picture cannot be read: " + path;
        return false;
    }
    const int w = picture.Width(), h = picture.Height();
    const Packer packer(format);
    const int bytes = packer.Bytes();
    auto at = [&](int x, int y) {
        return screen.pixels + static_cast<std::size_t>(y) * screen.stride +
               static_cast<std::size_t>(x) * static_cast<std::size_t>(bytes);
    };
    const std::string unreadable = "The picture cannot be read to its end: " + path;
    const Area whole = {0, 0, screen.width, screen.height};

    if (layout == Layout::Tiled) {
        // Tiles run on across the area from its top left: the first band of
        // rows is drawn, the rest copies rows above it.
        const Area area = tiles != nullptr ? Intersect(*tiles, whole) : whole;
        const int across = std::min(w, area.width);
        const std::size_t tile = static_cast<std::size_t>(across) * static_cast<std::size_t>(bytes);
        const std::size_t line = static_cast<std::size_t>(area.width) * static_cast<std::size_t>(bytes);
        for (int y = 0; y < area.height; ++y) {
            std::uint8_t* out = at(area.x, area.y + y);
            if (y >= h) {
                std::memcpy(out, at(area.x, area.y + y - h), line);
                continue;
            }
            const std::uint8_t* row = picture.Row(y, 0, across);
            if (row == nullptr) {
                why = unreadable;
                return false;
            }
            packer.Pack(row, across, out);
            for (int x = across; x < area.width; x += across) {
                std::memcpy(out + static_cast<std::size_t>(x) * bytes, out,
                            std::min(tile, static_cast<std::size_t>(area.width - x) * bytes));
            }
        }
        return true;
    }

    if (layout == Layout::Centred) {
        for (const Area& monitor : monitors) {
            const int left = monitor.x + (monitor.width - w) / 2;
            const int top = monitor.y + (monitor.height - h) / 2;
            const Area on = Intersect(Intersect({left, top, w, h}, monitor), whole);
            for (int y = on.y; y < on.y + on.height && on.width > 0; ++y) {
                const std::uint8_t* row = picture.Row(y - top, on.x - left, on.width);
                if (row == nullptr) {
                    why = unreadable;
                    return false;
                }
                packer.Pack(row, on.width, at(on.x, y));
            }
        }
        return true;
    }

    // Scaled onto each monitor, all of them fed from one pass over the
    // picture's rows: stretched to it, or filling it (overflow cropped), or
    // fitted inside it (the bars stay black), centred either way.
    std::vector<AreaScaler> stretchers;
    std::vector<Area> targets, clipped;
    stretchers.reserve(monitors.size());
    for (const Area& monitor : monitors) {
        const Area to = ScaledArea(w, h, monitor, layout);
        const Area visible = Intersect(Intersect(to, monitor), whole);
        stretchers.emplace_back(w, h, to, visible);
        targets.push_back(to);
        clipped.push_back(visible);
    }
    for (int y = 0; y < h; ++y) {
        const std::uint8_t* row = picture.Row(y, 0, w);
        if (row == nullptr) {
            why = unreadable;
            return false;
        }
        for (std::size_t m = 0; m < monitors.size(); ++m) {
            const Area& to = targets[m];
            const Area& visible = clipped[m];
            stretchers[m].Push(y, row, [&](int outRow, const std::uint8_t* bgr) {
                const int sy = to.y + outRow;
                if (sy < visible.y || sy >= visible.y + visible.height || visible.width == 0) {
                    return;
                }
                packer.Pack(bgr, visible.width, at(visible.x, sy));
            });
        }
    }
    return true;
}

}  // namespace qm::desktops
