#pragma once
#include <filesystem>
#include <string>
#include <string_view>

namespace tz::tables {

// The folder that stands for the root of the current drive and for C:\ on this platform:
// the override when set, else $TRANSZANDERXEL_ROOT, else the Wine prefix's drive_c
// ($WINEPREFIX, else ~/.wine) when that folder exists, else $HOME.
std::filesystem::path exchangeRoot();
// Overrides the root for the rest of the process (the batch front end's --raiz). Empty clears.
void setRootOverride(const std::filesystem::path& root);

// Maps a name as the program writes it to a real path:
//   "\ZTEMP\X.DBF", "C:\ZTEMP", "c:\ztemp\x.dbf", "\ZDXM7\XEL.CHM"  → under exchangeRoot()
//   a native path ("/home/a/b", "rel/x")                            → itself
// Backslashes become separators. Every component that exists is found without regard to
// letter case (so "\ZTEMP\soluc.dbf" finds "/root/ztemp/SOLUC.DBF"); the rest is kept as given.
std::filesystem::path mapPath(std::string_view name);

// `p` with each existing component matched without regard to letter case.
std::filesystem::path findExisting(const std::filesystem::path& p);

bool fileExists(const std::filesystem::path& p);    // regular file, letter case ignored
bool folderExists(const std::filesystem::path& p);  // directory, letter case ignored

// The exchange folder "\ZTEMP" and a file in it.
std::filesystem::path ztemp();
std::filesystem::path ztempFile(std::string_view fileName);

}  // namespace tz::tables
