#pragma once
#include <cstdint>
#include <string>

// The system's compiled HTML help viewer (Windows: HtmlHelpW of hhctrl.ocx, loaded at first
// use). Elsewhere there is none.
namespace tz::platform {

// Whether the viewer could be loaded (always false off Windows).
bool htmlHelpAvailable();
// HtmlHelpW(window, file, command, data): `file` UTF-8 as the program names it (with
// "::/topic" for a topic), `data` a number, or for a keyword command the keyword's address
// given through `keyword` (UTF-8). Returns the viewer's window, 0 when it showed nothing.
std::uintptr_t htmlHelp(std::uintptr_t window, const std::string& file, unsigned command,
                        std::uintptr_t data, const std::string* keyword = nullptr);

}  // namespace tz::platform
