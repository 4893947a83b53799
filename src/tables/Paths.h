#pragma once
#include <filesystem>
#include <string>
#include <string_view>

// Names as the program writes them, and the real paths they stand for.
namespace tz::tables {

// A file or folder name as the program writes it, UTF-8: "\ZTEMP\SOLUC.DBF" (the root of the
// current drive), "C:\ZTEMP" (drive C), "XEL.CHM", or a native path. Only mapPath turns one into
// a real path, and a real path (std::filesystem::path) is never taken for a name: so nothing is
// mapped twice.
class ProgramName {
  public:
    ProgramName(const char* name) : text_(name) {}
    ProgramName(std::string name) : text_(std::move(name)) {}
    ProgramName(std::string_view name) : text_(name) {}
    const std::string& text() const { return text_; }

  private:
    std::string text_;
};

// The folder that stands for the root of the current drive and for C:\ when there are no
// drives (Linux): the override when set, else $TRANSZANDERXEL_ROOT, else the Wine prefix's
// drive_c ($WINEPREFIX, else ~/.wine) when that folder exists, else $HOME. On Windows the
// override or $TRANSZANDERXEL_ROOT when set (a folder standing for the root of every drive,
// for tests and scripts), else the root of the current drive; neither HOME nor WINEPREFIX
// plays any part there.
std::filesystem::path exchangeRoot();
// Overrides the root for the rest of the process (the batch front end's --raiz). Empty clears.
void setRootOverride(const std::filesystem::path& root);
// The current drive follows the text folder a job was given (Windows: "\ZTEMP" is then on
// that folder's drive; before any, on the working folder's). Nothing to follow on Linux.
void followTextFolder(const std::filesystem::path& folder);

// How a name maps under a system's rules, as text: the root stands for the root of every drive
// (no drives, or an override), else `currentDrive` ("D:") is put before a name rooted without
// one and a name with a drive is a real path already. On Linux backslashes become "/".
// Returns the name unchanged for a native path. Pure: the mapping of both systems is tested on
// either.
struct NameRules {
    bool driveLetters = false;  // Windows
    std::string root;           // empty: none (Windows without an override)
    std::string currentDrive;   // "C:", "\\server\share"
};
std::string mapName(std::string_view name, const NameRules& rules);

// Maps a name to a real path (mapName under this system's rules, then findExisting):
//   "\ZTEMP\X.DBF", "C:\ZTEMP", "c:\ztemp\x.dbf", "\ZDXM7\XEL.CHM"  → under exchangeRoot()
//   (Windows without an override: the current drive's root, and drive C for "C:\…")
//   a native path ("/home/a/b", "rel/x")                           → itself
// Every component that exists is found without regard to letter case (so "\ZTEMP\soluc.dbf"
// finds "/root/ztemp/SOLUC.DBF"); the rest is kept as given.
std::filesystem::path mapPath(const ProgramName& name);

// `p` with each existing component matched without regard to letter case.
std::filesystem::path findExisting(const std::filesystem::path& p);

bool fileExists(const std::filesystem::path& p);    // regular file, letter case ignored
bool folderExists(const std::filesystem::path& p);  // directory, letter case ignored

// The exchange folder "\ZTEMP" and a file in it.
std::filesystem::path ztemp();
std::filesystem::path ztempFile(std::string_view fileName);

}  // namespace tz::tables
