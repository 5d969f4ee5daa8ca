// The bare X11 root window on the test's own Xvfb display: the pixels the
// root window shows, the conventional properties, and the server's
// resources over repeated settings (counted with the X-Resource extension).
// Several monitors come from an Xephyr of two screens joined by Xinerama,
// nested in that Xvfb; several screens from an Xvfb of two.
#include <gtest/gtest.h>

// Qt's headers before Xlib's, whose macros (Bool, Status) they refuse.
#include "platform/desktops/root_window_desktop.h"
#include "tests/desktops/session_tools.h"

#include <QImage>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XRes.h>
#include <xcb/xcb.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <optional>
#include <vector>

#include "tests/support/temp_dir.h"

namespace qm::desktops {
namespace {

int errors = 0;
int CountError(Display*, XErrorEvent*) {
    ++errors;
    return 0;
}

class RootWindow : public ::testing::Test {
protected:
    void SetUp() override {
        display_ = XOpenDisplay(nullptr);
        ASSERT_NE(display_, nullptr) << "the test needs its own X display";
        width_ = DisplayWidth(display_, DefaultScreen(display_));
        height_ = DisplayHeight(display_, DefaultScreen(display_));
    }
    void TearDown() override {
        if (display_ != nullptr) {
            XCloseDisplay(display_);
        }
    }

    std::string Picture(const std::string& name, int w, int h,
                        const std::function<std::uint32_t(int, int)>& pixel) {
        return dir_.write(name, test::Bmp(w, h, pixel));
    }

    // Checks the root window's pixels against expected(x, y) (0xRRGGBB),
    // every pixel or only those `where` picks. A channel of fewer than 8 bits
    // (a 16-bit screen) may be off by half its step.
    void ExpectScreen(const std::function<std::uint32_t(int, int)>& expected,
                      const std::function<bool(int, int)>& where = nullptr) {
        XImage* image = XGetImage(display_, DefaultRootWindow(display_), 0, 0,
                                  static_cast<unsigned>(width_), static_cast<unsigned>(height_),
                                  AllPlanes, ZPixmap);
        ASSERT_NE(image, nullptr);
        const Visual* visual = DefaultVisual(display_, DefaultScreen(display_));
        const unsigned long masks[3] = {visual->red_mask, visual->green_mask, visual->blue_mask};
        int wrong = 0;
        for (int y = 0; y < height_; ++y) {
            for (int x = 0; x < width_; ++x) {
                if (where && !where(x, y)) {
                    continue;
                }
                const unsigned long pixel = XGetPixel(image, x, y);
                const std::uint32_t want = expected(x, y);
                bool same = true;
                for (int c = 0; c < 3; ++c) {
                    int shift = 0;
                    while (((masks[c] >> shift) & 1) == 0) {
                        ++shift;
                    }
                    const unsigned long top = masks[c] >> shift;
                    const long got = static_cast<long>(((pixel & masks[c]) >> shift) * 255 / top);
                    const long wanted = (want >> (16 - 8 * c)) & 0xff;
                    const long tolerance = top >= 255 ? 0 : static_cast<long>(255 / top / 2 + 1);
                    same = same && std::labs(got - wanted) <= tolerance;
                }
                if (!same && ++wrong <= 5) {
                    ADD_FAILURE() << "pixel " << x << "," << y << ": " << std::hex << pixel
                                  << " for " << want;
                }
            }
        }
        XDestroyImage(image);
        EXPECT_EQ(wrong, 0);
    }

    unsigned long Property(const char* name) {
        Atom type = None;
        int format = 0;
        unsigned long items = 0, after = 0;
        unsigned char* data = nullptr;
        unsigned long value = 0;
        if (XGetWindowProperty(display_, DefaultRootWindow(display_),
                               XInternAtom(display_, name, False), 0, 1, False, XA_PIXMAP, &type,
                               &format, &items, &after, &data) == Success &&
            items == 1) {
            value = *reinterpret_cast<unsigned long*>(data);
        }
        if (data != nullptr) {
            XFree(data);
        }
        return value;
    }

