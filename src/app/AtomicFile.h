#pragma once
#include <filesystem>
#include <functional>
#include <string_view>

namespace tz::app {

// Called with the finished temporary file just before it is renamed over the target; returning
// false abandons the write (a seam for tests that need a failing write).
using BeforeCommit = std::function<bool(const std::filesystem::path& temp)>;

// Replaces `file` with `bytes` in one step: a temporary file in the same folder is written,
// synced and renamed over the target, so readers see either the old or the new content, never a
// partial one. An existing file keeps its permissions; a symbolic link is written through to its
// target. Returns false (target untouched, temporary removed) on any failure.
bool writeFileAtomically(const std::filesystem::path& file, std::string_view bytes,
                         const BeforeCommit& beforeCommit = {});

}  // namespace tz::app
