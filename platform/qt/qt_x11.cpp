#include "platform/qt/qt_x11.h"

#include <cstdlib>
#include <cstring>
#include <vector>

#include <QAbstractNativeEventFilter>
#include <QGuiApplication>

#include <xcb/xcb.h>
#include <xcb/xfixes.h>

namespace qm::x11 {

namespace {

xcb_connection_t* Connection() {
    auto* app = qGuiApp;
    // On any other platform (Wayland) a display, even Xwayland's, is not
    // where the program's windows and tray are.
    if (app == nullptr || QGuiApplication::platformName() != QLatin1String("xcb")) {
        return nullptr;
    }
    auto* x11 = app->nativeInterface<QNativeInterface::QX11Application>();
    return x11 != nullptr ? x11->connection() : nullptr;
}

// The default screen: the number after the display's dot, 0 without one.
int DefaultScreenNumber() {
    const char* display = std::getenv("DISPLAY");
    if (display == nullptr) {
        return 0;
    }
    const char* colon = std::strrchr(display, ':');
    const char* dot = colon != nullptr ? std::strchr(colon, '.') : nullptr;
    return dot != nullptr ? std::atoi(dot + 1) : 0;
}

xcb_screen_t* Screen(xcb_connection_t* c, int number) {
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(c));
    for (int i = 0; it.rem > 0; ++i, xcb_screen_next(&it)) {
        if (i == number) {
            return it.data;
        }
    }
    return nullptr;
}

xcb_atom_t Atom(xcb_connection_t* c, const QByteArray& name) {
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
        c, xcb_intern_atom(c, 0, static_cast<std::uint16_t>(name.size()), name.constData()),
        nullptr);
    if (reply == nullptr) {
        return XCB_ATOM_NONE;
    }
    const xcb_atom_t atom = reply->atom;
    std::free(reply);
    return atom;
}

std::vector<xcb_window_t> Children(xcb_connection_t* c, xcb_window_t window) {
    std::vector<xcb_window_t> out;
    xcb_query_tree_reply_t* reply = xcb_query_tree_reply(c, xcb_query_tree(c, window), nullptr);
    if (reply != nullptr) {
        const xcb_window_t* kids = xcb_query_tree_children(reply);
        out.assign(kids, kids + xcb_query_tree_children_length(reply));
        std::free(reply);
    }
    return out;
}

}  // namespace

void SetWindowInstanceName(std::uint32_t window, const QByteArray& instance) {
    xcb_connection_t* c = Connection();
    if (c == nullptr) {
        return;
    }
    // Instance and class, each ending in a null byte.
    QByteArray value = instance + '\0';
    value += instance.left(1).toUpper() + instance.mid(1) + '\0';
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 8,
                        static_cast<std::uint32_t>(value.size()), value.constData());
    xcb_flush(c);
}

void SetStartupId(std::uint32_t window, const QByteArray& id) {
    xcb_connection_t* c = Connection();
    if (c == nullptr || id.isEmpty()) {
        return;
    }
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, Atom(c, "_NET_STARTUP_ID"),
                        Atom(c, "UTF8_STRING"), 8, static_cast<std::uint32_t>(id.size()),
                        id.constData());
    xcb_flush(c);
}

bool HasWindow(const QString& title, const QByteArray& instance) {
    xcb_connection_t* c = Connection();
    xcb_screen_t* screen = c != nullptr ? Screen(c, DefaultScreenNumber()) : nullptr;
    if (screen == nullptr) {
        return false;
    }
    const xcb_atom_t netName = Atom(c, "_NET_WM_NAME");
    // Withdrawn (hidden) windows are children of the root; a reparenting
    // window manager puts mapped ones inside a frame one level down.
    std::vector<xcb_window_t> windows = Children(c, screen->root);
    const std::size_t tops = windows.size();
    for (std::size_t i = 0; i < tops; ++i) {
        for (xcb_window_t child : Children(c, windows[i])) {
            windows.push_back(child);
        }
    }
    // Both names and the class of every window asked at once, then the
    // answers read.
    constexpr std::size_t kAsked = 3;
    std::vector<xcb_get_property_cookie_t> cookies;
    cookies.reserve(windows.size() * kAsked);
    for (xcb_window_t w : windows) {
        cookies.push_back(xcb_get_property(c, 0, w, netName, XCB_GET_PROPERTY_TYPE_ANY, 0, 256));
        cookies.push_back(xcb_get_property(c, 0, w, XCB_ATOM_WM_NAME, XCB_GET_PROPERTY_TYPE_ANY, 0, 256));
        cookies.push_back(xcb_get_property(c, 0, w, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 0, 256));
    }
    bool found = false;
    for (std::size_t i = 0; i < cookies.size(); i += kAsked) {
        bool titled = false;
        bool classed = false;
        for (std::size_t k = 0; k < kAsked; ++k) {
            xcb_get_property_reply_t* reply = xcb_get_property_reply(c, cookies[i + k], nullptr);
            if (reply == nullptr) {
                continue;
            }
            const int length = xcb_get_property_value_length(reply);
            if (length > 0 && reply->format == 8) {
                const char* data = static_cast<const char*>(xcb_get_property_value(reply));
                if (k == 0) {
                    titled = titled || QString::fromUtf8(data, length) == title;
                } else if (k == 1) {
                    titled = titled || QString::fromLatin1(data, length) == title;
                } else {
                    // The instance name, up to its null byte.
                    classed = QByteArray(data, static_cast<qsizetype>(strnlen(data, length))) ==
                              instance;
                }
            }
            std::free(reply);
        }
        found = found || (titled && classed);
    }
    return found;
}

