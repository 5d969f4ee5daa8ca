// root-setter PHOTO.jpg OUT_DIR [RUNS]
// Times one wallpaper conversion against a click's whole road on a bare X
// root window: the conversion, then the root-window desktop until the new
// pixmap is announced in _XROOTPMAP_ID (seen from a connection of our
// own). Each round runs both, paired, for centred, tiled, stretched, filled
// and fitted; medians are printed, what the setter adds (their difference)
// and the BMP's size. Filled and fitted pictures are converted as the
// program converts them, only as large as the monitors in
// QM_BENCH_MONITORS ("WxH+X+Y,...") need. As a
// loaded machine stretches wall times, the setter's processor time is
// printed too: ours, and the X server's when QM_BENCH_SERVER_PID names it.
// With two or more monitors a second table times a picture per monitor:
// each monitor's conversion (filled and fitted as large as that monitor
// needs; side by side, as the program converts a set) and the root
// drawing each on its monitor, against two
// conversions of the first table's kind, with the processor time of the
// root's part (ours, and the server's).
// Runs on the display in DISPLAY; bench/root-setter.sh starts one.
#include <xcb/xcb.h>

#include <QCoreApplication>
#include <QEventLoop>

#include <ctime>
#include <fstream>
#include <sstream>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "imaging/composed_bmp.h"
#include "imaging/wallpaper_bmp.h"
#include "platform/desktops/root_window_desktop.h"
#include "platform/headless/headless_platform.h"

namespace {

using Clock = std::chrono::steady_clock;

double Milliseconds(Clock::time_point from) {
    return std::chrono::duration<double, std::milli>(Clock::now() - from).count();
}

double OurCpu() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

// User and system time of another process, from /proc; 0 when unknown.
double TheirCpu(const char* pid) {
    if (pid == nullptr) {
        return 0;
    }
    std::ifstream file(std::string("/proc/") + pid + "/stat");
    std::string line;
    std::getline(file, line);
    const std::size_t end = line.rfind(')');
    if (end == std::string::npos) {
        return 0;
    }
    std::istringstream fields(line.substr(end + 2));
    std::string field;
    double ticks = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i) {
        if (i == 14 || i == 15) {
            ticks += std::stod(field);
        }
    }
    return ticks * 1e3 / static_cast<double>(sysconf(_SC_CLK_TCK));
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// Watches the root window for _XROOTPMAP_ID being written.
class Announcements {
public:
    Announcements() {
        c_ = xcb_connect(nullptr, nullptr);
        if (xcb_connection_has_error(c_) != 0) {
            return;
        }
        root_ = xcb_setup_roots_iterator(xcb_get_setup(c_)).data->root;
        const char name[] = "_XROOTPMAP_ID";
        auto* reply = xcb_intern_atom_reply(
            c_, xcb_intern_atom(c_, 0, sizeof name - 1, name), nullptr);
        atom_ = reply != nullptr ? reply->atom : 0;
        std::free(reply);
        const std::uint32_t events = XCB_EVENT_MASK_PROPERTY_CHANGE;
        xcb_change_window_attributes(c_, root_, XCB_CW_EVENT_MASK, &events);
        std::free(xcb_get_input_focus_reply(c_, xcb_get_input_focus(c_), nullptr));
    }
    ~Announcements() { xcb_disconnect(c_); }
    bool Usable() const { return xcb_connection_has_error(c_) == 0 && atom_ != 0; }

    // Waits for the next change of _XROOTPMAP_ID; false when the
    // connection ended first.
    bool Next() {
        while (xcb_generic_event_t* event = xcb_wait_for_event(c_)) {
            const bool ours = (event->response_type & 0x7f) == XCB_PROPERTY_NOTIFY &&
                              reinterpret_cast<xcb_property_notify_event_t*>(event)->atom == atom_;
            std::free(event);
            if (ours) {
                return true;
            }
        }
        return false;
    }

private:
    xcb_connection_t* c_ = nullptr;
    xcb_window_t root_ = 0;
    xcb_atom_t atom_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: root-setter PHOTO.jpg OUT_DIR [RUNS]\n");
        return 2;
    }
    QCoreApplication app(argc, argv);
    qm::HeadlessPlatform platform;
    qm::SetCurrentPlatform(&platform.parts);
    const std::string jpeg = argv[1], dir = argv[2];
    const int runs = argc > 3 ? std::max(1, std::atoi(argv[3])) : 7;
    Announcements announcements;
    if (!announcements.Usable()) {
        std::fprintf(stderr, "root-setter: no X display\n");
        return 1;
    }
    qm::desktops::RootWindowDesktop desktop;
    const struct {
        const char* name;
        qm::desktops::Layout layout;
        qm::Placement placement;
    } layouts[] = {{"centre", qm::desktops::Layout::Centred, qm::Placement::AsItIs},
                   {"tile", qm::desktops::Layout::Tiled, qm::Placement::Tiled},
                   {"stretch", qm::desktops::Layout::Stretched, qm::Placement::Stretched},
                   {"fill", qm::desktops::Layout::Filled, qm::Placement::Filled},
                   {"fit", qm::desktops::Layout::Fitted, qm::Placement::Fitted}};
    std::vector<double> oneConversion;  // per layout, for the second table
    std::vector<qm::MonitorRect> monitors;
    if (const char* list = std::getenv("QM_BENCH_MONITORS")) {
        std::istringstream in(list);
        std::string one;
        while (std::getline(in, one, ',')) {
            qm::MonitorRect m;
            if (std::sscanf(one.c_str(), "%dx%d+%d+%d", &m.width, &m.height, &m.x, &m.y) == 4) {
                monitors.push_back(m);
            }
        }
    }

