#include "platform/desktops/root_window_desktop.h"

#include <sys/mman.h>
#include <sys/socket.h>
#include <unistd.h>

#include <xcb/randr.h>
#include <xcb/res.h>
#include <xcb/shm.h>
#include <xcb/xcb.h>
#include <xcb/xinerama.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "platform/desktops/desktop_support.h"
#include "platform/desktops/root_window_picture.h"

namespace qm::desktops {

namespace {

// Our own record beside the conventional ids: the pixmap it describes, the
// layout, and (in a property of its own) the picture's path.
constexpr const char* kAtomNames[] = {"_XROOTPMAP_ID",
                                      "ESETROOT_PMAP_ID",
                                      "_QUILLMERE_WALLPAPER_LAYOUT",
                                      "_QUILLMERE_WALLPAPER",
                                      "_NET_WM_WINDOW_TYPE",
                                      "_NET_WM_WINDOW_TYPE_DESKTOP",
                                      "WINDOW"};  // X-Resource's name for windows
enum AtomIndex {
    kRootPixmap,
    kSetRootPixmap,
    kRecordLayout,
    kRecordPath,
    kType,
    kTypeDesktop,
    kWindowResource,
    kAtoms
};

template <typename T>
using Reply = std::unique_ptr<T, decltype(&std::free)>;
template <typename T>
Reply<T> Take(T* reply) {
    return Reply<T>(reply, &std::free);
}

}  // namespace

// One connection of our own to the display, with the default screen.
class RootConnection {
public:
    RootConnection() {
        int number = 0;
        c_ = xcb_connect(nullptr, &number);
        if (xcb_connection_has_error(c_) != 0) {
            return;
        }
        auto it = xcb_setup_roots_iterator(xcb_get_setup(c_));
        for (; it.rem > 0 && number > 0; --number) {
            xcb_screen_next(&it);
        }
        screen_ = it.rem > 0 ? it.data : nullptr;
        if (screen_ == nullptr) {
            return;
        }
        // Asked together with the atoms rather than one by one later.
        for (xcb_extension_t* extension : {&xcb_randr_id, &xcb_xinerama_id, &xcb_shm_id, &xcb_res_id}) {
            xcb_prefetch_extension_data(c_, extension);
        }
        xcb_intern_atom_cookie_t cookies[kAtoms];
        for (int i = 0; i < kAtoms; ++i) {
            cookies[i] = xcb_intern_atom(c_, 0, static_cast<std::uint16_t>(std::strlen(kAtomNames[i])),
                                         kAtomNames[i]);
        }
        for (int i = 0; i < kAtoms; ++i) {
            auto reply = Take(xcb_intern_atom_reply(c_, cookies[i], nullptr));
            atoms_[i] = reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
        }
    }
    ~RootConnection() { xcb_disconnect(c_); }
    RootConnection(const RootConnection&) = delete;
    RootConnection& operator=(const RootConnection&) = delete;

