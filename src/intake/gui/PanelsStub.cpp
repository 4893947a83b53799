// Placeholder panels until the real ones are built (this file is removed then).
#include <QWidget>

#include "intake/gui/Panels.h"

namespace tz::intake::gui {
QWidget* createCentrePanel(QWidget* parent, CentroNiveles&) { return new QWidget(parent); }
QWidget* createLevelsPanel(QWidget* parent, CentroNiveles&) { return new QWidget(parent); }
void focusLevelsGrid(QWidget*) {}
}  // namespace tz::intake::gui