    bool PixmapExists(unsigned long pixmap) {
        XSync(display_, False);
        errors = 0;
        XErrorHandler previous = XSetErrorHandler(&CountError);
        Window root;
        int x, y;
        unsigned w, h, border, depth;
        XGetGeometry(display_, pixmap, &root, &x, &y, &w, &h, &border, &depth);
        XSync(display_, False);
        XSetErrorHandler(previous);
        return errors == 0;
    }

    // The X server's clients and the pixmaps they hold, all together.
    std::pair<int, long> ClientsAndPixmaps() {
        int count = 0;
        XResClient* clients = nullptr;
        XResQueryClients(display_, &count, &clients);
        const Atom pixmapType = XInternAtom(display_, "PIXMAP", False);
        long pixmaps = 0;
        for (int i = 0; i < count; ++i) {
            int types = 0;
            XResType* counts = nullptr;
            XResQueryClientResources(display_, clients[i].resource_base, &types, &counts);
            for (int t = 0; t < types; ++t) {
                if (counts[t].resource_type == pixmapType) {
                    pixmaps += counts[t].count;
                }
            }
            XFree(counts);
        }
        XFree(clients);
        return {count, pixmaps};
    }

    // The resources of the client holding `id`, by type, those it has any of.
    std::map<std::string, int> ResourcesOf(unsigned long id) {
        std::map<std::string, int> held;
        int types = 0;
        XResType* counts = nullptr;
        if (XResQueryClientResources(display_, id, &types, &counts) == 0) {
            return held;
        }
        for (int t = 0; t < types; ++t) {
            if (counts[t].count > 0) {
                char* name = XGetAtomName(display_, counts[t].resource_type);
                held[name] = static_cast<int>(counts[t].count);
                XFree(name);
            }
        }
        XFree(counts);
        return held;
    }

    void Apply(const std::string& path, Layout layout) {
        std::string why;
        ASSERT_TRUE(test::ApplyAndWait(desktop_, path, layout, why)) << why;
    }

