#include "platform/desktops/root_window_desktop.h"

#include <QFile>
#include <QImage>

#include "platform/desktops/desktop_support.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

namespace qm::desktops {

namespace {

// Our own record beside the conventional ids: the pixmap it describes, the
// layout, and (in a property of its own) the picture's path.
constexpr const char* kRecordLayout = "_QUILLMERE_WALLPAPER_LAYOUT";
constexpr const char* kRecordPath = "_QUILLMERE_WALLPAPER";

struct CloseDisplay {
    void operator()(Display* display) const { XCloseDisplay(display); }
};
using DisplayPtr = std::unique_ptr<Display, CloseDisplay>;

// Xlib's own handler ends the program on any protocol error; while a trap
// is set, errors are counted instead. One thread uses Xlib here.
class ErrorTrap {
public:
    explicit ErrorTrap(Display* display) : display_(display) {
        XSync(display_, False);
        first_ = 0;
        previous_ = XSetErrorHandler(&Record);
    }
    ~ErrorTrap() {
        XSync(display_, False);
        XSetErrorHandler(previous_);
    }
    ErrorTrap(const ErrorTrap&) = delete;
    ErrorTrap& operator=(const ErrorTrap&) = delete;

    // The first error since the last call, once the server has answered
    // every request; empty when there was none.
    std::string Take() {
        XSync(display_, False);
        if (first_ == 0) {
            return {};
        }
        char text[256];
        XGetErrorText(display_, first_, text, sizeof text);
        first_ = 0;
        return std::string("The X server refused the background: ") + text + ".";
    }

private:
    static int Record(Display*, XErrorEvent* event) {
        if (first_ == 0) {
            first_ = event->error_code;
        }
        return 0;
    }
    static inline int first_ = 0;
    Display* display_;
    XErrorHandler previous_ = nullptr;
};

Atom Intern(Display* display, const char* name) { return XInternAtom(display, name, False); }

// A property of 32-bit items on the root window; empty when missing or of
// another type or size.
std::vector<unsigned long> Items(Display* display, const char* name, Atom type,
                                 unsigned long count) {
    Atom actualType = None;
    int format = 0;
    unsigned long items = 0, after = 0;
    unsigned char* data = nullptr;
    std::vector<unsigned long> result;
    if (XGetWindowProperty(display, DefaultRootWindow(display), Intern(display, name), 0,
                           static_cast<long>(count), False, type, &actualType, &format, &items,
                           &after, &data) == Success &&
        actualType == type && format == 32 && items == count) {
        // Xlib hands 32-bit items over as longs.
        const auto* values = reinterpret_cast<const unsigned long*>(data);
        result.assign(values, values + count);
    }
    if (data != nullptr) {
        XFree(data);
    }
    return result;
}

void SetItems(Display* display, const char* name, Atom type,
              const std::vector<unsigned long>& values) {
    XChangeProperty(display, DefaultRootWindow(display), Intern(display, name), type, 32,
                    PropModeReplace, reinterpret_cast<const unsigned char*>(values.data()),
                    static_cast<int>(values.size()));
}

// The screen's picture: centred on black (cut when larger than the
// screen), tiled from the top left corner, or stretched to the screen.
QImage Compose(const QImage& picture, int width, int height, Layout layout) {
    if (layout == Layout::Stretched) {
        return picture.scaled(width, height, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
            .convertToFormat(QImage::Format_RGB32);
    }
    const QImage source = picture.convertToFormat(QImage::Format_RGB32);
    QImage screen(width, height, QImage::Format_RGB32);
    screen.fill(Qt::black);
    const int w = source.width(), h = source.height();
    const int left = (width - w) / 2, top = (height - h) / 2;
    for (int y = 0; y < height; ++y) {
        auto* out = reinterpret_cast<QRgb*>(screen.scanLine(y));
        if (layout == Layout::Tiled) {
            const auto* in = reinterpret_cast<const QRgb*>(source.constScanLine(y % h));
            for (int x = 0; x < width; ++x) {
                out[x] = in[x % w];
            }
        } else if (y - top >= 0 && y - top < h) {
            const auto* in = reinterpret_cast<const QRgb*>(source.constScanLine(y - top));
            for (int x = std::max(0, left); x < std::min(width, left + w); ++x) {
                out[x] = in[x - left];
            }
        }
    }
    return screen;
}

// One 8-bit channel placed under a true-colour visual's mask.
unsigned long Channel(int value, unsigned long mask) {
    if (mask == 0) {
        return 0;
    }
    int shift = 0;
    while (((mask >> shift) & 1) == 0) {
        ++shift;
    }
    const unsigned long top = mask >> shift;
    return ((static_cast<unsigned long>(value) * top + 127) / 255) << shift;
}

// Draws the screen's picture into a new pixmap; None when the visual is not
// true-colour (the pixel values would need a colormap).
Pixmap MakePixmap(Display* display, const QImage& screen) {
    const int number = DefaultScreen(display);
    Visual* visual = DefaultVisual(display, number);
    if (visual->c_class != TrueColor && visual->c_class != DirectColor) {
        return None;
    }
    const int depth = DefaultDepth(display, number);
    const int width = screen.width(), height = screen.height();
    XImage* image =
        XCreateImage(display, visual, static_cast<unsigned>(depth), ZPixmap, 0, nullptr,
                     static_cast<unsigned>(width), static_cast<unsigned>(height), 32, 0);
    if (image == nullptr) {
        return None;
    }
    // XDestroyImage frees the data with free().
    image->data = static_cast<char*>(
        std::malloc(static_cast<std::size_t>(image->bytes_per_line) * static_cast<std::size_t>(height)));
    if (image->data == nullptr) {
        XDestroyImage(image);
        return None;
    }
    // Nearly every server's pixels are Qt's 0xffRRGGBB words as they are.
    const bool sameWords = image->bits_per_pixel == 32 && image->byte_order == LSBFirst &&
                           Q_BYTE_ORDER == Q_LITTLE_ENDIAN && visual->red_mask == 0xff0000 &&
                           visual->green_mask == 0xff00 && visual->blue_mask == 0xff;
    for (int y = 0; y < height; ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(screen.constScanLine(y));
        if (sameWords) {
            std::memcpy(image->data + static_cast<std::ptrdiff_t>(y) * image->bytes_per_line, row,
                        static_cast<std::size_t>(width) * 4);
            continue;
        }
        for (int x = 0; x < width; ++x) {
            XPutPixel(image, x, y,
                      Channel(qRed(row[x]), visual->red_mask) |
                          Channel(qGreen(row[x]), visual->green_mask) |
                          Channel(qBlue(row[x]), visual->blue_mask));
        }
    }
    const Window root = RootWindow(display, number);
    const Pixmap pixmap = XCreatePixmap(display, root, static_cast<unsigned>(width),
                                        static_cast<unsigned>(height), static_cast<unsigned>(depth));
    GC gc = XCreateGC(display, pixmap, 0, nullptr);
    XPutImage(display, pixmap, gc, image, 0, 0, 0, 0, static_cast<unsigned>(width),
              static_cast<unsigned>(height));
    XFreeGC(display, gc);
    XDestroyImage(image);
    return pixmap;
}

struct Record {
    std::string path;
    Layout layout;
};

// Our record, when the root window still shows the pixmap it describes.
std::optional<Record> OwnRecord() {
    DisplayPtr display(XOpenDisplay(nullptr));
    if (!display) {
        return std::nullopt;
    }
    Display* d = display.get();
    const auto shown = Items(d, "_XROOTPMAP_ID", XA_PIXMAP, 1);
    const auto layout = Items(d, kRecordLayout, XA_CARDINAL, 2);
    if (shown.empty() || layout.empty() || layout[0] != shown[0] || layout[1] > 2) {
        return std::nullopt;
    }
    Atom type = None;
    int format = 0;
    unsigned long length = 0, after = 0;
    unsigned char* data = nullptr;
    std::optional<Record> record;
    if (XGetWindowProperty(d, DefaultRootWindow(d), Intern(d, kRecordPath), 0, 4096, False,
                           XA_STRING, &type, &format, &length, &after, &data) == Success &&
        type == XA_STRING && format == 8 && after == 0 && length > 0) {
        record = Record{std::string(reinterpret_cast<const char*>(data), length),
                        static_cast<Layout>(layout[1])};
    }
    if (data != nullptr) {
        XFree(data);
    }
    return record;
}

}  // namespace

void RootWindowDesktop::Apply(const std::string& path, Layout layout, Answer answer) {
    // The X server answers at once: only the answer waits for the loop.
    std::string why;
    const bool shown = Set(path, layout, why);
    AnswerLater(&context_, std::move(answer), shown, std::move(why));
}

bool RootWindowDesktop::Set(const std::string& path, Layout layout, std::string& why) {
    // Xwayland has a root window, but the compositor never shows it.
    const char* session = std::getenv("XDG_SESSION_TYPE");
    if (session != nullptr && std::strcmp(session, "wayland") == 0) {
        why = "This Wayland session's desktop is not one this program can set.";
        return false;
    }
    const QImage picture(QFile::decodeName(path.c_str()));
    if (picture.isNull()) {
        why = "The picture cannot be read: " + path;
        return false;
    }
    DisplayPtr display(XOpenDisplay(nullptr));
    if (!display) {
        why = std::string("There is no X display \"") + XDisplayName(nullptr) + "\".";
        return false;
    }
    Display* d = display.get();
    ErrorTrap trap(d);
    const Pixmap pixmap = MakePixmap(
        d, Compose(picture, DisplayWidth(d, DefaultScreen(d)), DisplayHeight(d, DefaultScreen(d)),
                   layout));
    if (pixmap == None) {
        why = "The X display is not a true-colour one.";
        return false;
    }
    why = trap.Take();
    if (!why.empty()) {
        XFreePixmap(d, pixmap);
        return false;
    }

    const auto previous = Items(d, "ESETROOT_PMAP_ID", XA_PIXMAP, 1);
    const auto shown = Items(d, "_XROOTPMAP_ID", XA_PIXMAP, 1);
    const Window root = DefaultRootWindow(d);
    XSetWindowBackgroundPixmap(d, root, pixmap);
    XClearWindow(d, root);
    SetItems(d, "_XROOTPMAP_ID", XA_PIXMAP, {pixmap});
    SetItems(d, "ESETROOT_PMAP_ID", XA_PIXMAP, {pixmap});
    SetItems(d, kRecordLayout, XA_CARDINAL, {pixmap, static_cast<unsigned long>(layout)});
    XChangeProperty(d, root, Intern(d, kRecordPath), XA_STRING, 8, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(path.data()),
                    static_cast<int>(path.size()));
    why = trap.Take();
    if (!why.empty()) {
        return false;
    }
    // The previous setter's pixmap lives on in its retained client: ending
    // that client frees it. Only when the root window still showed it, so
    // no live program loses a pixmap it uses.
    if (!previous.empty() && (shown.empty() || shown[0] == previous[0])) {
        XKillClient(d, previous[0]);
        trap.Take();  // a client already gone is no failure
    }
    // The pixmap must outlive this connection.
    XSetCloseDownMode(d, RetainPermanent);
    return true;
}

std::optional<std::string> RootWindowDesktop::CurrentPicture() {
    const auto record = OwnRecord();
    return record ? std::optional<std::string>(record->path) : std::nullopt;
}

std::optional<Layout> RootWindowDesktop::CurrentLayout() {
    const auto record = OwnRecord();
    return record ? std::optional<Layout>(record->layout) : std::nullopt;
}

}  // namespace qm::desktops
