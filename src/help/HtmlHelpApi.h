#pragma once
#include <cstdint>
#include <string>

// The HtmlHelp-style call through which the help viewer adapter asks a platform help viewer to
// show something: HtmlHelp(window, file, command, data). The command values are those of the
// published HTML Help interface.
namespace tz::help {

using WindowHandle = std::uintptr_t;

enum HhCommand : unsigned {
    HH_DISPLAY_TOPIC = 0x00,
    HH_DISPLAY_TOC = 0x01,
    HH_DISPLAY_INDEX = 0x02,
    HH_HELP_CONTEXT = 0x0F,
    HH_CLOSE_ALL = 0x12,
    HH_GET_LAST_ERROR = 0x14,
};

// The data argument: a number (context, or 0) or, for HH_DISPLAY_INDEX, a keyword.
struct HhData {
    std::uint32_t number = 0;
    std::string keyword;
    bool operator==(const HhData&) const = default;
};

class HtmlHelpBackend {
  public:
    virtual ~HtmlHelpBackend() = default;
    // False when the platform viewer could not be loaded; every request then does nothing.
    virtual bool available() const { return true; }
    // `file` is the resolved help file as the program names it, for HH_DISPLAY_TOPIC followed by
    // "::/" and the topic; empty for HH_CLOSE_ALL. Must not throw.
    virtual void htmlHelp(WindowHandle window, const std::string& file, HhCommand command,
                          const HhData& data) = 0;
};

}  // namespace tz::help
