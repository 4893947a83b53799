// transzanderxel-batch: the two jobs without windows (see usageText()).
#include <iostream>
#include <string>
#include <vector>

#include "cli/Batch.h"
#include "platform/System.h"

int main(int argc, char** argv) {
    tz::platform::prepareConsole();
    tz::platform::keepFreedMemory();
    return tz::cli::runBatch(tz::platform::commandLineArguments(argc, argv), std::cout, std::cerr);
}
