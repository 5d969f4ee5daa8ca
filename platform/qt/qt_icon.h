// Icon resources for the Qt backend, drawn from the same drawing as the
// Windows icon file at every size a tray or title bar asks for.
#pragma once

#include <QIcon>
#include <QPixmap>

namespace qm {

// Icon resource id as an icon; a null icon when the id names none.
QIcon ResourceIcon(unsigned id);
// One size of it; a null pixmap when the id names none.
QPixmap ResourcePixmap(unsigned id, int size);

}  // namespace qm
