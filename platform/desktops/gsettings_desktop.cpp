#include "platform/desktops/gsettings_desktop.h"

#include <gio/gio.h>

#include <cstring>
#include <memory>

namespace qm::desktops {

const BackgroundKeys GSettingsDesktop::kGnome{"org.gnome.desktop.background", "picture-uri",
                                              "picture-uri-dark", true, "picture-options"};
const BackgroundKeys GSettingsDesktop::kCinnamon{"org.cinnamon.desktop.background", "picture-uri",
                                                 nullptr, true, "picture-options"};
const BackgroundKeys GSettingsDesktop::kMate{"org.mate.background", "picture-filename", nullptr,
                                             false, "picture-options"};

namespace {

struct GFree {
    void operator()(void* p) const { g_free(p); }
};
using GText = std::unique_ptr<char, GFree>;

// The schema's settings, or nothing when the schema is not installed
// (g_settings_new would abort the program).
class Background {
public:
    explicit Background(const char* schemaId) {
        GSettingsSchemaSource* source = g_settings_schema_source_get_default();
        if (source != nullptr) {
            schema_ = g_settings_schema_source_lookup(source, schemaId, TRUE);
        }
        if (schema_ != nullptr) {
            settings_ = g_settings_new_full(schema_, nullptr, nullptr);
        }
    }
    ~Background() {
        if (settings_ != nullptr) {
            g_object_unref(settings_);
        }
        if (schema_ != nullptr) {
            g_settings_schema_unref(schema_);
        }
    }
    Background(const Background&) = delete;
    Background& operator=(const Background&) = delete;

    explicit operator bool() const { return settings_ != nullptr; }
    GSettings* settings() const { return settings_; }
    bool HasKey(const char* key) const {
        return key != nullptr && g_settings_schema_has_key(schema_, key);
    }
    std::string Get(const char* key) const {
        GText value(g_settings_get_string(settings_, key));
        return value ? value.get() : "";
    }

    // Without dconf, GIO falls back to a backend that keeps values in this
    // process only: the desktop would never see them.
    bool KeptInMemoryOnly() const {
        GSettingsBackend* backend = nullptr;
        g_object_get(settings_, "backend", &backend, nullptr);
        if (backend == nullptr) {
            return false;
        }
        const char* type = G_OBJECT_TYPE_NAME(backend);
        const bool local = std::strcmp(type, "GMemorySettingsBackend") == 0 ||
                           std::strcmp(type, "GNullSettingsBackend") == 0;
        g_object_unref(backend);
        return local;
    }

private:
    GSettingsSchema* schema_ = nullptr;
    GSettings* settings_ = nullptr;
};

const char* OptionName(Layout layout) {
    switch (layout) {
        case Layout::Tiled: return "wallpaper";
        case Layout::Stretched: return "stretched";
        case Layout::Centred: break;
    }
    return "centered";
}

}  // namespace

bool GSettingsDesktop::Apply(const std::string& path, Layout layout, std::string& why) {
    Background bg(keys_.schema);
    if (!bg) {
        why = std::string("The GSettings schema ") + keys_.schema + " is not installed.";
        return false;
    }
    if (bg.KeptInMemoryOnly()) {
        why = "GSettings keeps its values in this program only (no dconf).";
        return false;
    }
    std::string picture = path;
    if (keys_.pictureIsUri) {
        GError* error = nullptr;
        GText uri(g_filename_to_uri(path.c_str(), nullptr, &error));
        if (!uri) {
            why = error->message;
            g_error_free(error);
            return false;
        }
        picture = uri.get();
    } else if (!g_utf8_validate(path.c_str(), -1, nullptr)) {
        why = "The path is not UTF-8: " + path;
        return false;
    }

    // One change set, so the desktop never draws the new picture in the old
    // layout first.
    GSettings* s = bg.settings();
    g_settings_delay(s);
    bool written = g_settings_set_string(s, keys_.pictureKey, picture.c_str()) &&
                   g_settings_set_string(s, keys_.optionsKey, OptionName(layout));
    if (written && bg.HasKey(keys_.darkPictureKey)) {
        written = g_settings_set_string(s, keys_.darkPictureKey, picture.c_str());
    }
    if (!written) {
        g_settings_revert(s);
        why = std::string("The keys of ") + keys_.schema + " are locked.";
        return false;
    }
    g_settings_apply(s);
    g_settings_sync();
    // dconf drops a change its service did not store: what reads back now
    // is what the desktop sees.
    if (bg.Get(keys_.pictureKey) != picture || bg.Get(keys_.optionsKey) != OptionName(layout)) {
        why = std::string("dconf did not store the new values of ") + keys_.schema + ".";
        return false;
    }
    return true;
}

std::optional<std::string> GSettingsDesktop::CurrentPicture() {
    Background bg(keys_.schema);
    if (!bg) {
        return std::nullopt;
    }
    const std::string value = bg.Get(keys_.pictureKey);
    if (!keys_.pictureIsUri) {
        return value.empty() ? std::nullopt : std::optional<std::string>(value);
    }
    GText file(g_filename_from_uri(value.c_str(), nullptr, nullptr));
    return file ? std::optional<std::string>(file.get()) : std::nullopt;
}

std::optional<Layout> GSettingsDesktop::CurrentLayout() {
    Background bg(keys_.schema);
    if (!bg) {
        return std::nullopt;
    }
    const std::string option = bg.Get(keys_.optionsKey);
    if (option == "wallpaper") {
        return Layout::Tiled;
    }
    return option == "stretched" ? Layout::Stretched : Layout::Centred;
}

}  // namespace qm::desktops
