#pragma once
#include <functional>
#include <string>

class QApplication;
class QString;
class QWidget;

// The help system as the windows use it.
namespace tz::help::gui {

class HelpWindow;

// Registers the help viewer with the application and installs the F1 handler: F1 asks for the
// help context of the focused widget (the nearest enclosing widget that has one). The help file
// becomes "XEL.CHM" (beside the executable). Nothing is read until help is asked for.
void installHelp(QApplication& app);
// Gives a widget (and the widgets inside it without a context of their own) a help context.
void setHelpContext(QWidget* widget, int context);
// "F1 AYUDA": the help file becomes "\ZDXM7\XEL.CHM" and its table of contents is shown.
void helpButtonClicked(QWidget* from);

// The context F1 asks for on `widget`: its own or its nearest parent's; 0 when none has one.
int helpContextOf(const QWidget* widget);
// Context help for the application's current help file (what F1 does).
void contextHelp(int context);
// The application's current help file, as the program names it.
void setHelpFile(const QString& name);
QString helpFile();
// How help tells the user something (a help file missing or unreadable, with where it was looked
// for): UTF-8 text, "\r" between lines. Unset, a plain message box is shown.
void setHelpMessages(std::function<void(const std::string&)> show);
// The help window once help has been shown, else null.
HelpWindow* helpWindow();

}  // namespace tz::help::gui
