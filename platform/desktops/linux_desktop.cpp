#include "platform/desktops/linux_desktop.h"

#include <algorithm>
#include <cstring>
#include <ctime>
#include <optional>
#include <system_error>

#include <QGuiApplication>
#include <QScreen>

#include "res/resource.h"

namespace qm {

namespace fs = std::filesystem;
using desktops::Layout;

class LinuxDesktop::Key : public DesktopKey {
public:
    explicit Key(LinuxDesktop& owner) : owner_(owner) {}

    void SetString(const char* name, const std::string& value) override {
        owner_.written_[name] = value;
    }

    bool Query(const char* name, char* buf, std::size_t size) override {
        if (size == 0) {
            return false;
        }
        buf[0] = '\0';
        const auto value = owner_.Value(name);
        if (!value || value->size() >= size) {
            return false;
        }
        std::memcpy(buf, value->c_str(), value->size() + 1);
        return true;
    }

private:
    LinuxDesktop& owner_;
};

LinuxDesktop::LinuxDesktop(std::unique_ptr<desktops::WallpaperDesktop> desktop, fs::path folder,
                           Notice notice)
    : desktop_(std::move(desktop)), folder_(std::move(folder)), notice_(std::move(notice)),
      // Numbers from the clock: a desktop that outlived our folder's files
      // may still hold names of an earlier run.
      next_(static_cast<unsigned long long>(std::time(nullptr))) {}

std::unique_ptr<DesktopKey> LinuxDesktop::CreateDesktopKey() { return std::make_unique<Key>(*this); }

std::unique_ptr<DesktopKey> LinuxDesktop::OpenDesktopKey() { return std::make_unique<Key>(*this); }

std::optional<std::string> LinuxDesktop::Value(const std::string& name) {
    if (name == "Wallpaper") {
        return desktop_->CurrentPicture();
    }
    if (name == "TileWallpaper") {
        const auto layout = desktop_->CurrentLayout();
        return layout ? std::optional<std::string>(*layout == Layout::Tiled ? "1" : "0")
                      : std::nullopt;
    }
    const auto it = written_.find(name);
    return it != written_.end() ? std::optional<std::string>(it->second) : std::nullopt;
}

Layout LinuxDesktop::LayoutToApply() {
    std::optional<Layout> shown;  // asked for only when a value was never written
    const auto present = [&] {
        if (!shown) {
            shown = desktop_->CurrentLayout().value_or(Layout::Centred);
        }
        return *shown;
    };
    const auto tile = written_.find("TileWallpaper");
    if (tile != written_.end() ? tile->second == "1" : present() == Layout::Tiled) {
        return Layout::Tiled;
    }
    const auto style = written_.find("WallpaperStyle");
    if (style == written_.end()) {
        return present() == Layout::Tiled ? Layout::Centred : present();
    }
    // Windows' WallpaperStyle numbers.
    if (style->second == "2") {
        return Layout::Stretched;
    }
    if (style->second == "10") {
        return Layout::Filled;
    }
    return style->second == "6" ? Layout::Fitted : Layout::Centred;
}

std::vector<MonitorRect> LinuxDesktop::Monitors() {
    std::vector<MonitorRect> monitors;
    if (qGuiApp == nullptr) {
        return monitors;
    }
    for (const QScreen* screen : QGuiApplication::screens()) {
        const QRect g = screen->geometry();
        const qreal ratio = screen->devicePixelRatio();
        monitors.push_back({qRound(g.x() * ratio), qRound(g.y() * ratio),
                            qRound(g.width() * ratio), qRound(g.height() * ratio)});
    }
    return monitors;
}

namespace {

// The number of one of our shown names, or nothing for any other file.
std::optional<unsigned long long> ShownNumber(const fs::path& file) {
    const std::string name = file.filename().string();
    const std::string prefix = LinuxDesktop::kShownPrefix;
    if (name.size() <= prefix.size() + 4 || name.compare(0, prefix.size(), prefix) != 0 ||
        name.compare(name.size() - 4, 4, ".bmp") != 0) {
        return std::nullopt;
    }
    const std::string digits = name.substr(prefix.size(), name.size() - prefix.size() - 4);
    if (digits.empty() || digits.size() > 18 ||
        digits.find_first_not_of("0123456789") != std::string::npos) {
        return std::nullopt;
    }
    return std::stoull(digits);
}

}  // namespace

// Desktops that cache pictures by name (Plasma, and GNOME's mutter for a
// while) or see no change in an unchanged name (xfconf) would go on showing
// the old picture when a new one comes under the same path, as the
// converted wallpaper always does. So the desktop is given a name of our own
// it has never been given: a hard link to the file (a copy across file
// systems), which also keeps the picture the desktop shows as it was,
// whatever happens to the file. Our earlier names go, but for the one shown.
std::string LinuxDesktop::FreshName(const std::string& path) {
    if (!folder_.is_absolute()) {
        return path;  // no folder of ours: never links in the working directory
    }
    std::error_code ec;
    fs::create_directories(folder_, ec);
    const auto shown = desktop_->CurrentPicture();
    // Above every number in the folder, so that no name a desktop may still
    // hold from an earlier run comes again.
    for (fs::directory_iterator it(folder_, ec), end; !ec && it != end; it.increment(ec)) {
        if (const auto number = ShownNumber(it->path())) {
            next_ = std::max(next_, *number + 1);
            if (!(shown && fs::path(*shown) == it->path()) && it->path() != fs::path(path)) {
                std::error_code ignored;
                fs::remove(it->path(), ignored);
            }
        }
    }
    const fs::path target = folder_ / (kShownPrefix + std::to_string(next_++) + ".bmp");
    const fs::path temp = target.string() + ".tmp";
    // A link made to a symbolic link would be one itself, and a relative
    // one would point elsewhere from our folder.
    fs::path source = fs::canonical(path, ec);
    if (ec) {
        source = path;
    }
    ec.clear();
    fs::remove(temp, ec);
    fs::create_hard_link(source, temp, ec);
    if (ec) {
        ec.clear();
        fs::copy_file(source, temp, ec);
    }
    if (!ec) {
        fs::rename(temp, target, ec);
    }
    if (ec) {
        // The desktop may still show the file under its own name.
        fs::remove(temp, ec);
        return path;
    }
    return target.string();
}

void LinuxDesktop::SetDesktopWallpaper(const char* path) {
    const Layout layout = LayoutToApply();
    const unsigned number = ++handed_;
    desktop_->Apply(FreshName(path), layout, [this, number](bool shown, const std::string& why) {
        if (shown) {
            shown_ = std::max(shown_, number);
            told_ = false;
            return;
        }
        if (number < shown_ || told_) {
            return;
        }
        told_ = true;
        if (notice_) {
            notice_(IDS_WALLPAPER_NOT_SHOWN, why);
        }
    });
}

}  // namespace qm
