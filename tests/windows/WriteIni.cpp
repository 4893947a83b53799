// Writes the run status with the tool's own INI writer, as the main window does on closing:
//   win_write_ini FILE VALUE
#include <cstdlib>
#include <exception>
#include <iostream>

#include "app/IniFile.h"
#include "platform/System.h"

int main(int argc, char** argv) {
    const auto args = tz::platform::commandLineArguments(argc, argv);
    if (args.size() != 2) {
        std::cerr << "usage: win_write_ini FILE VALUE\n";
        return 2;
    }
    try {
        tz::app::writeRunStatus(tz::platform::pathFromUtf8(args[0]), std::atoi(args[1].c_str()));
    } catch (const std::exception& e) {
        std::cerr << e.what() << ".\n";
        return 3;
    }
    return 0;
}
