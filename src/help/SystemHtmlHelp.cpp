#include "help/SystemHtmlHelp.h"

#include "platform/HtmlHelp.h"

namespace tz::help {

bool SystemHtmlHelp::available() const { return platform::htmlHelpAvailable(); }

void SystemHtmlHelp::htmlHelp(WindowHandle window, const std::string& file, HhCommand command,
                              const HhData& data) {
    // The keyword command passes its text; the others a number (a context, or 0).
    const bool keyword = command == HH_DISPLAY_INDEX;
    platform::htmlHelp(window, file, command, data.number, keyword ? &data.keyword : nullptr);
}

}  // namespace tz::help
