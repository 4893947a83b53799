#pragma once
#include <functional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "base/UserPort.h"

namespace tz::timetable {
class AjustaXEL;
}

namespace tz::cli {

// The user-interaction port of the batch front end. Every message goes to `err` on its own
// line as its box shows it (line breaks as spaces); the error box adds its full stop; a question
// is "? <text> -> Si|No" with the answer given by `answer`. Notes (the warning lines of a run,
// which may be hundreds of thousands) are gathered and written a block at a time; everything
// else is written at once, after the notes before it, so the order of the lines stays.
class BatchPort : public base::UserPort {
  public:
    explicit BatchPort(std::ostream& err) : err_(err) {}
    ~BatchPort() override { flush(); }
    BatchPort(const BatchPort&) = delete;
    BatchPort& operator=(const BatchPort&) = delete;

    // Answers the confirmation boxes; unset, every question is answered "&No".
    std::function<bool(const std::string& text)> answer;
    // What the adjustment window does in a batch run.
    std::function<void(timetable::AjustaXEL&)> onAdjustment;

    void message(const std::string& text) override;
    bool confirm(const std::string& text) override;
    void errorBox(const std::string& text) override;
    void setBusy(bool) override {}
    void showCentrePanel(bool v) override { centreVisible = v; }
    void showLevelsPanel(bool v) override { levelsVisible = v; }
    void showVolverNiveles(bool) override {}
    // The bell schedule is accepted as it stands.
    void runBellScheduleCheck() override {}
    void runAdjustment(base::Adjustment& ajuste) override;
    void closeMainWindow() override { closed = true; }

    // Prints a note of the batch run itself (a skipped input line, a warning), one line.
    void note(const std::string& text);
    // The same, the line made by `make(out)` appending it to `out` in place: the notes of a
    // large check are not copied line by line.
    template <class Make>
    void noteMade(Make&& make) {
        const std::size_t at = pending_.size();
        try {
            make(pending_);
        } catch (...) {
            pending_.resize(at);  // no half line is written later
            throw;
        }
        endLine(at, "\n", true);
    }
    // Writes the notes gathered so far.
    void flush();

    bool centreVisible = false, levelsVisible = false, closed = false;
    int errors = 0;
    std::vector<std::string> messages;  // plain messages, as printed

    bool said(const std::string& text) const;

    // Line breaks as spaces, for one line per message.
    static std::string oneLine(std::string text);

  private:
    // Appends `line` and its line end to what is waiting; writes it all unless `gather`.
    void write(std::string_view line, std::string_view end, bool gather);
    // Ends the line that starts at `at` of what is waiting (see write).
    void endLine(std::size_t at, std::string_view end, bool gather);

    std::ostream& err_;
    std::string pending_;
};

}  // namespace tz::cli
