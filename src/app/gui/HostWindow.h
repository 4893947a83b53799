#pragma once
#include <QtGlobal>

class QWidget;
class QWindow;

// Embedding the main window in the host's window. X11 only; elsewhere the host cannot be
// reached and the callers fall back to a top-level window.
namespace tz::app::gui {

// True when the windowing system has a window with this id (X11); false on platforms without
// foreign windows.
bool hostWindowExists(quint32 id);
// Makes `widget`'s native window a borderless child of the host window. Returns the host's
// foreign QWindow (owned by the caller; un-parent the widget's window before deleting it), or
// null when the platform cannot embed or the host does not exist.
QWindow* embedInHost(QWidget* widget, quint32 id);

}  // namespace tz::app::gui
