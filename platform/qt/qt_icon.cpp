#include "platform/qt/qt_icon.h"

#include <QImage>

#include "res/icon_drawing.h"
#include "res/resource.h"

namespace qm {

QPixmap ResourcePixmap(unsigned id, int size) {
    if (id != IDR_MAINFRAME || size <= 0) {
        return {};
    }
    QImage image(size, size, QImage::Format_RGB32);
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            const auto& c = icon::kPalette[icon::PixelIndex(x, y, size)];
            image.setPixel(x, y, qRgb(c[0], c[1], c[2]));
        }
    }
    return QPixmap::fromImage(image);
}

QIcon ResourceIcon(unsigned id) {
    QIcon result;
    for (int size : {16, 22, 24, 32, 48, 64, 128}) {
        QPixmap pixmap = ResourcePixmap(id, size);
        if (pixmap.isNull()) {
            return {};
        }
        result.addPixmap(pixmap);
    }
    return result;
}

}  // namespace qm
