#pragma once
#include <memory>
#include <string>

#include "help/HtmlHelpApi.h"

namespace tz::help::gui {

class HelpWindow;

// The help backend of this platform: shows compiled help files in a HelpWindow. The window and
// the file are only made and read when help is asked for. A missing or unreadable file, or one
// that is not a ".chm" file, shows nothing.
class ChmHelpBackend final : public HtmlHelpBackend {
  public:
    ChmHelpBackend();
    ~ChmHelpBackend() override;

    void htmlHelp(WindowHandle window, const std::string& file, HhCommand command,
                  const HhData& data) override;
    // The window, once a request has made it.
    HelpWindow* window() const { return window_.get(); }

  private:
    std::unique_ptr<HelpWindow> window_;
};

}  // namespace tz::help::gui
