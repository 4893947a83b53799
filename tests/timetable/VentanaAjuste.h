#pragma once
// The adjustment window opened over a school's export tables, as the job opens it, for the
// window tests: a test class derives from it and uses port, state, logic and window.
#include <memory>

#include "School.h"
#include "base/RunState.h"
#include "support/RecordingPort.h"
#include "timetable/AjustaXEL.h"
#include "timetable/gui/TAjustaXEL.h"

namespace tz::testing {

struct VentanaAjuste {
    std::unique_ptr<RecordingPort> port;
    std::unique_ptr<base::RunState> state;
    std::unique_ptr<timetable::AjustaXEL> logic;
    std::unique_ptr<timetable::gui::TAjustaXEL> window;

    // Opens and shows the window over the export tables of `school` (its text folder the
    // run's); the caller waits for it to be exposed.
    void abreAjuste(const School& school) {
        port = std::make_unique<RecordingPort>();
        state = std::make_unique<base::RunState>();
        state->CarpetaTextos = school.textos();
        logic = std::make_unique<timetable::AjustaXEL>(*state, *port);
        window = std::make_unique<timetable::gui::TAjustaXEL>(nullptr, *logic);
        window->show();
    }
    // The window first, then what it works on.
    void cierraAjuste() {
        window.reset();
        logic.reset();
        state.reset();
        port.reset();
    }
};

}  // namespace tz::testing
