// The program's desktop operations on Linux: the two layout values it
// writes are kept here, and the picture and tile state it reads come from
// the desktop itself, so that a picture another program set can be laid
// out again and the menu shows the desktop's own state.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/desktop.h"
#include "platform/desktops/wallpaper_desktop.h"

namespace qm {

class LinuxDesktop : public DesktopServices {
public:
    // Tells the user that the desktop did not show a wallpaper: the id of
    // the string resource that says so, and the desktop's own words.
    using Notice = std::function<void(unsigned stringId, const std::string& detail)>;
    // Bytes this user may still write on the volume that holds a folder;
    // nothing when that cannot be learnt.
    using FreeSpace = std::function<std::optional<std::uint64_t>(const std::string& folder)>;

    // `folder` holds the names the desktop is given (made when missing);
    // with no absolute folder, none are made and the desktop gets each
    // picture under its own name. `notice` and `freeSpace` may be empty.
    LinuxDesktop(std::unique_ptr<desktops::WallpaperDesktop> desktop, std::filesystem::path folder,
                 Notice notice, FreeSpace freeSpace = nullptr);

    // The key always exists: its layout values live in this object, the rest
    // in the desktop.
    std::unique_ptr<DesktopKey> CreateDesktopKey() override;
    std::unique_ptr<DesktopKey> OpenDesktopKey() override;
    // Shows the file as "TileWallpaper" and "WallpaperStyle" say: tiled for
    // "1", else stretched for style "2", filled for "10", fitted for "6",
    // else centred. A value never written
    // in this run is the one the desktop's present layout gives. Returns
    // before the desktop has answered: a desktop that does not take the
    // picture is reported when it says so (or its time runs out), once,
    // until one is taken; a refusal that a later picture overtook is not
    // reported. The desktop has one picture at a time: one asked for while
    // it has not yet answered waits, and a newer one takes its place.
    void SetDesktopWallpaper(const char* path) override;
    // A desktop with a picture per screen takes a file per monitor (each
    // under a name of its own, as above); one that spans one picture
    // across its monitors takes a composed one.
    EachMonitorWay HowEachMonitor() override;
    bool SetMonitorWallpapers(const std::vector<MonitorPicture>& pictures) override;
    void SetComposedWallpaper(const char* path) override;
    MonitorRect ComposedPlace(const MonitorRect& monitor) override;
    // Qt's screens, in physical pixels; none without a GUI application.
    std::vector<MonitorRect> Monitors() override;

    // The names the desktop is given begin so, then a number never given
    // before (our own stay below kNumberLimit) and the picture's ending.
    static constexpr const char* kShownPrefix = "Quillmere Wallpaper-";
    static constexpr unsigned long long kNumberLimit = 1'000'000'000'000'000ULL;
    // The numbers a run starts from: its clock's seconds, kept within ours.
    static unsigned long long FirstNumber(long long clockSeconds);

private:
    class Key;
    // A picture for the desktop: the name it is given, and that name's
    // number when it is one of ours (else 0).
    // A set for several screens has the lowest of its names' numbers, and
    // each screen's picture and number.
    struct Request {
        std::string name;
        desktops::Layout layout;
        unsigned long long number;
        std::vector<desktops::ScreenPicture> screens = {};
        std::vector<unsigned long long> numbers = {};
    };

    std::optional<std::string> Value(const std::string& name);
    desktops::Layout LayoutToApply();
    Request Fresh(const std::string& path, desktops::Layout layout);
    void Hand(Request request);
    void Send(Request request);
    void Answered(const Request& request, bool shown, const std::string& why);
    void Remove(const Request& request);
    void RemoveBelow(unsigned long long number);

    std::unique_ptr<desktops::WallpaperDesktop> desktop_;
    std::filesystem::path folder_;
    Notice notice_;
    FreeSpace freeSpace_;
    std::map<std::string, std::string> written_;
    bool told_ = false;
    std::optional<Request> sent_;     // handed to the desktop, not yet answered
    std::optional<Request> waiting_;  // the newest asked for meanwhile
    unsigned long long confirmed_ = 0;  // the newest of our numbers the desktop took
    unsigned long long next_;           // the number of the next name
    std::filesystem::file_time_type started_;  // temporaries older than this are left over
};

}  // namespace qm
