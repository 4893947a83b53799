// A second process for the locking tests: opens, holds, creates or appends to a table as told.
//   lock_helper hold shared|exclusive|readonly FILE   open, print "ready", wait for stdin to close
//   lock_helper open shared|exclusive|readonly FILE   print "ok" or the engine error
//   lock_helper create FILE                           replace the table, print "ok" or the error
//   lock_helper delete FILE                           delete the table, print "ok" or the error
//   lock_helper append FILE PREFIX N                  append N rows PREFIXn to KEY, shared
//   lock_helper folder FOLDER                         hold the folder as a job does: print
//                                                     "ready" and wait for stdin to close, or
//                                                     print "held" (exit 3)
//   lock_helper posix read|write FILE START LENGTH    hold a POSIX record lock (fcntl F_SETLK,
//                                                     owned by the process, as programs under
//                                                     Wine hold theirs; LENGTH 0: to the end of
//                                                     the file and beyond), print "ready" and
//                                                     wait for stdin to close, or print "held"
// Exit status: 0 done, 3 engine error, 2 wrong usage.
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <iostream>
#include <string>

#include "tables/Dataset.h"
#include "tables/FileIo.h"
#include "tables/TableFiles.h"

using namespace tz::tables;

namespace {
OpenMode modeOf(const std::string& m) {
    if (m == "exclusive") return OpenMode::Exclusive;
    if (m == "readonly") return OpenMode::ReadOnly;
    return OpenMode::Shared;
}
}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) return 2;
    std::string cmd = argv[1];
    try {
        if (cmd == "hold" && argc == 4) {
            Dataset d;
            d.open(argv[3], modeOf(argv[2]));
            std::cout << "ready" << std::endl;
            std::string line;
            while (std::getline(std::cin, line)) {
            }
            return 0;
        }
        if (cmd == "open" && argc == 4) {
            Dataset d;
            d.open(argv[3], modeOf(argv[2]));
            std::cout << "ok" << std::endl;
            return 0;
        }
        if (cmd == "create") {
            createTable(argv[2], {charField("KEY", 8)}, {});
            std::cout << "ok" << std::endl;
            return 0;
        }
        if (cmd == "delete") {
            deleteTableFiles(argv[2]);
            std::cout << "ok" << std::endl;
            return 0;
        }
        if (cmd == "folder" && argc == 3) {
            if (!holdFolder(argv[2])) {
                std::cout << "held" << std::endl;
                return 3;
            }
            std::cout << "ready" << std::endl;
            std::string line;
            while (std::getline(std::cin, line)) {
            }
            return 0;
        }
        if (cmd == "posix" && argc == 6) {
            const int fd = ::open(argv[3], std::string(argv[2]) == "write" ? O_RDWR : O_RDONLY);
            if (fd < 0) return 2;
            struct flock fl {};
            fl.l_type = std::string(argv[2]) == "write" ? F_WRLCK : F_RDLCK;
            fl.l_whence = SEEK_SET;
            fl.l_start = static_cast<off_t>(std::stoull(argv[4]));
            fl.l_len = static_cast<off_t>(std::stoull(argv[5]));
            if (::fcntl(fd, F_SETLK, &fl) != 0) {
                std::cout << "held" << std::endl;
                return 3;
            }
            std::cout << "ready" << std::endl;
            std::string line;
            while (std::getline(std::cin, line)) {
            }
            ::close(fd);
            return 0;
        }
        if (cmd == "append" && argc == 5) {
            Dataset d;
            d.open(argv[2], OpenMode::Shared);
            int n = std::stoi(argv[4]);
            for (int i = 0; i < n; ++i) d.appendRecord({argv[3] + std::to_string(i)});
            std::cout << "ok" << std::endl;
            return 0;
        }
    } catch (const EngineError& e) {
        std::cout << e.what() << std::endl;
        return 3;
    }
    return 2;
}