    test::TempDir dir_;
    Display* display_ = nullptr;
    int width_ = 0, height_ = 0;
    RootWindowDesktop desktop_;
};

// Each pixel of these pictures tells where it came from.
std::uint32_t Coded(int x, int y) {
    return static_cast<std::uint32_t>((x & 0xff) << 16 | (y & 0xff) << 8 | 0x40);
}

TEST_F(RootWindow, CentredTiledAndStretchedPixels) {
    const std::string small = Picture("small.bmp", 50, 30, Coded);
    const int left = (width_ - 50) / 2, top = (height_ - 30) / 2;

    Apply(small, Layout::Centred);
    ExpectScreen([&](int x, int y) {
        const bool inside = x >= left && x < left + 50 && y >= top && y < top + 30;
        return inside ? Coded(x - left, y - top) : 0u;
    });
    EXPECT_EQ(desktop_.CurrentPicture(), small);
    EXPECT_EQ(desktop_.CurrentLayout(), Layout::Centred);

    Apply(small, Layout::Tiled);
    ExpectScreen([](int x, int y) { return Coded(x % 50, y % 30); });
    EXPECT_EQ(desktop_.CurrentLayout(), Layout::Tiled);

    // A picture larger than the screen, centred: its middle.
    const std::string large = Picture("large.bmp", width_ + 40, height_ + 30, Coded);
    Apply(large, Layout::Centred);
    ExpectScreen([](int x, int y) { return Coded(x + 20, y + 15); });
    EXPECT_EQ(desktop_.CurrentPicture(), large);

    // Four flat quarters, stretched: the screen's quarters have their colours.
    const std::uint32_t quarters[2][2] = {{0xff0000, 0x00ff00}, {0x0000ff, 0xffff00}};
    const std::string four =
        Picture("four.bmp", 20, 10, [&](int x, int y) { return quarters[y / 5][x / 10]; });
    Apply(four, Layout::Stretched);
    ExpectScreen([&](int x, int y) { return quarters[2 * y / height_][2 * x / width_]; },
                 [&](int x, int y) {  // the middle of each quarter, away from the blend
                     return std::abs(x % (width_ / 2) - width_ / 4) < width_ / 8 &&
                            std::abs(y % (height_ / 2) - height_ / 4) < height_ / 8;
                 });
    EXPECT_EQ(desktop_.CurrentLayout(), Layout::Stretched);
}

TEST_F(RootWindow, EachSettingFreesThePreviousPixmap) {
    const std::string picture = Picture("small.bmp", 50, 30, Coded);
    Apply(picture, Layout::Tiled);
    const unsigned long first = Property("_XROOTPMAP_ID");
    ASSERT_NE(first, 0u);
    EXPECT_EQ(Property("ESETROOT_PMAP_ID"), first);
    const auto before = ClientsAndPixmaps();

    Apply(picture, Layout::Centred);
    // Checked at once: the server gives a freed client's ids to the next.
    EXPECT_FALSE(PixmapExists(first));
    EXPECT_TRUE(PixmapExists(Property("_XROOTPMAP_ID")));
    EXPECT_EQ(Property("ESETROOT_PMAP_ID"), Property("_XROOTPMAP_ID"));
    for (Layout layout : {Layout::Stretched, Layout::Tiled, Layout::Centred, Layout::Tiled}) {
        Apply(picture, layout);
    }
    EXPECT_EQ(ClientsAndPixmaps(), before);
    // What stays behind in the server is the one pixmap: not the shared
    // memory the picture went through (a screen's worth), nor anything else.
    const std::map<std::string, int> pixmapAlone = {{"PIXMAP", 1}};
    EXPECT_EQ(ResourcesOf(Property("_XROOTPMAP_ID")), pixmapAlone);
}

TEST_F(RootWindow, NothingIsClaimedOnceAnotherProgramSetTheRoot) {
    const std::string picture = Picture("small.bmp", 50, 30, Coded);
    Apply(picture, Layout::Tiled);
    // Another setter publishes its own pixmap.
    const Pixmap other = XCreatePixmap(display_, DefaultRootWindow(display_), 4, 4,
                                       static_cast<unsigned>(DefaultDepth(display_, 0)));
    XChangeProperty(display_, DefaultRootWindow(display_),
                    XInternAtom(display_, "_XROOTPMAP_ID", False), XA_PIXMAP, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(&other), 1);
    XSync(display_, False);
    EXPECT_EQ(desktop_.CurrentPicture(), std::nullopt);
    EXPECT_EQ(desktop_.CurrentLayout(), std::nullopt);
    XFreePixmap(display_, other);
}

TEST_F(RootWindow, NoDisplayNoPictureOrWaylandIsRefused) {
    std::string why;
    EXPECT_FALSE(test::ApplyAndWait(desktop_, dir_.write("bad.bmp", "not a picture"), Layout::Tiled, why));
    EXPECT_NE(why.find("bad.bmp"), std::string::npos) << why;

    const std::string display = std::getenv("DISPLAY");
    unsetenv("DISPLAY");
    why.clear();
    EXPECT_FALSE(test::ApplyAndWait(desktop_, Picture("small.bmp", 50, 30, Coded), Layout::Tiled, why));
    EXPECT_NE(why.find("X display"), std::string::npos) << why;
    EXPECT_EQ(desktop_.CurrentPicture(), std::nullopt);
    setenv("DISPLAY", display.c_str(), 1);

    // Under Wayland an X root window may exist but is never seen, also in a
    // session started from a text console.
    EXPECT_EQ(ChooseDesktop("", false, "wayland", ""), DesktopKind::UnseenRootWindow);
    EXPECT_EQ(ChooseDesktop("", false, "tty", "wayland-0"), DesktopKind::UnseenRootWindow);
    EXPECT_EQ(ChooseDesktop("GNOME", false, "tty", "wayland-0"), DesktopKind::Gnome);
    EXPECT_EQ(ChooseDesktop("", false, "x11", ""), DesktopKind::RootWindow);
    // sway names itself by its socket, before any rule for unknown Wayland.
    EXPECT_EQ(ChooseDesktop("", true, "wayland", "wayland-1"), DesktopKind::Sway);
    const unsigned long before = Property("_XROOTPMAP_ID");
    why.clear();
    EXPECT_FALSE(test::ApplyAndWait(*MakeDesktop(DesktopKind::UnseenRootWindow),
                                    Picture("small.bmp", 50, 30, Coded), Layout::Tiled, why));
    EXPECT_NE(why.find("Wayland"), std::string::npos) << why;
    EXPECT_EQ(Property("_XROOTPMAP_ID"), before);
}

// Another program that published its own pixmap, and is still running or
// has freed it since, keeps its connection: only a client that holds no
// windows and whose pixmap still exists is ended.
TEST_F(RootWindow, ALiveProgramsPublishedPixmapLeavesItRunning) {
    xcb_connection_t* live = xcb_connect(nullptr, nullptr);
    ASSERT_EQ(xcb_connection_has_error(live), 0);
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(live)).data;
    auto alive = [&] {
        std::free(xcb_get_input_focus_reply(live, xcb_get_input_focus(live), nullptr));
        return xcb_connection_has_error(live) == 0;
    };
    auto publish = [&](xcb_pixmap_t pixmap) {
        for (const char* name : {"_XROOTPMAP_ID", "ESETROOT_PMAP_ID"}) {
            xcb_change_property(live, XCB_PROP_MODE_REPLACE, screen->root,
                                static_cast<xcb_atom_t>(XInternAtom(display_, name, False)),
                                XCB_ATOM_PIXMAP, 32, 1, &pixmap);
        }
        ASSERT_TRUE(alive());
    };
    const xcb_window_t window = xcb_generate_id(live);
    xcb_create_window(live, XCB_COPY_FROM_PARENT, window, screen->root, 0, 0, 10, 10, 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, XCB_COPY_FROM_PARENT, 0, nullptr);
    const xcb_pixmap_t pixmap = xcb_generate_id(live);
    xcb_create_pixmap(live, screen->root_depth, pixmap, screen->root, 4, 4);
    publish(pixmap);
    const std::string picture = Picture("small.bmp", 50, 30, Coded);
    Apply(picture, Layout::Tiled);
    EXPECT_TRUE(alive());
    EXPECT_TRUE(PixmapExists(pixmap));

