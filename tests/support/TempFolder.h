#pragma once
#include <cstdlib>
#include <filesystem>
#include <random>
#include <stdexcept>
#include <string>
#include <system_error>

#include "platform/System.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace tz::testing {

// Sets or removes an environment variable of this process (where the program reads it).
inline void setEnvironment(const std::string& name, const std::string& value) {
#ifdef _WIN32
    ::SetEnvironmentVariableA(name.c_str(), value.c_str());
#else
    ::setenv(name.c_str(), value.c_str(), 1);
#endif
}
inline void unsetEnvironment(const std::string& name) {
#ifdef _WIN32
    ::SetEnvironmentVariableA(name.c_str(), nullptr);
#else
    ::unsetenv(name.c_str());
#endif
}

// A new, empty folder under the system's temporary folder, named `prefix` and a random part
// (mkdtemp on either system).
inline std::filesystem::path makeTempFolder(const std::string& prefix) {
    static std::mt19937_64 gen{std::random_device{}() ^
                               static_cast<unsigned long long>(platform::processId())};
    for (int attempt = 0; attempt < 100; ++attempt) {
        const auto p = std::filesystem::temp_directory_path() /
                       (prefix + "-" + std::to_string(platform::processId()) + "-" +
                        std::to_string(gen() % 1000000000ULL));
        std::error_code ec;
        if (std::filesystem::create_directory(p, ec)) return p;
    }
    throw std::runtime_error("no temporary folder for " + prefix);
}

}  // namespace tz::testing
