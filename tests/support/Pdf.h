#pragma once
#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

// A PDF as programs of other authors read it: poppler's pdfinfo and pdftotext.
namespace tz::testing {

inline std::string runCommand(const std::string& command) {
    std::string out;
    std::unique_ptr<FILE, int (*)(FILE*)> p(popen(command.c_str(), "r"), pclose);
    if (!p) return out;
    std::array<char, 4096> buf;
    while (std::size_t n = std::fread(buf.data(), 1, buf.size(), p.get()))
        out.append(buf.data(), n);
    return out;
}

// The page count pdfinfo reads, -1 when it reads none.
inline int pdfPages(const std::filesystem::path& pdf) {
    const std::string info = runCommand("pdfinfo '" + pdf.string() + "' 2>&1");
    const auto at = info.find("Pages:");
    return at == std::string::npos ? -1 : std::atoi(info.c_str() + at + 6);
}

// The text pdftotext extracts, UTF-8.
inline std::string pdfText(const std::filesystem::path& pdf) {
    return runCommand("pdftotext -enc UTF-8 '" + pdf.string() + "' - 2>&1");
}

}  // namespace tz::testing
