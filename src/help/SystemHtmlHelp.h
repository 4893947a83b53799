#pragma once
#include "help/HtmlHelpApi.h"

// The help backend that hands every request to the system's HTML Help viewer (Windows:
// HtmlHelpW of hhctrl.ocx, loaded at the first request). Where the system has none (Linux) it
// is not available() and requests do nothing; the help window of help/gui stands in there.
namespace tz::help {

class SystemHtmlHelp final : public HtmlHelpBackend {
  public:
    bool available() const override;
    void htmlHelp(WindowHandle window, const std::string& file, HhCommand command,
                  const HhData& data) override;
};

}  // namespace tz::help
