// transzanderxel-batch: the two jobs without windows (see usageText()).
#include <iostream>
#include <string>
#include <vector>

#include "cli/Batch.h"

int main(int argc, char** argv) {
    return tz::cli::runBatch(std::vector<std::string>(argv + 1, argv + argc), std::cout, std::cerr);
}
