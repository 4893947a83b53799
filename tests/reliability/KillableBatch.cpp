// transzanderxel-batch for the crash-safety test: the same main(), with a file-layer hook that
// the environment arms. TZ_TEST_KILL_AFTER=N kills the process (SIGKILL) just before its N-th
// write-type file operation; TZ_TEST_COUNT_TO=FILE writes the number of such operations there
// when the process ends normally. The shipped executable has no such hook.
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <string>

#include "tables/FileIo.h"

#define main batchMain
#include "cli/main.cpp"
#undef main

namespace {
long gOperations = 0;
}

int main(int argc, char** argv) {
    const char* kill = std::getenv("TZ_TEST_KILL_AFTER");
    const long killAt = kill ? std::atol(kill) : 0;
    tz::tables::setFileFaultHook([killAt](std::string_view, const std::filesystem::path&) {
        if (++gOperations == killAt) std::raise(SIGKILL);
        return 0;
    });
    const int status = batchMain(argc, argv);
    if (const char* to = std::getenv("TZ_TEST_COUNT_TO")) std::ofstream(to) << gOperations << '\n';
    return status;
}
