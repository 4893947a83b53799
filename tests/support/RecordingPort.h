#pragma once
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "base/UserPort.h"

namespace tz::testing {

// A user-interaction port for headless tests: records everything shown, in order, and answers
// questions from a script. Entries of `shown`:
//   "MSG <text>"      plain message
//   "ASK <text> -> Si|No"
//   "ERR <text>"      standard error box (text without the final full stop)
//   "BUSY on" / "BUSY off"
//   "PANEL centre on|off", "PANEL levels on|off", "PANEL volver on|off"
//   "CHECK"           bell-schedule check window
//   "AJUSTE"          adjustment window
//   "CLOSE"           main window closed
class RecordingPort : public base::UserPort {
  public:
    std::vector<std::string> shown;
    std::deque<bool> answers;  // answers for confirm(); when empty, `defaultAnswer`
    bool defaultAnswer = false;
    bool busy = false;
    bool centreVisible = false, levelsVisible = false, volverVisible = false;
    bool closed = false;
    // What the bell-schedule check and the adjustment window do while "open".
    std::function<void()> onBellScheduleCheck;
    std::function<void(base::Adjustment&)> onAdjustment;

    void message(const std::string& text) override { shown.push_back("MSG " + text); }
    bool confirm(const std::string& text) override {
        bool a = defaultAnswer;
        if (!answers.empty()) {
            a = answers.front();
            answers.pop_front();
        }
        shown.push_back("ASK " + text + (a ? " -> Si" : " -> No"));
        return a;
    }
    void errorBox(const std::string& text) override { shown.push_back("ERR " + text); }
    void setBusy(bool b) override {
        busy = b;
        shown.push_back(b ? "BUSY on" : "BUSY off");
    }
    void showCentrePanel(bool v) override { centreVisible = v, panel("centre", v); }
    void showLevelsPanel(bool v) override { levelsVisible = v, panel("levels", v); }
    void showVolverNiveles(bool v) override { volverVisible = v, panel("volver", v); }
    void runBellScheduleCheck() override {
        shown.push_back("CHECK");
        if (onBellScheduleCheck) onBellScheduleCheck();
    }
    void runAdjustment(base::Adjustment& a) override {
        shown.push_back("AJUSTE");
        if (onAdjustment) onAdjustment(a);
    }
    void closeMainWindow() override {
        closed = true;
        shown.push_back("CLOSE");
    }

    // Only the entries that start with `prefix` ("MSG ", "ASK ", ...), prefix removed.
    std::vector<std::string> only(const std::string& prefix) const {
        std::vector<std::string> out;
        for (const auto& s : shown)
            if (s.rfind(prefix, 0) == 0) out.push_back(s.substr(prefix.size()));
        return out;
    }
    std::vector<std::string> messages() const { return only("MSG "); }

  private:
    void panel(const char* name, bool v) {
        shown.push_back(std::string("PANEL ") + name + (v ? " on" : " off"));
    }
};

}  // namespace tz::testing
