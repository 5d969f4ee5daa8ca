// The desktop: its wallpaper values and the call that shows a picture.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace qm {

// The user's desktop key, open for reading and writing.
class DesktopKey {
public:
    virtual ~DesktopKey() = default;
    // Stores a string value (terminator included in the stored data).
    virtual void SetString(const char* name, const std::string& value) = 0;
    // Reads a value's raw data into buf (at most size bytes). Returns false
    // when the value is missing or does not fit. Always leaves buf
    // terminated; zero-length data counts as missing.
    virtual bool Query(const char* name, char* buf, std::size_t size) = 0;
};

// One monitor's place on the desktop, in physical pixels.
struct MonitorRect {
    int x = 0, y = 0, width = 0, height = 0;
    bool operator==(const MonitorRect&) const = default;
};

// One monitor and the picture file laid out for it alone.
struct MonitorPicture {
    MonitorRect monitor;
    std::string path;
};

// How the desktop can show a different picture on each monitor.
enum class EachMonitorWay {
    None,      // it cannot: every monitor shows the one picture
    Each,      // a file per monitor, through SetMonitorWallpapers
    Composed,  // one file made for all monitors, through SetComposedWallpaper
};

class DesktopServices {
public:
    virtual ~DesktopServices() = default;
    // CreateDesktopKey makes the key when it is missing; OpenDesktopKey only
    // opens an existing one. Null when the key cannot be had.
    virtual std::unique_ptr<DesktopKey> CreateDesktopKey() = 0;
    virtual std::unique_ptr<DesktopKey> OpenDesktopKey() = 0;
    // Shows the picture at path with the layout the key's values describe.
    virtual void SetDesktopWallpaper(const char* path) = 0;
    // The colour the desktop shows where no picture covers it, 0xRRGGBB;
    // transparent parts of a picture are laid over it. Black where the
    // desktop has no such colour of its own.
    virtual std::uint32_t BackgroundColour() { return 0x000000; }
    // The monitors the desktop spans now; empty when the backend cannot
    // tell (a converted picture then keeps its full size).
    virtual std::vector<MonitorRect> Monitors() { return {}; }

    // How a different picture on each monitor can be shown now.
    virtual EachMonitorWay HowEachMonitor() { return EachMonitorWay::None; }
    // Shows each picture on its own monitor, with the layout the key's
    // values describe; a monitor the desktop no longer has is left out.
    // False when none could be handed over: the caller composes instead.
    virtual bool SetMonitorWallpapers(const std::vector<MonitorPicture>& pictures) {
        (void)pictures;
        return false;
    }
    // Shows one picture made for every monitor at once: the point (x, y) of
    // the monitors' plane shows its pixel (x mod width, y mod height), so
    // that its top left lies on the primary monitor's (the origin), and a
    // monitor left or above it takes the picture's far side.
    virtual void SetComposedWallpaper(const char* path) { SetDesktopWallpaper(path); }
    // Where a monitor (one of Monitors()) lies on the composed picture: its
    // own rectangle, unless the desktop lays a spanned picture out in units
    // of its own (a scaled monitor's logical pixels).
    virtual MonitorRect ComposedPlace(const MonitorRect& monitor) { return monitor; }
};

}  // namespace qm