std::uint32_t SystemTrayOwner() {
    xcb_connection_t* c = Connection();
    if (c == nullptr) {
        return 0;
    }
    static const xcb_atom_t selection =
        Atom(c, "_NET_SYSTEM_TRAY_S" + QByteArray::number(DefaultScreenNumber()));
    if (selection == XCB_ATOM_NONE) {
        return 0;
    }
    xcb_get_selection_owner_reply_t* reply =
        xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, selection), nullptr);
    if (reply == nullptr) {
        return 0;
    }
    const std::uint32_t owner = reply->owner;
    std::free(reply);
    return owner;
}

namespace {

class XFixesTrayOwnerWatch : public TrayOwnerWatch, public QAbstractNativeEventFilter {
public:
    XFixesTrayOwnerWatch(xcb_connection_t* c, xcb_window_t root, xcb_atom_t selection,
                         std::uint8_t notifyType, std::function<void(std::uint32_t)> changed)
        : c_(c), root_(root), selection_(selection), notifyType_(notifyType),
          changed_(std::move(changed)) {
        qGuiApp->installNativeEventFilter(this);
        xcb_xfixes_select_selection_input(
            c_, root_, selection_,
            XCB_XFIXES_SELECTION_EVENT_MASK_SET_SELECTION_OWNER |
                XCB_XFIXES_SELECTION_EVENT_MASK_SELECTION_WINDOW_DESTROY |
                XCB_XFIXES_SELECTION_EVENT_MASK_SELECTION_CLIENT_CLOSE);
        xcb_flush(c_);
    }
    ~XFixesTrayOwnerWatch() override {
        if (qGuiApp != nullptr) {
            qGuiApp->removeNativeEventFilter(this);
        }
        xcb_xfixes_select_selection_input(c_, root_, selection_, 0);
        xcb_flush(c_);
    }

    bool nativeEventFilter(const QByteArray& type, void* message, qintptr*) override {
        if (type != "xcb_generic_event_t") {
            return false;
        }
        const auto* event = static_cast<const xcb_generic_event_t*>(message);
        if ((event->response_type & 0x7f) != notifyType_) {
            return false;
        }
        const auto* notify = reinterpret_cast<const xcb_xfixes_selection_notify_event_t*>(event);
        if (notify->selection != selection_) {
            return false;
        }
        changed_(notify->subtype == XCB_XFIXES_SELECTION_EVENT_SET_SELECTION_OWNER ? notify->owner
                                                                                    : 0);
        return true;  // ours alone
    }

private:
    xcb_connection_t* c_;
    xcb_window_t root_;
    xcb_atom_t selection_;
    std::uint8_t notifyType_;
    std::function<void(std::uint32_t)> changed_;
};

}  // namespace

std::unique_ptr<TrayOwnerWatch> WatchSystemTrayOwner(std::function<void(std::uint32_t)> changed) {
    xcb_connection_t* c = Connection();
    xcb_screen_t* screen = c != nullptr ? Screen(c, DefaultScreenNumber()) : nullptr;
    if (screen == nullptr) {
        return nullptr;
    }
    const xcb_query_extension_reply_t* xfixes = xcb_get_extension_data(c, &xcb_xfixes_id);
    if (xfixes == nullptr || !xfixes->present) {
        return nullptr;
    }
    // The extension answers a client only after it has said its version.
    std::free(xcb_xfixes_query_version_reply(
        c, xcb_xfixes_query_version(c, XCB_XFIXES_MAJOR_VERSION, XCB_XFIXES_MINOR_VERSION),
        nullptr));
    const xcb_atom_t selection =
        Atom(c, "_NET_SYSTEM_TRAY_S" + QByteArray::number(DefaultScreenNumber()));
    if (selection == XCB_ATOM_NONE) {
        return nullptr;
    }
    return std::make_unique<XFixesTrayOwnerWatch>(
        c, screen->root, selection,
        static_cast<std::uint8_t>(xfixes->first_event + XCB_XFIXES_SELECTION_NOTIFY),
        std::move(changed));
}

}  // namespace qm::x11
