#include "platform/desktops/linux_desktop.h"

#include <cstring>
#include <system_error>

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
    : desktop_(std::move(desktop)), folder_(std::move(folder)), notice_(std::move(notice)) {}

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
    const auto says = [&](const char* name, const char* value, Layout meaning) {
        const auto it = written_.find(name);
        if (it != written_.end()) {
            return it->second == value;
        }
        if (!shown) {
            shown = desktop_->CurrentLayout().value_or(Layout::Centred);
        }
        return *shown == meaning;
    };
    if (says("TileWallpaper", "1", Layout::Tiled)) {
        return Layout::Tiled;
    }
    return says("WallpaperStyle", "2", Layout::Stretched) ? Layout::Stretched : Layout::Centred;
}

// Desktops that cache pictures by name (Plasma) or see no change in an
// unchanged name (xfconf) would go on showing the old picture when a new one
// comes under the same path, as the converted wallpaper always does. So the
// desktop is given one of two names of our own, never the one it shows now:
// a hard link to the file (a copy across file systems), which also keeps
// the picture the desktop shows as it was, whatever happens to the file.
std::string LinuxDesktop::FreshName(const std::string& path) {
    // No data folder to be had (no home): names made under a relative one
    // would land in whatever folder the program started in, the picture
    // folder perhaps, and reach the desktop relative. The desktop gets the
    // picture under its own name (a converted one never comes here then:
    // the conversion has no folder to write to either).
    if (!folder_.is_absolute()) {
        return path;
    }
    const auto shown = desktop_->CurrentPicture();
    for (const char* name : kShownNames) {
        const fs::path target = folder_ / name;
        if (target == fs::path(path) || (shown && fs::path(*shown) == target)) {
            continue;
        }
        const fs::path temp = target.string() + ".tmp";
        std::error_code ec;
        // A link made to a symbolic link would be one itself, and a relative
        // one would point elsewhere from our folder.
        fs::path source = fs::canonical(path, ec);
        if (ec) {
            source = path;
        }
        fs::create_directories(folder_, ec);
        fs::remove(temp, ec);
        fs::create_hard_link(source, temp, ec);
        if (ec) {
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
    // The path is one of ours, and not the one shown.
    return path;
}

void LinuxDesktop::SetDesktopWallpaper(const char* path) {
    const Layout layout = LayoutToApply();
    std::string why;
    if (desktop_->Apply(FreshName(path), layout, why)) {
        told_ = false;
        return;
    }
    if (!told_ && notice_) {
        notice_(IDS_WALLPAPER_NOT_SHOWN, why);
    }
    told_ = true;
}

}  // namespace qm
