#include "imaging/wallpaper_bmp.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <new>
#include <optional>
#include <vector>

#include "frame/main_frame.h"
#include "imaging/jpeg_decode.h"
#include "imaging/jpeg_file.h"
#include "imaging/picture_decode.h"
#include "imaging/side_by_side.h"
#include "platform/file_access.h"
#include "platform/platform.h"

namespace qm {

namespace {

// The folder part of a path, either separator; "" when it has none. (Not
// std::filesystem: in the static Windows program it would double the size.)
std::string FolderOf(const std::string& path) {
    const std::size_t end = path.find_last_of("/\\");
    return end == std::string::npos ? std::string() : path.substr(0, end == 0 ? 1 : end);
}

// Whether a folder name stands on its own, wherever the program started:
// on Windows from a drive's root or a server's share, elsewhere from the
// root.
bool IsAbsolute(const std::string& folder) {
#ifdef _WIN32
    const auto letter = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); };
    return (folder.size() >= 3 && letter(folder[0]) && folder[1] == ':' &&
            (folder[2] == '\\' || folder[2] == '/')) ||
           folder.rfind("\\\\", 0) == 0 || folder.rfind("//", 0) == 0;
#else
    return !folder.empty() && folder[0] == '/';
#endif
}

constexpr std::uint32_t kHeaderBytes = kBmpHeaderBytes;
// Rows are gathered into blocks of about this size before each write.
constexpr std::size_t kBlockBytes = 1 << 20;

void PutU16(std::uint8_t* p, std::uint16_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}

void PutU32(std::uint8_t* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        p[i] = static_cast<std::uint8_t>(v >> (8 * i));
    }
}

}  // namespace