    // A stale id: the pixmap is gone, its client's bits are not a setter's.
    xcb_destroy_window(live, window);
    xcb_free_pixmap(live, pixmap);
    publish(pixmap);
    Apply(picture, Layout::Centred);
    EXPECT_TRUE(alive());
    xcb_disconnect(live);
}

// A desktop program's window (here inside a window manager's frame) covers
// the root: the picture is refused in words naming it, and nothing drawn.
TEST_F(RootWindow, ADesktopProgramsWindowOverTheRootIsRefused) {
    const Window root = DefaultRootWindow(display_);
    const auto w = static_cast<unsigned>(width_), h = static_cast<unsigned>(height_);
    const Window frame = XCreateSimpleWindow(display_, root, 0, 0, w, h, 0, 0, 0);
    const Window desktop = XCreateSimpleWindow(display_, frame, 0, 0, w, h, 0, 0, 0);
    const Atom type = XInternAtom(display_, "_NET_WM_WINDOW_TYPE_DESKTOP", False);
    XChangeProperty(display_, desktop, XInternAtom(display_, "_NET_WM_WINDOW_TYPE", False), XA_ATOM,
                    32, PropModeReplace, reinterpret_cast<const unsigned char*>(&type), 1);
    char instance[] = "desktop-standin", name[] = "DesktopStandin";
    XClassHint hint{instance, name};
    XSetClassHint(display_, desktop, &hint);
    XMapWindow(display_, desktop);
    XMapWindow(display_, frame);
    XSync(display_, False);
    const unsigned long before = Property("_XROOTPMAP_ID");

    const std::string picture = Picture("small.bmp", 50, 30, Coded);
    std::string why;
    EXPECT_FALSE(test::ApplyAndWait(desktop_, picture, Layout::Centred, why));
    EXPECT_NE(why.find("DesktopStandin"), std::string::npos) << why;
    EXPECT_EQ(Property("_XROOTPMAP_ID"), before);

    XUnmapWindow(display_, frame);
    XSync(display_, False);
    Apply(picture, Layout::Centred);
    EXPECT_NE(Property("_XROOTPMAP_ID"), before);
    XDestroyWindow(display_, frame);
    XSync(display_, False);
}

// The tests on an X server of their own, started with `arguments` (which
// end in a null) and made the display in DISPLAY; ended by process id.
class RootWindowOnServer : public RootWindow {
protected:
    void Start(const std::vector<const char*>& arguments) {
        int ends[2];
        ASSERT_EQ(pipe(ends), 0);
        server_ = fork();
        if (server_ == 0) {
            dup2(ends[1], 3);
            execvp(arguments[0], const_cast<char* const*>(arguments.data()));
            _exit(127);
        }
        close(ends[1]);
        char number[16] = {};
        const ssize_t got = read(ends[0], number, sizeof number - 1);
        close(ends[0]);
        ASSERT_GT(got, 0) << arguments[0] << " did not start";
        outer_ = std::getenv("DISPLAY");
        setenv("DISPLAY", (":" + std::string(number, std::strcspn(number, "\n"))).c_str(), 1);
        RootWindow::SetUp();
    }
    void TearDown() override {
        RootWindow::TearDown();
        display_ = nullptr;
        if (server_ > 0) {
            kill(server_, SIGTERM);
            waitpid(server_, nullptr, 0);
        }
        if (!outer_.empty()) {
            setenv("DISPLAY", outer_.c_str(), 1);
        }
    }

