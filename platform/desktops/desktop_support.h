// What the desktop classes share over Qt: their diagnostics category and the
// answer to a picture given later from the event loop, as every answer is.
#pragma once

#include <optional>
#include <string>
#include <utility>

#include <QLoggingCategory>
#include <QObject>
#include <QTimer>

#include "platform/desktops/wallpaper_desktop.h"

// QT_LOGGING_RULES="qm.desktops.debug=true" shows them.
Q_DECLARE_LOGGING_CATEGORY(lcDesktops)

namespace qm::desktops {

// Runs the answer from the event loop, unless `context` is gone by then.
inline void AnswerLater(QObject* context, WallpaperDesktop::Answer answer, bool shown,
                        std::string why) {
    QTimer::singleShot(0, context, [answer = std::move(answer), shown, why = std::move(why)] {
        answer(shown, why);
    });
}

// What a desktop that cannot be asked shows: the picture it last took. A
// picture handed over counts only once the desktop has taken it, so that
// nobody removes the file it still shows; when answers cross, the newest
// picture taken wins.
class LastWrite {
public:
    // A picture handed over (not yet shown); the number its answer goes by.
    unsigned Hand(const std::string& /*path*/, Layout /*layout*/) { return ++handed_; }
    void Answered(unsigned number, bool taken, const std::string& path, Layout layout) {
        if (taken && number > taken_) {
            taken_ = number;
            shown_ = {path, layout};
        }
    }
    // What the desktop said it showed before it took anything of ours.
    void Known(std::optional<std::string> path, std::optional<Layout> layout) {
        if (taken_ == 0) {
            shown_ = {std::move(path), layout};
        }
    }
    std::optional<std::string> Picture() const { return shown_.first; }
    // Spanned is none of the layouts a user picks: it reads as centred.
    std::optional<Layout> CurrentLayout() const {
        return shown_.second == Layout::Spanned ? std::optional<Layout>(Layout::Centred)
                                                : shown_.second;
    }

private:
    std::pair<std::optional<std::string>, std::optional<Layout>> shown_;
    unsigned handed_ = 0;
    unsigned taken_ = 0;  // the newest number taken
};

}  // namespace qm::desktops
