#pragma once
#include <filesystem>

namespace tz::tables {

// The tool's own state folder, for what it keeps between runs (kept copies of fCUADROS.txt,
// the log of runs): $XDG_STATE_HOME/transzanderxel when that is an absolute path, else
// ~/.local/state/transzanderxel (/tmp when there is no home). Never the administration's text
// folder nor the exchange folder. The folder is not created here.
std::filesystem::path stateFolder();

}  // namespace tz::tables
