// reliability_check_tables [--after-crash] FOLDER: every .DBF of the folder as our engine sees
// it. Prints what is wrong, one line each, and exits 1 when anything is. A table must open and
// read, and its header must count the whole records on disk; after a crash more records may
// follow them, every one marked deleted (the new rows of an append, written before the count
// was to be raised), never a live one, and never fewer records than the count.
#include <cstring>
#include <iostream>

#include "reliability/Sample.h"

int main(int argc, char** argv) {
    using namespace tz::reliability;
    bool afterCrash = argc > 1 && std::strcmp(argv[1], "--after-crash") == 0;
    if (argc != (afterCrash ? 3 : 2)) {
        std::cerr << "usage: reliability_check_tables [--after-crash] FOLDER\n";
        return 2;
    }
    const fs::path folder = argv[argc - 1];
    int bad = 0;
    for (const auto& t : tablesIn(folder)) {
        RawTable raw = inspectTable(t);
        bool countOk = raw.problem.empty() ||
                       (afterCrash && raw.readable && raw.recordsOnDisk > raw.headerCount &&
                        raw.deletedBeyond == raw.recordsOnDisk - raw.headerCount);
        if (!countOk) {
            std::cout << t.filename().string() << ": " << raw.problem << '\n';
            ++bad;
        }
        try {
            dumpTable(t);
        } catch (const std::exception& e) {
            std::cout << t.filename().string() << ": " << e.what() << '\n';
            ++bad;
        }
    }
    return bad ? 1 : 0;
}
