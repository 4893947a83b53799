#include "app/AtomicFile.h"

#include <system_error>

#include "tables/FileIo.h"

namespace tz::app {
namespace fs = std::filesystem;

bool writeFileAtomically(const fs::path& file, std::string_view bytes,
                         const BeforeCommit& beforeCommit) {
    std::error_code ec;
    fs::path target = file;
    if (fs::is_symlink(target, ec)) {
        const fs::path resolved = fs::weakly_canonical(target, ec);
        if (ec) return false;
        target = resolved;
    }
    if (fs::is_directory(target, ec)) return false;

    // Through the table engine's file layer: temporary file, sync, rename, folder sync.
    return !tables::replaceFile(target, bytes, beforeCommit);
}

}  // namespace tz::app
