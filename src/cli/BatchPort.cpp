#include "cli/BatchPort.h"

#include <algorithm>
#include <cstring>

#include "timetable/AjustaXEL.h"

namespace tz::cli {

std::string BatchPort::oneLine(std::string text) {
    for (char& c : text)
        if (c == '\r' || c == '\n') c = ' ';
    return text;
}

void BatchPort::write(std::string_view line, std::string_view end, bool gather) {
    const std::size_t at = pending_.size();
    pending_ += line;
    endLine(at, end, gather);
}

void BatchPort::endLine(std::size_t at, std::string_view end, bool gather) {
    // The line's own line breaks become spaces (as oneLine), in place.
    const char* line = pending_.data() + at;
    const std::size_t n = pending_.size() - at;
    if (std::memchr(line, '\r', n) || std::memchr(line, '\n', n))
        std::replace_if(
            pending_.begin() + static_cast<std::ptrdiff_t>(at), pending_.end(),
            [](char c) { return c == '\r' || c == '\n'; }, ' ');
    pending_ += end;
    // A block of about 64 KiB in one write; a console or pipe reader sees whole lines.
    if (!gather || pending_.size() >= 64 * 1024) flush();
}

void BatchPort::flush() {
    if (pending_.empty()) return;
    err_.write(pending_.data(), static_cast<std::streamsize>(pending_.size()));
    err_.flush();
    pending_.clear();
}

void BatchPort::message(const std::string& text) {
    messages.push_back(oneLine(text));
    write(messages.back(), "\n", false);
}

bool BatchPort::confirm(const std::string& text) {
    const bool yes = answer ? answer(text) : false;
    write("? " + text, yes ? " -> Si\n" : " -> No\n", false);
    return yes;
}

void BatchPort::errorBox(const std::string& text) {
    ++errors;
    write(text, ".\n", false);
}

void BatchPort::runAdjustment(base::Adjustment& ajuste) {
    if (onAdjustment) onAdjustment(timetable::AjustaXEL::of(ajuste));
}

void BatchPort::note(const std::string& text) { write(text, "\n", true); }

bool BatchPort::said(const std::string& text) const {
    return std::find(messages.begin(), messages.end(), text) != messages.end();
}

}  // namespace tz::cli