    bool Usable() const { return xcb_connection_has_error(c_) == 0 && screen_ != nullptr; }
    xcb_connection_t* get() const { return c_; }
    const xcb_screen_t& Screen() const { return *screen_; }
    xcb_window_t Root() const { return screen_->root; }
    xcb_atom_t Atom(AtomIndex index) const { return atoms_[index]; }

private:
    xcb_connection_t* c_ = nullptr;
    xcb_screen_t* screen_ = nullptr;
    xcb_atom_t atoms_[kAtoms] = {};
};

namespace {

using Connection = RootConnection;

// A property of 32-bit items; empty when missing or of another type or size.
std::vector<std::uint32_t> Items(xcb_connection_t* c, xcb_get_property_cookie_t cookie,
                                 xcb_atom_t type, std::size_t count) {
    auto reply = Take(xcb_get_property_reply(c, cookie, nullptr));
    if (!reply || reply->type != type || reply->format != 32 || reply->value_len != count) {
        return {};
    }
    const auto* values = static_cast<const std::uint32_t*>(xcb_get_property_value(reply.get()));
    return {values, values + count};
}

xcb_get_property_cookie_t AskProperty(const Connection& x, xcb_window_t window, xcb_atom_t name,
                                      xcb_atom_t type, std::uint32_t items) {
    return xcb_get_property(x.get(), 0, window, name, type, 0, items);
}

std::string Refused(const xcb_generic_error_t& error) {
    const char* what = error.error_code == XCB_ALLOC ? " (not enough memory)" : "";
    return "The X server refused the background: error " + std::to_string(error.error_code) +
           what + ".";
}

// The first refusal among requests sent checked; empty when none.
std::string Check(xcb_connection_t* c, const std::vector<xcb_void_cookie_t>& cookies) {
    std::string why;
    for (const auto& cookie : cookies) {
        if (auto error = Take(xcb_request_check(c, cookie)); error && why.empty()) {
            why = Refused(*error);
        }
    }
    return why;
}

// The monitors the server reports: RandR 1.5's, or Xinerama's heads when
// they are more (a server of several screens joined by Xinerama shows
// RandR only its first), else the whole screen.
std::vector<Area> Monitors(const Connection& x) {
    xcb_connection_t* c = x.get();
    std::vector<Area> monitors, heads;
    const auto* randr = xcb_get_extension_data(c, &xcb_randr_id);
    if (randr != nullptr && randr->present) {
        auto version = Take(xcb_randr_query_version_reply(c, xcb_randr_query_version(c, 1, 5), nullptr));
        if (version && (version->major_version > 1 || version->minor_version >= 5)) {
            auto reply = Take(xcb_randr_get_monitors_reply(
                c, xcb_randr_get_monitors(c, x.Root(), 1), nullptr));
            if (reply) {
                for (auto it = xcb_randr_get_monitors_monitors_iterator(reply.get()); it.rem > 0;
                     xcb_randr_monitor_info_next(&it)) {
                    monitors.push_back({it.data->x, it.data->y, it.data->width, it.data->height});
                }
            }
        }
    }
    const auto* xinerama = xcb_get_extension_data(c, &xcb_xinerama_id);
    if (xinerama != nullptr && xinerama->present) {
        auto active = Take(xcb_xinerama_is_active_reply(c, xcb_xinerama_is_active(c), nullptr));
        if (active && active->state != 0) {
            auto reply = Take(xcb_xinerama_query_screens_reply(c, xcb_xinerama_query_screens(c), nullptr));
            if (reply) {
                for (auto it = xcb_xinerama_query_screens_screen_info_iterator(reply.get());
                     it.rem > 0; xcb_xinerama_screen_info_next(&it)) {
                    heads.push_back({it.data->x_org, it.data->y_org, it.data->width,
                                     it.data->height});
                }
            }
        }
    }
    if (heads.size() > monitors.size()) {
        monitors = std::move(heads);
    }
    if (monitors.empty()) {
        monitors.push_back({0, 0, x.Screen().width_in_pixels, x.Screen().height_in_pixels});
    }
    return monitors;
}

// The children of each window, asked all at once.
std::vector<std::vector<xcb_window_t>> Children(xcb_connection_t* c,
                                                const std::vector<xcb_window_t>& windows) {
    std::vector<xcb_query_tree_cookie_t> cookies;
    for (xcb_window_t window : windows) {
        cookies.push_back(xcb_query_tree(c, window));
    }
    std::vector<std::vector<xcb_window_t>> children;
    for (const auto& cookie : cookies) {
        auto reply = Take(xcb_query_tree_reply(c, cookie, nullptr));
        children.emplace_back();
        if (reply) {
            const xcb_window_t* list = xcb_query_tree_children(reply.get());
            children.back().assign(list, list + xcb_query_tree_children_length(reply.get()));
        }
    }
    return children;
}

// A desktop program's own window (_NET_WM_WINDOW_TYPE_DESKTOP, mapped,
// whole monitors under it) hides the root window: the words saying so, or
// empty when none does. The type sits on a top-level window or, under a
// window manager, on a client inside its frame.
std::string CoveringDesktop(const Connection& x, const std::vector<Area>& monitors) {
    xcb_connection_t* c = x.get();
    const std::vector<xcb_window_t> topLevels = Children(c, {x.Root()}).front();
    std::vector<xcb_get_window_attributes_cookie_t> attributes;
    for (xcb_window_t window : topLevels) {
        attributes.push_back(xcb_get_window_attributes(c, window));
    }
    std::vector<xcb_window_t> shown;
    for (const auto& cookie : attributes) {
        auto reply = Take(xcb_get_window_attributes_reply(c, cookie, nullptr));
        if (reply && reply->map_state == XCB_MAP_STATE_VIEWABLE &&
            reply->_class == XCB_WINDOW_CLASS_INPUT_OUTPUT) {
            shown.push_back(topLevels[&cookie - attributes.data()]);
        }
    }
    // Each shown top-level with what lies inside it, two levels down (a
    // frame, and some window managers' wrapper inside it).
    std::vector<std::pair<xcb_window_t, xcb_window_t>> candidates;  // top-level, typed window
    std::vector<xcb_window_t> level = shown, owners = shown;
    for (int depth = 0; depth < 3 && !level.empty(); ++depth) {
        for (std::size_t i = 0; i < level.size(); ++i) {
            candidates.emplace_back(owners[i], level[i]);
        }
        if (depth == 2) {
            break;
        }
        const auto children = Children(c, level);
        std::vector<xcb_window_t> next, nextOwners;
        for (std::size_t i = 0; i < children.size(); ++i) {
            for (xcb_window_t child : children[i]) {
                next.push_back(child);
                nextOwners.push_back(owners[i]);
            }
        }
        level = std::move(next);
        owners = std::move(nextOwners);
    }
    std::vector<xcb_get_property_cookie_t> types;
    for (const auto& candidate : candidates) {
        types.push_back(AskProperty(x, candidate.second, x.Atom(kType), XCB_ATOM_ATOM, 16));
    }
    std::string words;
    for (std::size_t i = 0; i < candidates.size(); ++i) {
        auto reply = Take(xcb_get_property_reply(c, types[i], nullptr));
        if (!words.empty() || !reply || reply->type != XCB_ATOM_ATOM || reply->format != 32) {
            continue;
        }
        const auto* list = static_cast<const xcb_atom_t*>(xcb_get_property_value(reply.get()));
        const int count = xcb_get_property_value_length(reply.get()) / 4;
        if (std::find(list, list + count, x.Atom(kTypeDesktop)) == list + count) {
            continue;
        }
        auto geometry = Take(xcb_get_geometry_reply(c, xcb_get_geometry(c, candidates[i].first), nullptr));
        const bool covers =
            geometry && std::any_of(monitors.begin(), monitors.end(), [&](const Area& m) {
                return geometry->x <= m.x && geometry->y <= m.y &&
                       geometry->x + geometry->width >= m.x + m.width &&
                       geometry->y + geometry->height >= m.y + m.height;
            });
        if (!covers) {
            continue;
        }
        // WM_CLASS: the instance's name, then the class's, each ending in a zero.
        auto name = Take(xcb_get_property_reply(
            c, AskProperty(x, candidates[i].second, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 64), nullptr));
        std::string program;
        if (name && name->format == 8) {
            const char* text = static_cast<const char*>(xcb_get_property_value(name.get()));
            const std::string both(text, static_cast<std::size_t>(xcb_get_property_value_length(name.get())));
            const std::size_t end = both.find('\0');
            program = both.substr(end == std::string::npos ? both.size() : end + 1);
            program = program.substr(0, program.find('\0'));
        }
        words = "The desktop's own window" + (program.empty() ? "" : " (" + program + ")") +
                " covers the root window, so a wallpaper drawn there would not be seen. "
                "Set the picture in that desktop's own settings.";
    }
    return words;
}

// Whether our pictures can go to the server through shared memory: it has
// MIT-SHM 1.2 (descriptors passed over the socket) and the connection is a
// local socket that can carry them.
bool CanShare(xcb_connection_t* c) {
    const auto* shm = xcb_get_extension_data(c, &xcb_shm_id);
    if (shm == nullptr || !shm->present) {
        return false;
    }
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    if (getsockname(xcb_get_file_descriptor(c), reinterpret_cast<sockaddr*>(&address), &length) != 0 ||
        address.ss_family != AF_UNIX) {
        return false;
    }
    auto version = Take(xcb_shm_query_version_reply(c, xcb_shm_query_version(c), nullptr));
    return version && (version->major_version > 1 || version->minor_version >= 2);
}

// The screen's image, in memory the server can read directly when it can,
// else in ours.
class ImageMemory {
public:
    ImageMemory(xcb_connection_t* c, std::size_t size) : c_(c), size_(size) {
        if (CanShare(c)) {
            const int fd = memfd_create("root-window-picture", MFD_CLOEXEC);
            if (fd >= 0 && ftruncate(fd, static_cast<off_t>(size)) == 0) {
                // Faulted in at once: page by page costs more than the drawing.
                void* mapped = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_POPULATE,
                                    fd, 0);
                if (mapped != MAP_FAILED) {
                    segment_ = xcb_generate_id(c);
                    // The library closes the descriptor once it is sent.
                    auto error = Take(xcb_request_check(
                        c, xcb_shm_attach_fd_checked(c, segment_, fd, 1)));
                    if (!error) {
                        data_ = static_cast<std::uint8_t*>(mapped);
                        return;
                    }
                    segment_ = 0;
                    munmap(mapped, size);
                } else {
                    close(fd);
                }
            } else if (fd >= 0) {
                close(fd);
            }
        }
        // Zeroed, as fresh shared pages are: black.
        heap_.reset(static_cast<std::uint8_t*>(std::calloc(size, 1)));
        data_ = heap_.get();
    }
    ~ImageMemory() {
        if (segment_ != 0) {
            // Only queued: the connection's end frees the segment, unless
            // the connection is retained, which Detach() is for.
            xcb_shm_detach(c_, segment_);
            munmap(data_, size_);
        }
    }

