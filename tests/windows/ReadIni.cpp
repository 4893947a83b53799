// Reads one integer back through the system's INI reader, for the Wine check that Zandrix.ini
// as our INI writer leaves it is what the timetabler's GetPrivateProfileIntA reads:
//   win_read_ini FILE SECTION KEY     prints the value, or "ninguno" when the key is missing
#include <windows.h>

#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: win_read_ini FILE SECTION KEY\n");
        return 2;
    }
    const UINT missing = 0x7FFFFFFF;
    const UINT v = GetPrivateProfileIntA(argv[2], argv[3], static_cast<INT>(missing), argv[1]);
    if (v == missing) {
        std::printf("ninguno\n");
    } else {
        std::printf("%d\n", static_cast<int>(v));
    }
    return 0;
}
