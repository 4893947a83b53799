#pragma once
#include <QtGlobal>

class QWidget;
class QWindow;

// The seam between the main window and the host's windowing system: embedding in the host's
// window, and the platform Qt must use for it. HostWindow.cpp is the X11 side (xcb); nothing
// else in the program knows which windowing system it runs on.
//
// The Windows side (HostWindowWin32.cpp, built instead of HostWindow.cpp; see docs/windows.md)
// keeps the same contract:
//   hostWindowExists  IsWindow((HWND)id); the handle comes from the command line in hexadecimal
//                     and is the host's HWND
//   embedInHost       QWindow::fromWinId((WId)id) as the parent of the widget's native window,
//                     frameless, at (0, 0) of the host's client area; null when the handle names
//                     no window
//   chooseWindowingPlatform  nothing to do (the "windows" platform embeds natively)
namespace tz::app::gui {

// True when the windowing system has a window with this id; false on platforms without
// foreign windows (offscreen, Wayland).
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
// Before QApplication is made: a hosted run (`argc` 3: program, mode word, handle) gets the
// platform that can embed in the host's windows (X11: xcb, unless QT_QPA_PLATFORM or
// -platform chooses otherwise, or there is no DISPLAY).
void chooseWindowingPlatform(int argc);

}  // namespace tz::app::gui
