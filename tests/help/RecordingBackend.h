#pragma once
#include <string>
#include <vector>

#include "help/HtmlHelpApi.h"

namespace tz::testing {

// An HtmlHelp backend that lists every call it receives.
class RecordingBackend : public help::HtmlHelpBackend {
  public:
    struct Call {
        help::WindowHandle window;
        std::string file;
        help::HhCommand command;
        help::HhData data;
        bool operator==(const Call&) const = default;
    };
    bool loaded = true;
    std::vector<Call> calls;

    bool available() const override { return loaded; }
    void htmlHelp(help::WindowHandle window, const std::string& file, help::HhCommand command,
                  const help::HhData& data) override {
        calls.push_back({window, file, command, data});
    }
};

}  // namespace tz::testing
