#include "platform/shell.h"

#include <algorithm>

namespace qm {

void DialogStack::Push(unsigned templateId, DialogWindow& window) {
    open_.push_back({templateId, &window});
}

void DialogStack::Pop(DialogWindow& window) {
    open_.erase(std::remove_if(open_.begin(), open_.end(),
                               [&](const Open& o) { return o.window == &window; }),
                open_.end());
}

DialogWindow* DialogStack::Innermost() const {
    return open_.empty() ? nullptr : open_.back().window;
}

bool DialogStack::BringToFront(unsigned templateId) {
    auto it = std::find_if(open_.begin(), open_.end(),
                           [&](const Open& o) { return o.templateId == templateId; });
    if (it == open_.end()) {
        return false;
    }
    for (; it != open_.end(); ++it) {
        it->window->Raise();
    }
    open_.back().window->Activate();
    return true;
}

}  // namespace qm
