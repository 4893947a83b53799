#pragma once
class QApplication;
class QWidget;

// The help system as the windows use it.
namespace tz::help::gui {

// Registers the help viewer with the application and installs the F1 handler: F1 asks for the
// help context of the focused widget (the nearest enclosing widget that has one).
void installHelp(QApplication& app);
// Gives a widget (and the widgets inside it without a context of their own) a help context.
void setHelpContext(QWidget* widget, int context);
// "F1 AYUDA": the help file becomes "\ZDXM7\XEL.CHM" and its table of contents is shown.
void helpButtonClicked(QWidget* from);

}  // namespace tz::help::gui
