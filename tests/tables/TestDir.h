#pragma once
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "support/TempFolder.h"
#include "tables/Paths.h"

namespace tz::tables::testing {

// A fresh folder that stands for the exchange root while it lives.
class TestDir {
  public:
    TestDir() {
        path_ = tz::testing::makeTempFolder("tztables");
        std::filesystem::create_directories(path_ / "ZTEMP");
        setRootOverride(path_);
    }
    ~TestDir() {
        setRootOverride({});
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path ztemp() const { return path_ / "ZTEMP"; }

  private:
    std::filesystem::path path_;
};

inline std::string readBytes(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

inline void writeBytes(const std::filesystem::path& p, const std::string& bytes) {
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// The record count stored in a table file's header.
inline std::uint32_t headerCount(const std::filesystem::path& p) {
    std::string b = readBytes(p);
    if (b.size() < 8) return 0;
    auto u = [&](int i) { return static_cast<std::uint32_t>(static_cast<unsigned char>(b[i])); };
    return u(4) | (u(5) << 8) | (u(6) << 16) | (u(7) << 24);
}

}  // namespace tz::tables::testing
