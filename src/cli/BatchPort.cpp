#include "cli/BatchPort.h"

#include <algorithm>

#include "timetable/AjustaXEL.h"

namespace tz::cli {

std::string BatchPort::oneLine(std::string text) {
    for (char& c : text)
        if (c == '\r' || c == '\n') c = ' ';
    return text;
}

void BatchPort::message(const std::string& text) {
    messages.push_back(oneLine(text));
    err_ << messages.back() << '\n' << std::flush;
}

bool BatchPort::confirm(const std::string& text) {
    const bool yes = answer ? answer(text) : false;
    err_ << "? " << oneLine(text) << (yes ? " -> Si" : " -> No") << '\n' << std::flush;
    return yes;
}

void BatchPort::errorBox(const std::string& text) {
    ++errors;
    err_ << oneLine(text) << ".\n" << std::flush;
}

void BatchPort::runAdjustment(base::Adjustment& ajuste) {
    if (onAdjustment) onAdjustment(timetable::AjustaXEL::of(ajuste));
}

void BatchPort::note(const std::string& text) { err_ << oneLine(text) << '\n' << std::flush; }

bool BatchPort::said(const std::string& text) const {
    return std::find(messages.begin(), messages.end(), text) != messages.end();
}

}  // namespace tz::cli
