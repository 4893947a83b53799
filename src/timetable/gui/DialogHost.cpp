#include "timetable/gui/DialogHost.h"

#include <QWidget>
#include <QWindow>

namespace tz::timetable::gui {

QWindow* hostWindowOf(const QWidget* owner) {
    if (!owner) return nullptr;
    const QWindow* own = owner->window()->windowHandle();
    return own ? own->parent() : nullptr;
}

QWidget* dialogParent(QWidget* owner) { return hostWindowOf(owner) ? nullptr : owner; }

void placeDialog(QWidget* dialog, const QWidget* owner) {
    QWindow* host = hostWindowOf(owner);
    if (!dialog || !host || dialog->parentWidget()) return;
    dialog->winId();  // the native window, so that it can be given a transient parent
    if (QWindow* w = dialog->windowHandle()) w->setTransientParent(host);
}

}  // namespace tz::timetable::gui
