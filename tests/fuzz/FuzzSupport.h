#pragma once
// Shared pieces of the fuzz targets: a scratch folder in memory-backed storage, writing the
// input to a file, a user port that answers nothing, and a check that aborts (so libFuzzer
// reports it) when an invariant does not hold.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

#include "base/UserPort.h"

namespace tz::fuzz {

// A per-process scratch folder, made once and emptied by the caller as needed.
inline const std::filesystem::path& scratch() {
    static const std::filesystem::path dir = [] {
        std::error_code ec;
        std::filesystem::path base = "/dev/shm";
        if (!std::filesystem::is_directory(base, ec)) base = std::filesystem::temp_directory_path();
        auto d = base / ("tz-fuzz-" + std::to_string(::getpid()));
        std::filesystem::remove_all(d, ec);
        std::filesystem::create_directories(d);
        std::atexit([] {
            std::error_code e;
            std::filesystem::remove_all(scratch(), e);
        });
        return d;
    }();
    return dir;
}

inline void writeFile(const std::filesystem::path& p, std::string_view bytes) {
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline void emptyFolder(const std::filesystem::path& dir) {
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(dir, ec))
        std::filesystem::remove_all(e.path(), ec);
}

#define TZ_FUZZ_CHECK(cond)                                                                   \
    do {                                                                                      \
        if (!(cond)) {                                                                        \
            std::fprintf(stderr, "%s:%d: invariant failed: %s\n", __FILE__, __LINE__, #cond); \
            std::abort();                                                                     \
        }                                                                                     \
    } while (0)

// Answers every question "No" and keeps nothing.
class SilentPort : public base::UserPort {
  public:
    int messages = 0;
    void message(const std::string&) override { ++messages; }
    bool confirm(const std::string&) override { return false; }
    void errorBox(const std::string&) override { ++messages; }
    void setBusy(bool) override {}
    void showCentrePanel(bool) override {}
    void showLevelsPanel(bool) override {}
    void showVolverNiveles(bool) override {}
    void runBellScheduleCheck() override {}
    void runAdjustment(base::Adjustment&) override {}
    void closeMainWindow() override {}
};

}  // namespace tz::fuzz
