#pragma once
class QWidget;

namespace tz::intake {
class CentroNiveles;
}

// The main window's centre panel (8, 34 of the bottom band, 289 × 143) and study levels panel
// (8, 3 of the window, 585 × 279), bound to the logic's datasets. The main window places and
// shows/hides them.
namespace tz::intake::gui {

QWidget* createCentrePanel(QWidget* parent, CentroNiveles& logic);
QWidget* createLevelsPanel(QWidget* parent, CentroNiveles& logic);
// Puts the focus on a panel's grid, on the first cell of its current row that takes typing.
void focusGrid(QWidget* panel);
void focusLevelsGrid(QWidget* levelsPanel);

}  // namespace tz::intake::gui
