// Another Windows program holding a table, for the Wine checks of scripts/build-windows.sh:
//   win_hold_table lock|share FILE READY STOP
// lock: opens FILE shared for reading and writing and holds an exclusive LockFileEx over the
// whole file, as a dBase program holding the table does; share: opens FILE for reading with a
// share mode that denies writing to everybody else. Creates READY once it holds the file and
// lets go when STOP exists (or after two minutes).
#include <windows.h>

#include <cstdio>
#include <cwchar>

int wmain(int argc, wchar_t** argv) {
    if (argc != 5) {
        std::fprintf(stderr, "usage: win_hold_table lock|share FILE READY STOP\n");
        return 2;
    }
    const bool lock = std::wcscmp(argv[1], L"lock") == 0;
    HANDLE h =
        lock ? CreateFileW(argv[2], GENERIC_READ | GENERIC_WRITE,
                           FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr)
             : CreateFileW(argv[2], GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                           nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        std::fprintf(stderr, "open failed: %lu\n", GetLastError());
        return 1;
    }
    if (lock) {
        OVERLAPPED o{};
        if (!LockFileEx(h, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, MAXDWORD,
                        MAXDWORD, &o)) {
            std::fprintf(stderr, "lock failed: %lu\n", GetLastError());
            return 1;
        }
    }
    HANDLE ready = CreateFileW(argv[3], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    CloseHandle(ready);
    for (int i = 0; i < 2400 && GetFileAttributesW(argv[4]) == INVALID_FILE_ATTRIBUTES; ++i)
        Sleep(50);
    CloseHandle(h);
    return 0;
}
