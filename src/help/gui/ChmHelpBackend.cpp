#include "help/gui/ChmHelpBackend.h"

#include <exception>

#include "help/VexHtmlHelp.h"
#include "help/gui/HelpWindow.h"

namespace tz::help::gui {

ChmHelpBackend::ChmHelpBackend() = default;
ChmHelpBackend::~ChmHelpBackend() = default;

void ChmHelpBackend::htmlHelp(WindowHandle, const std::string& file, HhCommand command,
                              const HhData& data) {
    try {
        if (command == HH_CLOSE_ALL) {
            if (window_) window_->closeAll();
            return;
        }
        const auto [name, topic] = splitHelpUrl(file);
        if (!isChmFile(name)) return;
        const std::filesystem::path path = helpFilePath(name);
        if (!window_) window_ = std::make_unique<HelpWindow>();
        if (!window_->openFile(path)) return;
        switch (command) {
            case HH_DISPLAY_TOC:
                window_->showContents();
                break;
            case HH_DISPLAY_TOPIC:
                window_->showTopic(topic);
                break;
            case HH_DISPLAY_INDEX:
                window_->showIndexKeyword(data.keyword);
                break;
            case HH_HELP_CONTEXT:
                window_->showContext(data.number);
                break;
            default:
                break;
        }
    } catch (const std::exception&) {
        // Help never interrupts the work it was asked from.
    }
}

}  // namespace tz::help::gui
