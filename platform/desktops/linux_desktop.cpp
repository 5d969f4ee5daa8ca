#include "platform/desktops/linux_desktop.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <ctime>
#include <optional>
#include <system_error>
#include <utility>

#include <QGuiApplication>
#include <QScreen>

#include "imaging/wallpaper_bmp.h"
#include "platform/desktops/desktop_support.h"
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

namespace {

// Numbers from this one up are nobody's we gave (a planted name): the next
// name does not go above them, so that ours never outgrow what is read back.
constexpr unsigned long long kForeignFrom = LinuxDesktop::kNumberLimit / 10;

// The number of one of our names (up to 18 digits, then an ending of up to
// ten letters or digits), or nothing for any other file.
std::optional<unsigned long long> ShownNumber(const fs::path& file) {
    const std::string name = file.filename().string();
    const std::string prefix = LinuxDesktop::kShownPrefix;
    if (name.compare(0, prefix.size(), prefix) != 0) {
        return std::nullopt;
    }
    const std::size_t dot = name.find('.', prefix.size());
    if (dot == std::string::npos || dot == prefix.size() || dot - prefix.size() > 18 ||
        name.size() - dot - 1 < 1 || name.size() - dot - 1 > 10) {
        return std::nullopt;
    }
    const auto digit = [](char c) { return c >= '0' && c <= '9'; };
    const auto alnum = [](char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0; };
    if (!std::all_of(name.begin() + static_cast<long>(prefix.size()),
                     name.begin() + static_cast<long>(dot), digit) ||
        !std::all_of(name.begin() + static_cast<long>(dot) + 1, name.end(), alnum)) {
        return std::nullopt;
    }
    return std::stoull(name.substr(prefix.size(), dot - prefix.size()));
}

// A temporary of ours: one of a name being made (never left between two
// calls), or a conversion's ("Quillmere Wallpaper.bmp.tmp", ".tmp2", ...).
enum class Temporary { None, Name, Conversion };
Temporary TemporaryKind(const fs::path& file) {
    const std::string name = file.filename().string();
    const std::size_t tmp = name.rfind(".tmp");
    if (tmp == std::string::npos ||
        name.find_first_not_of("0123456789", tmp + 4) != std::string::npos) {
        return Temporary::None;
    }
    if (name.rfind(LinuxDesktop::kShownPrefix, 0) == 0) {
        return Temporary::Name;
    }
    // The conversion's files: "Quillmere Wallpaper.bmp", and each monitor's
    // "Quillmere Wallpaper <n>.bmp".
    return name.rfind("Quillmere Wallpaper", 0) == 0 ? Temporary::Conversion : Temporary::None;
}

// The ending our name for `source` takes, so that a desktop that goes by
// the ending reads it as what it is; nothing when it has none we can keep.
std::optional<std::string> Ending(const fs::path& source) {
    std::string ending = source.extension().string();
    if (ending.size() < 2 || ending.size() > 11 ||
        !std::all_of(ending.begin() + 1, ending.end(),
                     [](char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0; })) {
        return std::nullopt;
    }
    std::string lower = ending;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); });
    return lower == ".bmp" ? lower : ending;
}

// A screen's place in physical pixels, as Monitors() gives it.
MonitorRect PhysicalRect(const QScreen& screen) {
    const QRect g = screen.geometry();
    const qreal ratio = screen.devicePixelRatio();
    return {qRound(g.x() * ratio), qRound(g.y() * ratio), qRound(g.width() * ratio),
            qRound(g.height() * ratio)};
}

}  // namespace

unsigned long long LinuxDesktop::FirstNumber(long long clockSeconds) {
    // A clock before 1970 or beyond all reason still gives a number of ours.
    return static_cast<unsigned long long>(
        std::clamp<long long>(clockSeconds, 1, static_cast<long long>(kForeignFrom) - 1));
}

LinuxDesktop::LinuxDesktop(std::unique_ptr<desktops::WallpaperDesktop> desktop, fs::path folder,
                           Notice notice, FreeSpace freeSpace)
    : desktop_(std::move(desktop)), folder_(std::move(folder)), notice_(std::move(notice)),
      freeSpace_(std::move(freeSpace)),
      // Numbers from the clock: a desktop that outlived our folder's files
      // may still hold names of an earlier run.
      next_(FirstNumber(static_cast<long long>(std::time(nullptr)))),
      started_(fs::file_time_type::clock::now()) {}

