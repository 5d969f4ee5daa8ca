// The bare X11 root window on the test's own Xvfb display: the pixels the
// root window shows, the conventional properties, and the server's
// resources over repeated settings (counted with the X-Resource extension).
#include <gtest/gtest.h>

// Qt's headers before Xlib's, whose macros (Bool, Status) they refuse.
#include "platform/desktops/root_window_desktop.h"
#include "tests/desktops/session_tools.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XRes.h>

#include <cstdlib>
#include <functional>

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

    // Under Wayland an X root window may exist but is never seen.
    setenv("XDG_SESSION_TYPE", "wayland", 1);
    why.clear();
    EXPECT_FALSE(test::ApplyAndWait(desktop_, Picture("small.bmp", 50, 30, Coded), Layout::Tiled, why));
    EXPECT_NE(why.find("Wayland"), std::string::npos) << why;
    unsetenv("XDG_SESSION_TYPE");
}

}  // namespace
}  // namespace qm::desktops
