// Placeholder until the help viewer is built (this file is removed then).
#include <QWidget>

#include "app/help/gui/HelpGui.h"

namespace tz::help::gui {
void installHelp(QApplication&) {}
void setHelpContext(QWidget* widget, int context) { widget->setProperty("helpContext", context); }
void helpButtonClicked(QWidget*) {}
}  // namespace tz::help::gui
