#include "tables/StateFolder.h"

#include <cstdlib>

namespace tz::tables {

std::filesystem::path stateFolder() {
    namespace fs = std::filesystem;
    if (const char* x = std::getenv("XDG_STATE_HOME"); x && *x && fs::path(x).is_absolute())
        return fs::path(x) / "transzanderxel";
    const char* home = std::getenv("HOME");
    return fs::path(home && *home ? home : "/tmp") / ".local" / "state" / "transzanderxel";
}

}  // namespace tz::tables
