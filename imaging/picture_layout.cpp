#include "imaging/picture_layout.h"

namespace qm {

Area Intersect(Area a, Area b) {
    const int x0 = std::max(a.x, b.x), y0 = std::max(a.y, b.y);
    const int x1 = std::min(a.x + a.width, b.x + b.width);
    const int y1 = std::min(a.y + a.height, b.y + b.height);
    return {x0, y0, std::max(0, x1 - x0), std::max(0, y1 - y0)};
}

Area AspectArea(int width, int height, const Area& monitor, bool fill) {
    const long long across = static_cast<long long>(monitor.width) * height;
    const long long down = static_cast<long long>(monitor.height) * width;
    const bool byWidth = fill ? across >= down : across <= down;
    Area to = monitor;
    if (byWidth) {
        to.height = static_cast<int>((across + width / 2) / width);
    } else {
        to.width = static_cast<int>((down + height / 2) / height);
    }
    to.width = std::max(to.width, 1);
    to.height = std::max(to.height, 1);
    to.x = monitor.x + (monitor.width - to.width) / 2;
    to.y = monitor.y + (monitor.height - to.height) / 2;
    return to;
}

}  // namespace qm
