#pragma once
#include <ctime>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Process-wide facts that differ between Linux and Windows.
namespace tz::platform {

// Program texts and paths are UTF-8 inside the program; these convert at the edge with the
// file system (Windows keeps paths wide, a narrow std::filesystem::path there would take the
// ANSI code page).
std::filesystem::path pathFromUtf8(std::string_view utf8);
std::string utf8(const std::filesystem::path& p);

// The folder of the running executable with a trailing separator, UTF-8 ("" when unknown).
// POSIX: /proc/self/exe. Windows: GetModuleFileNameW.
std::string executableFolder();

// The tool's own folder for kept copies and logs: $XDG_STATE_HOME/transzanderxel (or
// ~/.local/state/transzanderxel) on Linux, %LOCALAPPDATA%\transzanderxel on Windows. Not
// created here.
std::filesystem::path stateFolder();

// An environment variable as UTF-8, nothing when unset.
std::optional<std::string> environment(std::string_view name);

// Local time of `t`.
std::tm localTime(std::time_t t);

// The process's own number.
long processId();

// The arguments after the program name, UTF-8. Windows: from the wide command line, so a
// folder named in any language arrives whole; POSIX: argv as given.
std::vector<std::string> commandLineArguments(int argc, char** argv);

// Makes the console show UTF-8 text as written (Windows: the console's output code page;
// nothing to do on POSIX).
void prepareConsole();

#ifndef _WIN32
// Runs `program` with `args` (those after its name), sharing this process's standard streams,
// and waits for it to end. Returns its exit status, or -1 with `error` set (Spanish) when it
// could not be started or did not exit by itself.
int runProgram(const std::filesystem::path& program, const std::vector<std::string>& args,
               std::string& error);
#endif

// For a short-lived process that works through large tables (the batch): memory it frees is
// kept for its next allocations instead of going back to the system, which would hand it out
// again page by page, a fault each; and its heap asks the kernel for huge pages (Linux with
// glibc; nothing elsewhere).
void keepFreedMemory();

// Windows: the drive or share ("C:", "\\server\share") a path lies on, empty on POSIX or for a
// relative path without one.
std::string driveOf(const std::filesystem::path& p);

}  // namespace tz::platform

namespace tz::platform {
// Whether paths have drive letters and a current drive (Windows).
#ifdef _WIN32
inline constexpr bool kDriveLetters = true;
#else
inline constexpr bool kDriveLetters = false;
#endif
}  // namespace tz::platform