std::unique_ptr<DesktopKey> LinuxDesktop::CreateDesktopKey() { return std::make_unique<Key>(*this); }

std::unique_ptr<DesktopKey> LinuxDesktop::OpenDesktopKey() { return std::make_unique<Key>(*this); }

std::optional<std::string> LinuxDesktop::Value(const std::string& name) {
    // What was last asked for reads back at once, as the registry's values
    // do after the wallpaper call, though the desktop has not shown it yet.
    const std::optional<Request>& asked = waiting_ ? waiting_ : sent_;
    if (name == "Wallpaper") {
        return asked ? std::optional<std::string>(asked->name) : desktop_->CurrentPicture();
    }
    if (name == "TileWallpaper") {
        const auto layout = asked ? std::optional<Layout>(asked->layout) : desktop_->CurrentLayout();
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
        monitors.push_back(PhysicalRect(*screen));
    }
    return monitors;
}

// Desktops that cache pictures by name (Plasma, and GNOME's mutter for a
// while) or see no change in an unchanged name (xfconf) would go on showing
// the old picture when a new one comes under the same path, as the
// converted wallpaper always does. So the desktop is given a name of our own
// it has never been given, with the picture's own ending: a hard link to the
// file (a copy across file systems, when there is room), which also keeps
// the picture the desktop shows as it was, whatever happens to the file.
LinuxDesktop::Request LinuxDesktop::Fresh(const std::string& path, Layout layout) {
    Request asIs{path, layout, 0};
    if (!folder_.is_absolute()) {
        return asIs;  // no folder of ours: never links in the working directory
    }
    const std::optional<std::string> ending = Ending(path);
    if (!ending) {
        return asIs;
    }
    std::error_code ec;
    fs::create_directories(folder_, ec);
    // Above every number of ours in the folder, so that no name a desktop
    // may still hold from an earlier run comes again. Temporaries a crash
    // left go: ours of a name are never left between two calls, the
    // conversion's only when older than this run.
    for (fs::directory_iterator it(folder_, ec), end; !ec && it != end; it.increment(ec)) {
        if (const auto number = ShownNumber(it->path())) {
            if (*number < kForeignFrom) {
                next_ = std::max(next_, *number + 1);
            }
            continue;
        }
        const Temporary kind = TemporaryKind(it->path());
        std::error_code ignored;
        if (kind == Temporary::Name ||
            (kind == Temporary::Conversion && fs::last_write_time(it->path(), ignored) < started_ &&
             !ignored)) {
            fs::remove(it->path(), ignored);
        }
    }
    if (next_ >= kNumberLimit) {
        next_ = FirstNumber(static_cast<long long>(std::time(nullptr)));  // wraps within ours
    }
    fs::path target;
    do {
        target = folder_ / (kShownPrefix + std::to_string(next_++) + *ending);
    } while (fs::exists(target, ec) && next_ < kNumberLimit);
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
        // A copy, as the conversion's file, only where it leaves the margin.
        ec.clear();
        const auto size = fs::file_size(source, ec);
        const auto free = !ec && freeSpace_ ? freeSpace_(folder_.string()) : std::nullopt;
        if (!ec && free && *free < size + kFreeSpaceMargin) {
            qCDebug(lcDesktops) << "no room to copy" << path.c_str();
            return asIs;
        }
        if (!ec) {
            fs::copy_file(source, temp, ec);
        }
    }
    if (!ec) {
        fs::rename(temp, target, ec);
    }
    if (ec) {
        // The desktop may still show the file under its own name.
        fs::remove(temp, ec);
        return asIs;
    }
    return Request{target.string(), layout, next_ - 1};
}

EachMonitorWay LinuxDesktop::HowEachMonitor() {
    if (desktop_->ShowsEachScreen()) {
        return EachMonitorWay::Each;
    }
    return desktop_->Spans() ? EachMonitorWay::Composed : EachMonitorWay::None;
}