    // Gives the segment back to the server, checked: a connection that
    // closes retained would otherwise keep a screen-sized segment there.
    // The image must be in its drawable already.
    std::string Detach() {
        if (segment_ == 0) {
            return {};
        }
        auto error = Take(xcb_request_check(c_, xcb_shm_detach_checked(c_, segment_)));
        munmap(data_, size_);
        segment_ = 0;
        data_ = nullptr;
        return error ? Refused(*error) : std::string();
    }
    ImageMemory(const ImageMemory&) = delete;
    ImageMemory& operator=(const ImageMemory&) = delete;

    std::uint8_t* Data() const { return data_; }

    // Puts the image (`stride` bytes a row) into the drawable, checked.
    void Put(xcb_drawable_t to, xcb_gcontext_t gc, int width, int height, std::size_t stride,
             std::uint8_t depth, std::vector<xcb_void_cookie_t>& sent) const {
        const auto w = static_cast<std::uint16_t>(width), h = static_cast<std::uint16_t>(height);
        if (segment_ != 0) {
            sent.push_back(xcb_shm_put_image_checked(c_, to, gc, w, h, 0, 0, w, h, 0, 0, depth,
                                                     XCB_IMAGE_FORMAT_Z_PIXMAP, 0, segment_, 0));
            return;
        }
        // Bands of rows that each fit in one request.
        const std::size_t limit =
            std::min<std::size_t>(std::size_t{4} * xcb_get_maximum_request_length(c_) - 64,
                                  std::size_t{4} << 20);
        const int rows = std::max(1, static_cast<int>(limit / stride));
        for (int y = 0; y < height; y += rows) {
            const int band = std::min(rows, height - y);
            sent.push_back(xcb_put_image_checked(
                c_, XCB_IMAGE_FORMAT_Z_PIXMAP, to, gc, w, static_cast<std::uint16_t>(band), 0,
                static_cast<std::int16_t>(y), 0, depth,
                static_cast<std::uint32_t>(stride * static_cast<std::size_t>(band)),
                data_ + stride * static_cast<std::size_t>(y)));
        }
    }

private:
    xcb_connection_t* c_;
    std::size_t size_;
    std::unique_ptr<std::uint8_t, decltype(&std::free)> heap_{nullptr, &std::free};
    xcb_shm_seg_t segment_ = 0;
    std::uint8_t* data_ = nullptr;
};

// The screen's true-colour pixel layout; false for a visual whose pixels
// would need a colormap.
bool ScreenFormat(const Connection& x, PixelFormat& format, int& scanlinePad) {
    const xcb_screen_t& screen = x.Screen();
    const xcb_setup_t* setup = xcb_get_setup(x.get());
    bool trueColour = false;
    for (auto depths = xcb_screen_allowed_depths_iterator(&screen); depths.rem > 0;
         xcb_depth_next(&depths)) {
        for (auto visuals = xcb_depth_visuals_iterator(depths.data); visuals.rem > 0;
             xcb_visualtype_next(&visuals)) {
            const xcb_visualtype_t& visual = *visuals.data;
            if (visual.visual_id == screen.root_visual &&
                (visual._class == XCB_VISUAL_CLASS_TRUE_COLOR ||
                 visual._class == XCB_VISUAL_CLASS_DIRECT_COLOR)) {
                format.red = visual.red_mask;
                format.green = visual.green_mask;
                format.blue = visual.blue_mask;
                trueColour = true;
            }
        }
    }
    format.bitsPerPixel = 0;
    for (auto formats = xcb_setup_pixmap_formats_iterator(setup); formats.rem > 0;
         xcb_format_next(&formats)) {
        if (formats.data->depth == screen.root_depth) {
            format.bitsPerPixel = formats.data->bits_per_pixel;
            scanlinePad = formats.data->scanline_pad;
        }
    }
    format.msbFirst = setup->image_byte_order == XCB_IMAGE_ORDER_MSB_FIRST;
    return trueColour && (format.bitsPerPixel == 16 || format.bitsPerPixel == 24 ||
                          format.bitsPerPixel == 32);
}

// Whether the client holding resource `id` owns windows, on any screen,
// asked of X-Resource in one request. Without that extension there is no
// telling, and a client that may be a live program is not ended: the
// answer is yes.
bool OwnsWindows(const Connection& x, std::uint32_t id) {
    xcb_connection_t* c = x.get();
    const auto* res = xcb_get_extension_data(c, &xcb_res_id);
    if (res == nullptr || !res->present) {
        return true;
    }
    auto reply = Take(xcb_res_query_client_resources_reply(
        c, xcb_res_query_client_resources(c, id), nullptr));
    if (!reply) {
        return false;  // no client holds that id
    }
    for (auto it = xcb_res_query_client_resources_types_iterator(reply.get()); it.rem > 0;
         xcb_res_type_next(&it)) {
        if (it.data->resource_type == x.Atom(kWindowResource) && it.data->count > 0) {
            return true;
        }
    }
    return false;
}

// Holds the server for the read, the kill and the set; released however
// the work ends.
class ServerGrab {
public:
    explicit ServerGrab(xcb_connection_t* c) : c_(c) { xcb_grab_server(c_); }
    ~ServerGrab() {
        xcb_ungrab_server(c_);
        xcb_flush(c_);
    }
    ServerGrab(const ServerGrab&) = delete;
    ServerGrab& operator=(const ServerGrab&) = delete;

private:
    xcb_connection_t* c_;
};

struct Record {
    std::string path;
    Layout layout;
};

// Our record, when the root window still shows the pixmap it describes.
std::optional<Record> OwnRecord(const Connection* reader) {
    if (reader == nullptr) {
        return std::nullopt;
    }
    const Connection& x = *reader;
    xcb_connection_t* c = x.get();
    const auto shownCookie = AskProperty(x, x.Root(), x.Atom(kRootPixmap), XCB_ATOM_PIXMAP, 1);
    const auto layoutCookie = AskProperty(x, x.Root(), x.Atom(kRecordLayout), XCB_ATOM_CARDINAL, 2);
    const auto pathCookie = AskProperty(x, x.Root(), x.Atom(kRecordPath), XCB_ATOM_STRING, 4096);
    const auto shown = Items(c, shownCookie, XCB_ATOM_PIXMAP, 1);
    const auto layout = Items(c, layoutCookie, XCB_ATOM_CARDINAL, 2);
    auto path = Take(xcb_get_property_reply(c, pathCookie, nullptr));
    if (shown.empty() || layout.empty() || layout[0] != shown[0] || layout[1] > 5 || !path ||
        path->type != XCB_ATOM_STRING || path->format != 8 || path->bytes_after != 0 ||
        path->value_len == 0) {
        return std::nullopt;
    }
    return Record{std::string(static_cast<const char*>(xcb_get_property_value(path.get())),
                              path->value_len),
                  static_cast<Layout>(layout[1])};
}

}  // namespace

