#pragma once
class QWidget;
class QWindow;

// Dialogs of a window that may be embedded in a foreign (host) window. A dialog's window stays
// above the window it is made for only when that window is a top-level one; an embedded window
// is not, so its dialogs are made without a parent and kept above the host's window instead.
namespace tz::timetable::gui {

// The host window that holds `owner`'s window, or null when that window is a top-level one.
QWindow* hostWindowOf(const QWidget* owner);
// The parent a dialog for `owner` is made with: `owner`, or null when its window is embedded.
QWidget* dialogParent(QWidget* owner);
// Before a dialog made with dialogParent(owner) is shown: when `owner` is embedded, the dialog
// is kept above the host's window and centred on it.
void placeDialog(QWidget* dialog, const QWidget* owner);

}  // namespace tz::timetable::gui
