// Deciding the desktop's tile and stretch values, and re-laying out the
// picture the desktop shows now.
#include <cstdint>
#include <cstdio>

#include "frame/main_frame.h"
#include "platform/file_access.h"
#include "rotation/desktop_wallpaper.h"

namespace qm {

namespace {

std::int32_t ReadLe32(const unsigned char* p) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(p[0]) |
                                     static_cast<std::uint32_t>(p[1]) << 8 |
                                     static_cast<std::uint32_t>(p[2]) << 16 |
                                     static_cast<std::uint32_t>(p[3]) << 24);
}

// Width and height from the BMP header's fixed offsets 18 and 22.
bool ReadBmpSize(const std::string& path, std::int32_t& width, std::int32_t& height) {
    std::FILE* file = OpenFileToRead(path);  // refuses a FIFO, which would block
    if (file == nullptr) {
        return false;
    }
    unsigned char header[26];
    std::size_t got = std::fread(header, 1, sizeof header, file);
    std::fclose(file);
    if (got != sizeof header) {
        return false;
    }
    width = ReadLe32(header + 18);
    height = ReadLe32(header + 22);
    return true;
}

}  // namespace

// Windows' WallpaperStyle for the size: "0" as it is, "2" stretched, "10"
// filled, "6" fitted. A tiled picture keeps what it always had: "2" when
// stretched, otherwise "0", the style with which every Windows since 7
// tiles.
std::string StyleString(std::int32_t stretch, bool tiled) {
    switch (stretch) {
        case kSizeAsItIs: return "0";
        case kSizeFilled: return tiled ? "0" : "10";
        case kSizeFitted: return tiled ? "0" : "6";
        default: return "2";
    }
}

void CMainFrame::SetWallpaperStyle() {
    // Measuring a JPEG (or PNG, WebP) converts it, with the conversion's message boxes.
    const ChangeUnderWay underWay(*this);
    std::string tile;
    if (Display == 1) {
        tile = "1";
    } else if (Display == 0) {
        tile = "0";
    } else if (m_CurrentIndex < 0 ||
               static_cast<std::size_t>(m_CurrentIndex) >= m_ImageList.size()) {
        // Nothing shown yet: keep the layout the desktop has.
        tile = DesktopWallpaper::ReadTile() ? "1" : "0";
    } else {
        std::string sizeFile = m_ImageList[static_cast<std::size_t>(m_CurrentIndex)];
        if (IsConvertedPicture(sizeFile)) {
            sizeFile = MakeWallpaperBmp(sizeFile);
            if (sizeFile.empty()) {
                return;
            }
        }
        std::int32_t width = 0;
        std::int32_t height = 0;
        if (ReadBmpSize(sizeFile, width, height)) {
            tile = (Width > width || Height > height) ? "1" : "0";
        } else {
            // Size unknown: show the picture once, as it is.
            tile = "0";
        }
    }
    DesktopWallpaper::WriteStyle(tile, StyleString(Stretch, tile == "1"));
    m_TileWritten = tile == "1";
}

namespace {
void Relayout(const char* tile) {
    DesktopWallpaper::WriteTile(tile);
    if (auto path = DesktopWallpaper::ReadWallpaperPath()) {
        DesktopWallpaper::SetWallpaper(*path);
    }
}
}  // namespace

void CMainFrame::OnCenterCurrent() {
    m_TileWritten = false;
    Relayout("0");
}
void CMainFrame::OnTileCurrent() {
    m_TileWritten = true;
    Relayout("1");
}

bool CMainFrame::OnUpdateCenterCurrent() { return DesktopWallpaper::ReadTile(); }
bool CMainFrame::OnUpdateTileCurrent() { return !DesktopWallpaper::ReadTile(); }

}  // namespace qm
