#pragma once
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "tables/MdxIndex.h"

// Helpers shared by the index tests: a scratch folder and the Perl XBase::Index walk.
namespace tz::tables::mdx::testing {

class ScratchDir {
  public:
    ScratchDir() {
        std::string tmpl = (std::filesystem::temp_directory_path() / "tzmdx-XXXXXX").string();
        if (!::mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp");
        path_ = tmpl;
    }
    ~ScratchDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    const std::filesystem::path& path() const { return path_; }

  private:
    std::filesystem::path path_;
};

inline std::string readFile(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

inline void writeFile(const std::filesystem::path& p, const std::string& bytes) {
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline std::string run(const std::string& command, int* status = nullptr) {
    std::string out;
    FILE* f = ::popen(command.c_str(), "r");
    if (!f) return out;
    char buf[65536];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) out.append(buf, n);
    int rc = ::pclose(f);
    if (status) *status = rc;
    return out;
}

inline std::string unhex(const std::string& h) {
    std::string r;
    for (std::size_t i = 0; i + 1 < h.size(); i += 2) {
        r.push_back(static_cast<char>(std::stoi(h.substr(i, 2), nullptr, 16)));
    }
    return r;
}

struct PerlTag {
    std::string type;
    std::vector<MdxIndex::Entry> entries;
};

// Every tag of an index file as Perl XBase::Index walks it. Throws when the script fails.
inline std::map<std::string, PerlTag> perlWalk(const std::filesystem::path& mdx) {
    int status = 0;
    std::string out = run(
        std::string("/usr/bin/perl ") + TZ_MDX_SCRIPTS + "/dump_mdx.pl '" + mdx.string() + "' 2>&1",
        &status);
    if (status != 0) throw std::runtime_error("dump_mdx.pl failed: " + out);
    std::map<std::string, PerlTag> tags;
    std::istringstream in(out);
    std::string line;
    PerlTag* current = nullptr;
    while (std::getline(in, line)) {
        std::istringstream l(line);
        std::string first;
        l >> first;
        if (first == "tag") {
            std::string name, type;
            l >> name >> type;
            current = &tags[name];
            current->type = type;
        } else if (current) {
            std::uint32_t rec = 0;
            l >> rec;
            current->entries.push_back({unhex(first), rec});
        } else {
            throw std::runtime_error("unexpected output: " + line);
        }
    }
    return tags;
}

}  // namespace tz::tables::mdx::testing
