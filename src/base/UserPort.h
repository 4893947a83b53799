#pragma once
#include <string>

namespace tz::base {

// The work behind the modal adjustment window, as the port carries it from the step that opens
// the window to the front end that shows it. It is declared here so that the port names no
// step's type: the timetable layer implements it (timetable::AjustaXEL) and gives a front end
// its own type back (timetable::AjustaXEL::of).
class Adjustment {
  public:
    virtual ~Adjustment() = default;

  protected:
    Adjustment() = default;
    Adjustment(const Adjustment&) = default;
    Adjustment& operator=(const Adjustment&) = default;
};

// Everything a step needs from the person at the screen. The steps never call Qt: the main
// window implements this with real widgets, the batch front end from its command-line answers,
// and the tests with a recorder that scripts the answers and lists what was shown.
//
// Texts are UTF-8. Line breaks inside a text are "\r" (carriage return), as the system's
// messages are written.
class UserPort {
  public:
    virtual ~UserPort() = default;

    // Plain message box: caption "transZanderXEL", one button "Aceptar".
    virtual void message(const std::string& text) = 0;
    // Confirmation box: caption "Confirmación", question icon, buttons "&Si" and "&No".
    // Returns true for "&Si".
    virtual bool confirm(const std::string& text) = 0;
    // The standard error box for an engine or runtime error that ended a user action: stop
    // icon, caption "transZanderXEL". `text` is the error's own text; the box adds a full stop.
    virtual void errorBox(const std::string& text) = 0;

    // Application-wide hourglass on (true) or the normal cursor (false).
    virtual void setBusy(bool busy) = 0;

    // Main window panels.
    virtual void showCentrePanel(bool visible) = 0;
    virtual void showLevelsPanel(bool visible) = 0;
    virtual void showVolverNiveles(bool visible) = 0;  // button "Volver a Niveles Estudios"
    // Puts the keyboard focus on the levels grid (the grid's Enter handler then runs).
    virtual void focusLevelsGrid() {}

    // Modal bell-schedule check window over \ZTEMP\PLANTILLA.DBF; returns when it has closed.
    virtual void runBellScheduleCheck() = 0;
    // Modal adjustment window over the given work (its views already open); returns when the
    // window has closed, whichever way.
    virtual void runAdjustment(Adjustment& ajuste) = 0;

    // Closes the main window (hosted runs then write the run status and end).
    virtual void closeMainWindow() = 0;
};

// Turns the "\r" line breaks of a system text into the platform's line breaks for display.
inline std::string displayText(std::string text) {
    for (char& c : text)
        if (c == '\r') c = '\n';
    return text;
}

}  // namespace tz::base
