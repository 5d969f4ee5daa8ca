// What the desktop classes share over Qt: their diagnostics category and the
// answer to a picture given later from the event loop, as every answer is.
#pragma once

#include <string>

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

}  // namespace qm::desktops
