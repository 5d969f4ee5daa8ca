#include "platform/qt/qt_x11.h"

#include <cstdlib>
#include <cstring>
#include <vector>

#include <QGuiApplication>

#include <xcb/xcb.h>

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

bool HasWindowTitled(const QString& title) {
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
    // Both names of every window asked at once, then the answers read.
    std::vector<xcb_get_property_cookie_t> cookies;
    cookies.reserve(windows.size() * 2);
    for (xcb_window_t w : windows) {
        cookies.push_back(xcb_get_property(c, 0, w, netName, XCB_GET_PROPERTY_TYPE_ANY, 0, 256));
        cookies.push_back(xcb_get_property(c, 0, w, XCB_ATOM_WM_NAME, XCB_GET_PROPERTY_TYPE_ANY, 0, 256));
    }
    bool found = false;
    for (std::size_t i = 0; i < cookies.size(); ++i) {
        xcb_get_property_reply_t* reply = xcb_get_property_reply(c, cookies[i], nullptr);
        if (reply == nullptr) {
            continue;
        }
        const int length = xcb_get_property_value_length(reply);
        if (!found && length > 0 && reply->format == 8) {
            const char* data = static_cast<const char*>(xcb_get_property_value(reply));
            const QString name = (i % 2 == 0) ? QString::fromUtf8(data, length)
                                              : QString::fromLatin1(data, length);
            found = name.compare(title, Qt::CaseInsensitive) == 0;
        }
        std::free(reply);
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

}  // namespace qm::x11
