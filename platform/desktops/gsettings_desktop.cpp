// GIO before Qt: its headers use the word Qt defines as a macro, signals.
#include <gio/gio.h>

#include "platform/desktops/gsettings_desktop.h"

#include <cstring>
#include <memory>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>
#include <utility>

#include <QMetaObject>
#include <QPointer>

#include "platform/desktops/desktop_support.h"

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

}  // namespace

// The schema's settings, or nothing when the schema is not installed
// (g_settings_new would abort the program).
class GSettingsDesktop::Background {
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

// The one thread that waits for dconf's answers, and what it shares with
// the event loop. It keeps only the newest write to wait for: dconf answers
// in order, so once the newest is answered so are those before it. It lives
// as long as the desktop, or, when dconf hangs at the desktop's end, until
// its wait returns, touching nothing of the desktop's by then.
struct GSettingsDesktop::Outcome {
    std::mutex mutex;
    std::condition_variable wake;
    QObject* context = nullptr;         // the desktop's, while it lives
    std::function<void()> waiting;      // the next write's verdict, once dconf answered
    bool busy = false;                  // inside g_settings_sync
    bool stop = false;

    void Run() {
        std::unique_lock<std::mutex> lock(mutex);
        for (;;) {
            wake.wait(lock, [this] { return stop || waiting; });
            if (stop) {
                return;
            }
            std::function<void()> verdict = std::move(waiting);
            waiting = nullptr;
            busy = true;
            lock.unlock();
            g_settings_sync();
            lock.lock();
            busy = false;
            if (context != nullptr) {
                QMetaObject::invokeMethod(context, std::move(verdict), Qt::QueuedConnection);
            }
        }
    }
};

namespace {

const char* OptionName(Layout layout) {
    switch (layout) {
        case Layout::Tiled: return "wallpaper";
        case Layout::Stretched: return "stretched";
        case Layout::Filled: return "zoom";
        case Layout::Fitted: return "scaled";
        case Layout::Spanned: return "spanned";
        case Layout::Centred: break;
    }
    return "centered";
}

}  // namespace

GSettingsDesktop::GSettingsDesktop(const BackgroundKeys& keys)
    : keys_(keys), bg_(std::make_unique<Background>(keys.schema)),
      outcome_(std::make_shared<Outcome>()) {
    outcome_->context = &context_;
    worker_ = std::thread([outcome = outcome_] { outcome->Run(); });
}

GSettingsDesktop::~GSettingsDesktop() {
    std::unique_lock<std::mutex> lock(outcome_->mutex);
    outcome_->context = nullptr;
    outcome_->stop = true;
    outcome_->waiting = nullptr;
    const bool busy = outcome_->busy;
    lock.unlock();
    outcome_->wake.notify_one();
    if (busy) {
        // A hung dconf holds it for up to D-Bus's time: the program does not
        // wait for that at its end. The thread owns its share of the state.
        worker_.detach();
    } else {
        worker_.join();
    }
}

void GSettingsDesktop::Apply(const std::string& path, Layout layout, Answer answer) {
    Background& bg = *bg_;
    const auto refuse = [&](std::string why) {
        AnswerLater(&context_, std::move(answer), false, std::move(why));
    };
    if (!bg) {
        refuse(std::string("The GSettings schema ") + keys_.schema + " is not installed.");
        return;
    }
    if (bg.KeptInMemoryOnly()) {
        refuse("GSettings keeps its values in this program only (no dconf).");
        return;
    }
    std::string picture = path;
    if (keys_.pictureIsUri) {
        GError* error = nullptr;
        GText uri(g_filename_to_uri(path.c_str(), nullptr, &error));
        if (!uri) {
            std::string why = error->message;
            g_error_free(error);
            refuse(std::move(why));
            return;
        }
        picture = uri.get();
    } else if (!g_utf8_validate(path.c_str(), -1, nullptr)) {
        refuse("The path is not UTF-8: " + path);
        return;
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
        refuse(std::string("The keys of ") + keys_.schema + " are locked.");
        return;
    }
    g_settings_apply(s);
    // The dconf service stores the change in its own time; until it has
    // answered (or its time ran out), this process reads the new values.
    // The worker waits for that answer, and the event loop then compares: a
    // change the service did not store reads back as before.
    const unsigned number = ++written_;
    std::function<void()> verdict = [this, picture, option = std::string(OptionName(layout)),
                                     answer = std::move(answer), number] {
        // Overtaken by a newer picture, whose own answer tells.
        if (number != written_ ||
            (bg_->Get(keys_.pictureKey) == picture && bg_->Get(keys_.optionsKey) == option)) {
            answer(true, {});
        } else {
            answer(false,
                   std::string("dconf did not store the new values of ") + keys_.schema + ".");
        }
    };
    std::function<void()> overtaken;
    {
        const std::lock_guard<std::mutex> lock(outcome_->mutex);
        overtaken = std::exchange(outcome_->waiting, std::move(verdict));
    }
    outcome_->wake.notify_one();
    if (overtaken) {
        // Its verdict is the newer one's: it runs, and finds itself overtaken.
        QMetaObject::invokeMethod(&context_, std::move(overtaken), Qt::QueuedConnection);
    }
}

std::optional<std::string> GSettingsDesktop::CurrentPicture() {
    Background& bg = *bg_;
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
    Background& bg = *bg_;
    if (!bg) {
        return std::nullopt;
    }
    const std::string option = bg.Get(keys_.optionsKey);
    if (option == "wallpaper") {
        return Layout::Tiled;
    }
    if (option == "zoom") {
        return Layout::Filled;
    }
    if (option == "scaled") {
        return Layout::Fitted;
    }
    return option == "stretched" ? Layout::Stretched : Layout::Centred;
}

}  // namespace qm::desktops