RootWindowDesktop::RootWindowDesktop(std::string refusal) : refusal_(std::move(refusal)) {}

RootWindowDesktop::~RootWindowDesktop() = default;

const RootConnection* RootWindowDesktop::Reader() {
    if (!reader_ || !reader_->Usable()) {
        reader_.reset();
        auto fresh = std::make_unique<RootConnection>();
        if (!fresh->Usable()) {
            return nullptr;
        }
        reader_ = std::move(fresh);
    }
    return reader_.get();
}

void RootWindowDesktop::Apply(const std::string& path, Layout layout, Answer answer) {
    // The X server answers at once: only the answer waits for the loop.
    std::string why;
    ScreenPicture everywhere;
    everywhere.path = path;
    const bool shown = Set({everywhere}, layout, why);
    AnswerLater(&context_, std::move(answer), shown, std::move(why));
}

void RootWindowDesktop::ApplyEach(const std::vector<ScreenPicture>& pictures, Layout layout,
                                  Answer answer) {
    std::string why = "There is no picture to show.";
    const bool shown = !pictures.empty() && Set(pictures, layout, why);
    AnswerLater(&context_, std::move(answer), shown, std::move(why));
}

bool RootWindowDesktop::Set(const std::vector<ScreenPicture>& pictures, Layout layout,
                            std::string& why) {
    const std::string& path = pictures.front().path;  // what the root shows, as recorded
    if (!refusal_.empty()) {
        why = refusal_;
        return false;
    }
    const Connection x;
    if (!x.Usable()) {
        why = "There is no X display to draw the wallpaper on.";
        return false;
    }
    xcb_connection_t* c = x.get();
    const std::vector<Area> monitors = Monitors(x);
    why = CoveringDesktop(x, monitors);
    if (!why.empty()) {
        return false;
    }
    PixelFormat format;
    int pad = 32;
    if (!ScreenFormat(x, format, pad)) {
        why = "The X display is not a true-colour one.";
        return false;
    }
    const int width = x.Screen().width_in_pixels, height = x.Screen().height_in_pixels;
    const std::size_t stride =
        (static_cast<std::size_t>(width) * static_cast<std::size_t>(format.bitsPerPixel) +
         static_cast<std::size_t>(pad) - 1) / static_cast<std::size_t>(pad) *
        static_cast<std::size_t>(pad) / 8;
    ImageMemory memory(c, stride * static_cast<std::size_t>(height));
    if (memory.Data() == nullptr) {
        why = "There is not enough memory for the screen's picture.";
        return false;
    }
    // A picture made for all monitors together lies on the screen from its
    // top left, as a tiled one does.
    const Layout drawn = layout == Layout::Spanned ? Layout::Tiled : layout;
    const ScreenImage image{width, height, stride, memory.Data()};
    for (const ScreenPicture& picture : pictures) {
        if (picture.pixelWidth <= 0) {
            // One picture for every monitor; tiles run on across them all.
            if (!DrawWallpaper(picture.path, drawn, monitors, format, image, why)) {
                return false;
            }
            continue;
        }
        // Its own monitor's, where the server still has it; tiled from the
        // monitor's top left corner.
        const Area place{picture.pixelX, picture.pixelY, picture.pixelWidth, picture.pixelHeight};
        const bool known = std::any_of(monitors.begin(), monitors.end(), [&](const Area& m) {
            return m.x == place.x && m.y == place.y && m.width == place.width && m.height == place.height;
        });
        if (known && !DrawWallpaper(picture.path, drawn, {place}, format, image, why, &place)) {
            return false;
        }
    }

    const xcb_window_t root = x.Root();
    const xcb_pixmap_t pixmap = xcb_generate_id(c);
    const xcb_gcontext_t gc = xcb_generate_id(c);
    std::vector<xcb_void_cookie_t> sent;
    sent.push_back(xcb_create_pixmap_checked(c, x.Screen().root_depth, pixmap, root,
                                             static_cast<std::uint16_t>(width),
                                             static_cast<std::uint16_t>(height)));
    xcb_create_gc(c, gc, pixmap, 0, nullptr);
    memory.Put(pixmap, gc, width, height, stride, x.Screen().root_depth, sent);
    xcb_free_gc(c, gc);
    why = Check(c, sent);
    if (why.empty()) {
        why = memory.Detach();
    }
    if (!why.empty()) {
        return false;  // the connection's end frees what it made
    }

    // The previous setter's pixmap lives on in its retained client: ending
    // that client frees it, unless it is a live program, one that owns
    // windows. Judged before the grab, and ended under it only while the
    // root still names that pixmap and it still exists, so that no client
    // comes or goes between the check and the end.
    const xcb_setup_t* setup = xcb_get_setup(c);
    const std::uint32_t mask = setup->resource_id_mask;
    auto previousPixmap = [&] {
        const auto previousCookie = AskProperty(x, root, x.Atom(kSetRootPixmap), XCB_ATOM_PIXMAP, 1);
        const auto shownCookie = AskProperty(x, root, x.Atom(kRootPixmap), XCB_ATOM_PIXMAP, 1);
        const auto previous = Items(c, previousCookie, XCB_ATOM_PIXMAP, 1);
        const auto shown = Items(c, shownCookie, XCB_ATOM_PIXMAP, 1);
        // Only a pixmap the root still shows, and not one of ours.
        const bool candidate = !previous.empty() && (shown.empty() || shown[0] == previous[0]) &&
                               (previous[0] & ~mask) != (setup->resource_id_base & ~mask);
        return candidate ? previous[0] : std::uint32_t{0};
    };
    std::uint32_t doomed = previousPixmap();
    if (doomed != 0 && OwnsWindows(x, doomed)) {
        doomed = 0;
    }
    {
        const ServerGrab grab(c);
        if (doomed != 0) {
            const auto geometryCookie = xcb_get_geometry(c, doomed);
            const std::uint32_t still = previousPixmap();
            auto exists = Take(xcb_get_geometry_reply(c, geometryCookie, nullptr));
            if (still != doomed || !exists) {
                doomed = 0;
            }
        }
        sent.clear();
        sent.push_back(xcb_change_window_attributes_checked(c, root, XCB_CW_BACK_PIXMAP, &pixmap));
        xcb_clear_area(c, 0, root, 0, 0, 0, 0);
        for (AtomIndex name : {kRootPixmap, kSetRootPixmap}) {
            sent.push_back(xcb_change_property_checked(c, XCB_PROP_MODE_REPLACE, root, x.Atom(name),
                                                       XCB_ATOM_PIXMAP, 32, 1, &pixmap));
        }
        const std::uint32_t record[2] = {pixmap, static_cast<std::uint32_t>(layout)};
        sent.push_back(xcb_change_property_checked(c, XCB_PROP_MODE_REPLACE, root,
                                                   x.Atom(kRecordLayout), XCB_ATOM_CARDINAL, 32, 2,
                                                   record));
        sent.push_back(xcb_change_property_checked(c, XCB_PROP_MODE_REPLACE, root,
                                                   x.Atom(kRecordPath), XCB_ATOM_STRING, 8,
                                                   static_cast<std::uint32_t>(path.size()),
                                                   path.data()));
        why = Check(c, sent);
        if (!why.empty()) {
            return false;
        }
        if (doomed != 0) {
            xcb_kill_client(c, doomed);
        }
        // The pixmap must outlive this connection.
        xcb_set_close_down_mode(c, XCB_CLOSE_DOWN_RETAIN_PERMANENT);
    }
    // Everything processed before the connection ends.
    Take(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
    return true;
}

std::optional<std::string> RootWindowDesktop::CurrentPicture() {
    if (!refusal_.empty()) {
        return std::nullopt;
    }
    auto record = OwnRecord(Reader());
    if (!record && reader_ && !reader_->Usable()) {
        record = OwnRecord(Reader());  // the server went since the last read
    }
    return record ? std::optional<std::string>(record->path) : std::nullopt;
}

std::optional<Layout> RootWindowDesktop::CurrentLayout() {
    if (!refusal_.empty()) {
        return std::nullopt;
    }
    auto record = OwnRecord(Reader());
    if (!record && reader_ && !reader_->Usable()) {
        record = OwnRecord(Reader());  // the server went since the last read
    }
    if (!record) {
        return std::nullopt;
    }
    // Spanned is none of the layouts a user picks: it counts as centred.
    return record->layout == Layout::Spanned ? Layout::Centred : record->layout;
}

}  // namespace qm::desktops