    pid_t server_ = -1;
    std::string outer_;
};

// Two monitors of different sizes side by side, as Xinerama reports them:
// a 1920x1080 one and a 960x720 one to its right, on a 2880x1080 root.
// Without shared memory, so that the picture goes in bands of requests.
class RootWindowMonitors : public RootWindowOnServer {
protected:
    void SetUp() override {
        Start({"Xephyr", "-displayfd", "3", "+xinerama", "-screen", "1920x1080", "-screen",
               "960x720", "-nolisten", "tcp", "-noreset", "-extension", "MIT-SHM", nullptr});
    }
};

// A server of two screens, not joined: each has a root window of its own.
class RootWindowScreens : public RootWindowOnServer {
protected:
    void SetUp() override {
        Start({"Xvfb", "-displayfd", "3", "-screen", "0", "160x120x24", "-screen", "1",
               "120x90x24", "-nolisten", "tcp", "-noreset", nullptr});
    }
};

// A live program whose one window is on the second screen published the
// first screen's pixmap: it keeps its connection.
TEST_F(RootWindowScreens, ALiveProgramWithAWindowOnAnotherScreenKeepsRunning) {
    ASSERT_EQ(ScreenCount(display_), 2);
    xcb_connection_t* live = xcb_connect(nullptr, nullptr);
    ASSERT_EQ(xcb_connection_has_error(live), 0);
    auto screens = xcb_setup_roots_iterator(xcb_get_setup(live));
    const xcb_screen_t* first = screens.data;
    xcb_screen_next(&screens);
    const xcb_screen_t* second = screens.data;
    const xcb_window_t window = xcb_generate_id(live);
    xcb_create_window(live, XCB_COPY_FROM_PARENT, window, second->root, 0, 0, 10, 10, 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, XCB_COPY_FROM_PARENT, 0, nullptr);
    const xcb_pixmap_t pixmap = xcb_generate_id(live);
    xcb_create_pixmap(live, first->root_depth, pixmap, first->root, 4, 4);
    for (const char* name : {"_XROOTPMAP_ID", "ESETROOT_PMAP_ID"}) {
        xcb_change_property(live, XCB_PROP_MODE_REPLACE, first->root,
                            static_cast<xcb_atom_t>(XInternAtom(display_, name, False)),
                            XCB_ATOM_PIXMAP, 32, 1, &pixmap);
    }
    std::free(xcb_get_input_focus_reply(live, xcb_get_input_focus(live), nullptr));

    Apply(Picture("small.bmp", 50, 30, Coded), Layout::Centred);
    std::free(xcb_get_input_focus_reply(live, xcb_get_input_focus(live), nullptr));
    EXPECT_EQ(xcb_connection_has_error(live), 0) << "the program lost its connection";
    EXPECT_TRUE(PixmapExists(pixmap));
    xcb_disconnect(live);
}

TEST_F(RootWindowMonitors, EachMonitorCentresAndStretchesTilesRunAcross) {
    ASSERT_EQ(width_, 2880);
    ASSERT_EQ(height_, 1080);
    // Larger than the second monitor: cut at its edges, not drawn over the
    // first one.
    // Below the smaller monitor no screen shows: what is read there is not
    // the root's.
    auto shown = [](int x, int y) { return x < 1920 || y < 720; };
    const std::string picture = Picture("picture.bmp", 1000, 800, Coded);
    Apply(picture, Layout::Centred);
    ExpectScreen(
        [](int x, int y) {
            if (x < 1920) {
                const bool inside = x >= 460 && x < 1460 && y >= 140 && y < 940;
                return inside ? Coded(x - 460, y - 140) : 0u;
            }
            return Coded(x - 1900, y + 40);
        },
        shown);

    Apply(picture, Layout::Tiled);
    ExpectScreen([](int x, int y) { return Coded(x % 1000, y % 800); }, shown);
    // A picture made for both monitors lies across them from the top left,
    // and reads back as none of the layouts a user picks.
    Apply(picture, Layout::Spanned);
    ExpectScreen([](int x, int y) { return Coded(x % 1000, y % 800); }, shown);
    EXPECT_EQ(desktop_.CurrentLayout(), Layout::Centred);

    // Each monitor its own picture, in the one pixmap: tiles run from the
    // monitor's own corner; a place the server lacks gets nothing.
    const std::string other = Picture("other.bmp", 700, 500, [](int x, int y) { return Coded(y, x); });
    const auto each = [&](Layout layout) {
        std::optional<bool> answer;
        desktop_.ApplyEach({{"a", 0, 0, 1, 1, picture, 0, 0, 1920, 1080},
                            {"b", 0, 0, 1, 1, other, 1920, 0, 960, 720},
                            {"c", 0, 0, 1, 1, other, 0, 0, 640, 480}},
                           layout, [&](bool ok, const std::string&) { answer = ok; });
        return test::WaitUntil([&] { return answer.has_value(); }, 30000) && *answer;
    };
    ASSERT_TRUE(each(Layout::Tiled));
    ExpectScreen([](int x, int y) { return x < 1920 ? Coded(x % 1000, y % 800) : Coded(y % 500, (x - 1920) % 700); },
                 shown);
    EXPECT_EQ(desktop_.CurrentPicture(), picture);
    ASSERT_TRUE(each(Layout::Centred));
    ExpectScreen(
        [](int x, int y) {
            if (x >= 1920) {
                const bool inside = x >= 2050 && x < 2750 && y >= 110 && y < 610;
                return inside ? Coded(y - 110, x - 2050) : 0u;
            }
            const bool inside = x >= 460 && x < 1460 && y >= 140 && y < 940;
            return inside ? Coded(x - 460, y - 140) : 0u;
        },
        shown);

    const std::uint32_t quarters[2][2] = {{0xff0000, 0x00ff00}, {0x0000ff, 0xffff00}};
    const std::string four =
        Picture("four.bmp", 20, 10, [&](int x, int y) { return quarters[y / 5][x / 10]; });
    Apply(four, Layout::Stretched);
    const int monitors[2][4] = {{0, 0, 1920, 1080}, {1920, 0, 960, 720}};
    for (const auto& m : monitors) {
        ExpectScreen(
            [&](int x, int y) { return quarters[2 * (y - m[1]) / m[3]][2 * (x - m[0]) / m[2]]; },
            [&](int x, int y) {  // the middle of each quarter, away from the blend
                const int u = x - m[0], v = y - m[1];
                return u >= 0 && u < m[2] && v >= 0 && v < m[3] &&
                       std::abs(u % (m[2] / 2) - m[2] / 4) < m[2] / 8 &&
                       std::abs(v % (m[3] / 2) - m[3] / 4) < m[3] / 8;
            });
    }
}

// Filled and fitted on each monitor, against a reference made apart from
// the program: ImageMagick's own resample of the picture to the size the
// monitor shows it at, cropped or padded with black around its centre.
// A smooth photo-like picture with a checker over it, 2:1, so that a wrong
// crop, a wrong aspect or a wrong place shows in the mean difference.
TEST_F(RootWindowMonitors, FilledAndFittedMatchAResampleMadeApart) {
    const auto photo = [](int x, int y) {
        const std::uint32_t r = static_cast<std::uint32_t>(x * 255 / 599);
        const std::uint32_t g = static_cast<std::uint32_t>(y * 255 / 299);
        const std::uint32_t b = ((x / 37 + y / 23) % 2) * 200 + 20;
        return r << 16 | g << 8 | b;
    };
    const std::string picture = Picture("photo.bmp", 600, 300, photo);
    XImage* image = nullptr;
    const auto channel = [&](int x, int y, int c) {
        const unsigned long pixel = XGetPixel(image, x, y);
        return static_cast<int>((pixel >> (16 - 8 * c)) & 0xff);  // a 24-bit screen
    };
    // monitor x, y, width, height; then, per layout, the size the picture
    // is shown at there.
    const struct {
        int x, y, w, h;
        const char* filled;
        const char* fitted;
    } monitors[] = {{0, 0, 1920, 1080, "2160x1080", "1920x960"},
                    {1920, 0, 960, 720, "1440x720", "960x480"}};
    for (const Layout layout : {Layout::Filled, Layout::Fitted}) {
        SCOPED_TRACE(layout == Layout::Filled ? "filled" : "fitted");
        Apply(picture, layout);
        image = XGetImage(display_, DefaultRootWindow(display_), 0, 0,
                          static_cast<unsigned>(width_), static_cast<unsigned>(height_), AllPlanes,
                          ZPixmap);
        ASSERT_NE(image, nullptr);
        for (const auto& m : monitors) {
            const std::string size = std::to_string(m.w) + "x" + std::to_string(m.h);
            const std::string reference = dir_.file("reference-" + size + ".ppm");
            int status = -1;
            test::RunProgram({"convert", picture, "-filter", "Box", "-resize",
                              std::string(layout == Layout::Filled ? m.filled : m.fitted) + "!",
                              "-background", "black", "-gravity", "center", "-extent", size,
                              reference},
                             &status);
            ASSERT_EQ(status, 0);
            const QImage want(QString::fromStdString(reference));
            ASSERT_EQ(want.size(), QSize(m.w, m.h));
            // The mean difference from the reference, and from the picture
            // stretched to the monitor (the wrong aspect), for scale.
            double off = 0, offStretched = 0;
            for (int y = 0; y < m.h; ++y) {
                for (int x = 0; x < m.w; ++x) {
                    const QRgb w = want.pixel(x, y);
                    const std::uint32_t s = photo(x * 600 / m.w, y * 300 / m.h);
                    const int wanted[3] = {qRed(w), qGreen(w), qBlue(w)};
                    for (int c = 0; c < 3; ++c) {
                        const int got = channel(m.x + x, m.y + y, c);
                        off += std::abs(got - wanted[c]);
                        offStretched += std::abs(got - static_cast<int>((s >> (16 - 8 * c)) & 0xff));
                    }
                }
            }
            const double pixels = 3.0 * m.w * m.h;
            EXPECT_LT(off / pixels, 2.0) << size;
            EXPECT_GT(offStretched / pixels, 10.0) << size << ": no different from stretched";
        }
        XDestroyImage(image);
    }
    EXPECT_EQ(desktop_.CurrentLayout(), Layout::Fitted);
}

// A filled picture far longer than the screen is wide draws only what
// shows: a 4000x1 line fills each monitor in a moment.
TEST_F(RootWindow, AFilledSliverDrawsOnlyWhatShows) {
    const std::string sliver = Picture("sliver.bmp", 4000, 1, [](int x, int) {
        return x < 2000 ? 0x102030u : 0x405060u;
    });
    Apply(sliver, Layout::Filled);
    // The middle of the line, as tall as the screen: its two halves meet in
    // the screen's middle.
    ExpectScreen([&](int x, int) { return x < width_ / 2 ? 0x102030u : 0x405060u; },
                 [&](int x, int) { return std::abs(x - width_ / 2) > 2; });
    EXPECT_EQ(desktop_.CurrentLayout(), Layout::Filled);
}

}  // namespace
}  // namespace qm::desktops