bool LinuxDesktop::SetMonitorWallpapers(const std::vector<MonitorPicture>& pictures) {
    if (!desktop_->ShowsEachScreen() || qGuiApp == nullptr) {
        return false;
    }
    const Layout layout = LayoutToApply();
    Request set{{}, layout, 0};
    for (const MonitorPicture& picture : pictures) {
        // The screen that is this monitor, by its place in physical pixels.
        for (const QScreen* screen : QGuiApplication::screens()) {
            if (PhysicalRect(*screen) != picture.monitor) {
                continue;
            }
            const QRect g = screen->geometry();
            Request one = Fresh(picture.path, layout);
            set.screens.push_back({screen->name().toStdString(), g.x(), g.y(), g.width(),
                                   g.height(), one.name, picture.monitor.x, picture.monitor.y,
                                   picture.monitor.width, picture.monitor.height});
            set.numbers.push_back(one.number);
            break;
        }
    }
    if (set.screens.empty()) {
        return false;
    }
    set.name = set.screens.front().path;
    // Names are numbered in turn: the first is the lowest of ours.
    for (const unsigned long long number : set.numbers) {
        if (number != 0 && (set.number == 0 || number < set.number)) {
            set.number = number;
        }
    }
    Hand(std::move(set));
    return true;
}

MonitorRect LinuxDesktop::ComposedPlace(const MonitorRect& monitor) {
    if (!desktop_->SpansInLogicalPixels() || qGuiApp == nullptr) {
        return monitor;
    }
    for (const QScreen* screen : QGuiApplication::screens()) {
        if (PhysicalRect(*screen) == monitor) {
            const QRect g = screen->geometry();
            return {g.x(), g.y(), g.width(), g.height()};
        }
    }
    return monitor;
}

void LinuxDesktop::SetComposedWallpaper(const char* path) { Hand(Fresh(path, Layout::Spanned)); }

void LinuxDesktop::SetDesktopWallpaper(const char* path) { Hand(Fresh(path, LayoutToApply())); }

void LinuxDesktop::Hand(Request request) {
    if (!sent_) {
        Send(std::move(request));
        return;
    }
    // One picture at a time: a desktop asked again before it answered
    // (a double click, a timer beside a slow desktop) would be asked
    // without end, and which name it shows could not be told.
    if (waiting_ && waiting_->name != request.name) {
        Remove(*waiting_);  // never handed over
    }
    waiting_ = std::move(request);
}

void LinuxDesktop::Send(Request request) {
    sent_ = std::move(request);
    auto answer = [this](bool shown, const std::string& why) {
        const Request answered = std::move(*sent_);
        sent_.reset();
        Answered(answered, shown, why);
        if (waiting_) {
            Request next = std::move(*waiting_);
            waiting_.reset();
            Send(std::move(next));
        }
    };
    if (sent_->screens.empty()) {
        desktop_->Apply(sent_->name, sent_->layout, std::move(answer));
    } else {
        desktop_->ApplyEach(sent_->screens, sent_->layout, std::move(answer));
    }
}

void LinuxDesktop::Answered(const Request& request, bool shown, const std::string& why) {
    if (shown) {
        told_ = false;
        if (request.number != 0 && request.number >= confirmed_) {
            confirmed_ = request.number;
            RemoveBelow(confirmed_);
        }
        return;
    }
    if (!(waiting_ && waiting_->name == request.name)) {
        Remove(request);
    }
    // A newer picture is on its way: its own answer tells.
    if (waiting_ || told_) {
        return;
    }
    told_ = true;
    if (notice_) {
        notice_(IDS_WALLPAPER_NOT_SHOWN, why);
    }
}

// The names of ours in a request that the desktop does not show.
void LinuxDesktop::Remove(const Request& request) {
    const auto shown = desktop_->CurrentPicture();
    const auto remove = [&](const std::string& name, unsigned long long number) {
        if (number != 0 && shown != name) {
            std::error_code ignored;
            fs::remove(name, ignored);
        }
    };
    if (request.screens.empty()) {
        remove(request.name, request.number);
    }
    for (std::size_t i = 0; i < request.screens.size(); ++i) {
        remove(request.screens[i].path, request.numbers[i]);
    }
}

// Our names below the newest the desktop took: none of them is shown, and
// those above it are still on their way.
void LinuxDesktop::RemoveBelow(unsigned long long number) {
    const auto shown = desktop_->CurrentPicture();
    std::error_code ec;
    for (fs::directory_iterator it(folder_, ec), end; !ec && it != end; it.increment(ec)) {
        const auto own = ShownNumber(it->path());
        if (own && *own < number && !(shown && fs::path(*shown) == it->path())) {
            std::error_code ignored;
            fs::remove(it->path(), ignored);
        }
    }
}

}  // namespace qm