    const char* server = std::getenv("QM_BENCH_SERVER_PID");
    std::printf("%-8s %11s %16s %13s %6s %12s %14s %8s\n", "layout", "convert_ms",
                "convert+root_ms", "root_adds_ms", "ratio", "root_cpu_ms", "server_cpu_ms",
                "bmp_kb");
    for (const auto& layout : layouts) {
        const bool scaled = layout.layout == qm::desktops::Layout::Filled ||
                            layout.layout == qm::desktops::Layout::Fitted;
        const qm::ScaleGoal goal{layout.layout == qm::desktops::Layout::Filled, monitors};
        long bmpBytes = 0;
        std::vector<double> alone, whole, added, ours, theirs;
        for (int run = 0; run < runs; ++run) {
            // The order alternates so that drift in machine load hits both.
            double convert = 0, click = 0;
            for (int k = 0; k < 2; ++k) {
                const bool withRoot = (run + k) % 2 == 1;
                const std::string bmp = dir + (withRoot ? "/root.bmp" : "/alone.bmp");
                const auto start = Clock::now();
                if (!qm::ConvertJpegToBmp(jpeg, bmp, scaled ? &goal : nullptr)) {
                    std::fprintf(stderr, "root-setter: the conversion failed\n");
                    return 1;
                }
                if (!withRoot) {
                    convert = Milliseconds(start);
                    std::ifstream size(bmp, std::ios::binary | std::ios::ate);
                    bmpBytes = static_cast<long>(size.tellg());
                    continue;
                }
                const double cpu = OurCpu(), serverCpu = TheirCpu(server);
                bool answered = false, shown = false;
                std::string why;
                desktop.Apply(bmp, layout.layout, [&](bool ok, const std::string& words) {
                    answered = true;
                    shown = ok;
                    why = words;
                });
                if (!announcements.Next()) {
                    std::fprintf(stderr, "root-setter: the X connection ended\n");
                    return 1;
                }
                click = Milliseconds(start);
                ours.push_back(OurCpu() - cpu);
                theirs.push_back(TheirCpu(server) - serverCpu);
                while (!answered) {
                    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
                }
                if (!shown) {
                    std::fprintf(stderr, "root-setter: refused: %s\n", why.c_str());
                    return 1;
                }
            }
            alone.push_back(convert);
            whole.push_back(click);
            added.push_back(click - convert);
        }
        const double a = Median(alone), w = Median(whole);
        oneConversion.push_back(a);
        std::printf("%-8s %11.1f %16.1f %13.1f %6.3f %12.1f %14.0f %8ld\n", layout.name, a, w,
                    Median(added), w / a, Median(ours), Median(theirs), bmpBytes / 1024);
    }
    if (monitors.size() < 2) {
        qm::SetCurrentPlatform(nullptr);
        return 0;
    }
    std::printf("\n%-8s %17s %18s %6s %12s %14s %8s\n", "each", "two_converts_ms", "each+root_ms",
                "ratio", "root_cpu_ms", "server_cpu_ms", "bmp_kb");
    for (std::size_t l = 0; l < std::size(layouts); ++l) {
        const auto& layout = layouts[l];
        // As the program converts for a desktop that shows a picture on
        // each monitor: filled and fitted only as large as that monitor
        // needs, the others whole.
        const bool scaled = layout.placement == qm::Placement::Filled ||
                            layout.placement == qm::Placement::Fitted;
        std::vector<double> whole, ours, theirs;
        long bmpBytes = 0;
        for (int run = 0; run < runs; ++run) {
            const auto start = Clock::now();
            std::vector<qm::Conversion> conversions;
            for (std::size_t m = 0; m < monitors.size(); ++m) {
                qm::Conversion c{jpeg, dir + "/monitor" + std::to_string(m) + ".bmp", std::nullopt};
                if (scaled) {
                    c.goal = qm::ScaleGoal{layout.placement != qm::Placement::Fitted, {monitors[m]}};
                }
                conversions.push_back(std::move(c));
            }
            qm::ConvertAll(conversions);  // side by side, as the program converts a set
            std::vector<qm::desktops::ScreenPicture> pictures;
            for (std::size_t m = 0; m < monitors.size(); ++m) {
                if (!conversions[m].written) {
                    std::fprintf(stderr, "root-setter: the conversion failed\n");
                    return 1;
                }
                const qm::MonitorRect& r = monitors[m];
                pictures.push_back({"", r.x, r.y, r.width, r.height, conversions[m].bmpPath, r.x, r.y,
                                    r.width, r.height});
            }
            bool answered = false;
            const double cpu = OurCpu(), serverCpu = TheirCpu(server);
            desktop.ApplyEach(pictures, layout.layout, [&](bool, const std::string&) { answered = true; });
            if (!announcements.Next()) {
                std::fprintf(stderr, "root-setter: the X connection ended\n");
                return 1;
            }
            whole.push_back(Milliseconds(start));
            ours.push_back(OurCpu() - cpu);
            theirs.push_back(TheirCpu(server) - serverCpu);
            while (!answered) {
                QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
            }
            bmpBytes = 0;
            for (const auto& picture : pictures) {
                std::ifstream size(picture.path, std::ios::binary | std::ios::ate);
                bmpBytes += static_cast<long>(size.tellg());
            }
        }
        const double two = 2 * oneConversion[l], w = Median(whole);
        std::printf("%-8s %17.1f %18.1f %6.3f %12.1f %14.0f %8ld\n", layout.name, two, w, w / two,
                    Median(ours), Median(theirs), bmpBytes / 1024);
    }
    qm::SetCurrentPlatform(nullptr);
    return 0;
}
