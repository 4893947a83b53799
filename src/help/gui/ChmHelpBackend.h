#pragma once
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "help/HtmlHelpApi.h"

namespace tz::help::gui {

class HelpWindow;

// The help backend of this platform: shows compiled help files in a HelpWindow. The window and
// the file are only made and read when help is asked for. A help file is looked for in the
// places helpFileCandidates() gives; when none holds it, or it cannot be read, the user is told
// where it was looked for. A name that is not a ".chm" file shows nothing.
class ChmHelpBackend final : public HtmlHelpBackend {
  public:
    // `exeFolder` (with its final separator) is where the fallback copies are looked for.
    explicit ChmHelpBackend(std::string exeFolder = {});
    ~ChmHelpBackend() override;

    void htmlHelp(WindowHandle window, const std::string& file, HhCommand command,
                  const HhData& data) override;
    // The window, once a request has made it.
    HelpWindow* window() const { return window_.get(); }

    // Shows a message to the user (UTF-8, "\r" between lines); unset: a plain message box.
    std::function<void(const std::string& text)> tell;

    // The message for a help file found in none of `places`.
    static std::string missingText(const std::string& name,
                                   const std::vector<std::filesystem::path>& places);
    // The message for a help file that is there but cannot be read as one.
    static std::string unreadableText(const std::filesystem::path& file);

  private:
    void say(const std::string& text);

    std::string exeFolder_;
    std::unique_ptr<HelpWindow> window_;
};

}  // namespace tz::help::gui
