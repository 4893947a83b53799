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
// Gives the keyboard to an embedded widget's window, as a click inside it would. The host's
// window keeps it otherwise: a window embedded in it gets no keys of its own accord. False when
// the window is not shown yet (nothing done then).
bool takeKeyboard(QWidget* widget);
// The window that has the keyboard now: 0 for none, 1 for the window under the pointer, else its
// id (X11; 0 elsewhere).
quint32 keyboardFocus();

}  // namespace tz::app::gui