void MakeBmpHeader(std::uint8_t* h, std::uint32_t width, std::uint32_t height,
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

namespace {

// Writes the BMP while the JPEG is decoded. The JPEG delivers the top row
// first and the BMP stores it last, so decoded rows are dropped into their
// final place in a block of rows (already BGR and padded) and each full
// block is written at its own offset: one pass, and never the whole picture
// in memory.
struct BmpWriter {
    const char* tmpPath;
    const ScaleGoal* goal = nullptr;
    std::string folder;  // where tmpPath lies, for its free space
    std::FILE* file = nullptr;
    bool cannotOpen = false;
    bool writeFailed = false;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::uint32_t rowBytes = 0;
    std::uint32_t blockRows = 0;
    // The BMP rows the block holds: blockLow up to, not including, blockHigh.
    std::uint32_t blockLow = 0;
    std::uint32_t blockHigh = 0;
    std::unique_ptr<std::uint8_t[]> block;

    bool Write(const void* data, std::size_t bytes) {
        if (std::fwrite(data, 1, bytes, file) != bytes) {
            writeFailed = true;
        }
        return !writeFailed;
    }

    // Runs before the library buffers anything, so that a file that will
    // not fit is refused at once, not after minutes of decoding.
    static bool Begin(void* context, std::uint32_t w, std::uint32_t h, std::size_t* held) {
        BmpWriter* b = static_cast<BmpWriter*>(context);
        b->width = w;
        b->height = h;
        b->rowBytes = ((w * 24 + 31) / 32) * 4;  // the decoder has made sure it fits
        const std::uint64_t fileSize = kHeaderBytes + std::uint64_t{b->rowBytes} * h;
        // A file that would fill the volume is not begun: it would end in a
        // full disk for everything else too, and a failed write.
        const std::optional<std::uint64_t> free =
            CurrentPlatform().system.FreeDiskSpace(b->folder);
        if (free && *free < fileSize + kFreeSpaceMargin) {
            b->cannotOpen = true;
            CurrentPlatform().shell.AppMessageBox("Error: Can't save as BMP", BoxIcon::None);
            return false;
        }
        b->blockRows = static_cast<std::uint32_t>(kBlockBytes / b->rowBytes);
        if (b->blockRows == 0) {
            b->blockRows = 1;
        }
        if (b->blockRows > h) {
            b->blockRows = h;
        }
        // Zero-filled so that the padding after each row is already there.
        *held = std::size_t(b->blockRows) * b->rowBytes;
        b->block.reset(new (std::nothrow) std::uint8_t[*held]());
        if (!b->block) {
            jpeg::ReportOutOfMemory();
            return false;
        }
        // Made anew: a link planted at the temporary's name is not followed.
        b->file = CreateNewFile(b->tmpPath);
        if (b->file == nullptr) {
            b->cannotOpen = true;
            CurrentPlatform().shell.AppMessageBox("Error: Can't save as BMP", BoxIcon::None);
            return false;
        }
        // Blocks go straight to the system; a stdio buffer would only copy them.
        std::setvbuf(b->file, nullptr, _IONBF, 0);
        std::uint8_t header[kHeaderBytes];
        MakeBmpHeader(header, w, h, static_cast<std::uint32_t>(fileSize));
        b->blockHigh = h;
        b->blockLow = h - b->blockRows;
        return b->Write(header, kHeaderBytes);
    }

    static unsigned Denominator(void* context, std::uint32_t w, std::uint32_t h) {
        const BmpWriter* b = static_cast<BmpWriter*>(context);
        return b->goal != nullptr ? ScaleDenominator(w, h, *b->goal) : 1;
    }

    // The decoder writes each line, already BGR, straight into its place.
    static std::uint8_t* Target(void* context, std::uint32_t index) {
        BmpWriter* b = static_cast<BmpWriter*>(context);
        const std::uint32_t bmpRow = b->height - 1 - index;
        return b->block.get() + std::size_t(bmpRow - b->blockLow) * b->rowBytes;
    }

    static bool Row(void* context, const std::uint8_t*, std::uint32_t index) {
        BmpWriter* b = static_cast<BmpWriter*>(context);
        if (b->height - 1 - index != b->blockLow) {
            return true;
        }
        const std::uint32_t rows = b->blockHigh - b->blockLow;
        if (!SeekTo(b->file, kHeaderBytes + std::uint64_t{b->blockLow} * b->rowBytes) ||
            !b->Write(b->block.get(), std::size_t(rows) * b->rowBytes)) {
            b->writeFailed = true;
            return false;
        }
        b->blockHigh = b->blockLow;
        b->blockLow = b->blockLow > b->blockRows ? b->blockLow - b->blockRows : 0;
        return true;
    }
};

}  // namespace

unsigned ScaleDenominator(std::uint32_t width, std::uint32_t height, const ScaleGoal& goal) {
    // Decoded at 1/d the picture is ceil(size / d) pixels, as libjpeg
    // rounds. Filled, it must be at least as wide and as high as the
    // monitor; fitted, one of the two is enough, the one that fits.
    const auto covers = [&](unsigned d) {
        const std::uint64_t w = (std::uint64_t{width} + d - 1) / d;
        const std::uint64_t h = (std::uint64_t{height} + d - 1) / d;
        for (const MonitorRect& m : goal.monitors) {
            const auto mw = static_cast<std::uint64_t>(m.width > 0 ? m.width : 0);
            const auto mh = static_cast<std::uint64_t>(m.height > 0 ? m.height : 0);
            // Fitted, the picture's side that meets the monitor's edge
            // first: the wider of the two aspects, compared crosswise.
            const bool byWidth = std::uint64_t{width} * mh >= std::uint64_t{height} * mw;
            const bool enough = goal.fill ? (w >= mw && h >= mh) : (byWidth ? w >= mw : h >= mh);
            if (!enough) {
                return false;
            }
        }
        return true;
    };
    if (goal.monitors.empty() || width == 0 || height == 0) {
        return 1;
    }
    for (unsigned d = 8; d > 1; d /= 2) {
        if (covers(d)) {
            return d;
        }
    }
    return 1;
}

bool ConvertJpegToBmp(const std::string& jpegPath, const std::string& bmpPath,
                      const ScaleGoal* goal) {
    // A conversion can start inside another one's message box (the box's
    // message loop delivers timer ticks and clicks), so each one under way
    // writes a temporary of its own; sharing one, the inner conversion
    // would truncate and move away the file the outer is still writing.
    // Counted per thread: conversions side by side write files of their own.
    thread_local int underWay = 0;
    struct Nesting {
        int depth = ++underWay;
        ~Nesting() { --underWay; }
    } nesting;
    // The desktop may read the wallpaper at any moment, so the new file is
    // finished under another name and swapped in whole.
    const std::string tmpPath =
        bmpPath + ".tmp" + (nesting.depth > 1 ? std::to_string(nesting.depth) : std::string());
    BmpWriter writer;
    writer.tmpPath = tmpPath.c_str();
    writer.goal = goal;
    writer.folder = FolderOf(bmpPath);
    if (writer.folder.empty()) {
        writer.folder = ".";
    }
    const jpeg::RowSink sink{&writer,           BmpWriter::Begin, BmpWriter::Row,
                             BmpWriter::Target, true,             BmpWriter::Denominator};
    const bool decoded = picture::Decode(jpegPath, sink);  // a PNG or WebP is not scaled
    if (writer.file == nullptr) {
        return false;  // nothing written; the user has been told why
    }
    // fclose flushes too, and its failure means the data may not be there.
    const bool closed = std::fclose(writer.file) == 0;
    if (!decoded && !writer.writeFailed) {
        // The library gave up part-way and has said so: no half picture.
        std::remove(tmpPath.c_str());
        return false;
    }
    if (writer.writeFailed || !closed || !CurrentPlatform().system.ReplaceFile(tmpPath, bmpPath)) {
        std::remove(tmpPath.c_str());
        CurrentPlatform().shell.AppMessageBox("fwrite error\nGiving up", BoxIcon::None);
        return false;
    }
    return true;
}

void ConvertAll(std::vector<Conversion>& conversions) {
    RunSideBySide(conversions.size(), true, [&](std::size_t i) {
        Conversion& c = conversions[i];
        c.written = ConvertJpegToBmp(c.picturePath, c.bmpPath, c.goal ? &*c.goal : nullptr);
    });
}

std::string CMainFrame::MakeWallpaperBmp(const std::string& path, bool onlyAsLargeAsShown) {
    std::optional<ScaleGoal> goal;
    if (onlyAsLargeAsShown) {
        goal = ScaleGoal{Stretch == kSizeFilled, CurrentPlatform().desktop.Monitors()};
    }
    const std::string out = WallpaperPath(kWallpaperFileName);
    return !out.empty() && ConvertJpegToBmp(path, out, goal ? &*goal : nullptr) ? out : "";
}

std::string WallpaperFileName(std::size_t monitor) {
    return "Quillmere Wallpaper " + std::to_string(monitor) + ".bmp";
}

void RemoveMonitorFiles(const std::vector<std::size_t>& keep) {
    SystemServices& system = CurrentPlatform().system;
    const std::string folder = system.WallpaperDirectory();
    if (!IsAbsolute(folder)) {
        return;
    }
    const std::string prefix = "Quillmere Wallpaper ";
    const std::string folderPrefix = folder + system.PathSeparator();
    std::vector<std::string> doomed;
    FindEntry entry;
    auto search = system.FindFirst((folderPrefix + prefix + "*.bmp").c_str(), entry);
    for (bool more = search != nullptr; more; more = search->FindNext(entry)) {
        // Only our own names: the prefix, a number, ".bmp" (a desktop's
        // names of ours, "Quillmere Wallpaper-<n>", are never among them).
        const std::string& name = entry.name;
        if (entry.isDirectory || name.size() <= prefix.size() + 4 || name.size() > prefix.size() + 8) {
            continue;
        }
        const std::string digits = name.substr(prefix.size(), name.size() - prefix.size() - 4);
        if (digits.find_first_not_of("0123456789") != std::string::npos) {
            continue;
        }
        // Spelt as the rule spells it: no leading zero, our letter case.
        const std::size_t monitor = std::stoul(digits);
        if (WallpaperFileName(monitor) == name &&
            std::find(keep.begin(), keep.end(), monitor) == keep.end()) {
            doomed.push_back(folderPrefix + name);
        }
    }
    search.reset();
    for (const std::string& path : doomed) {
        std::remove(path.c_str());
    }
}

std::string WallpaperPath(const std::string& fileName) {
    SystemServices& system = CurrentPlatform().system;
    const std::string folder = system.WallpaperDirectory();
    // No folder to be had (no home, or none that takes files) gives an empty
    // or relative name: the file would be made in whatever folder the
    // program started in, the picture folder perhaps, and the desktop handed
    // a relative path. Refused as a folder that takes no file is.
    if (!IsAbsolute(folder)) {
        CurrentPlatform().shell.AppMessageBox("Error: Can't save as BMP", BoxIcon::None);
        return "";
    }
    return folder + system.PathSeparator() + fileName;
}

}  // namespace qm
