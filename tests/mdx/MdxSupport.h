#pragma once
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "support/TempFolder.h"
#include "tables/MdxIndex.h"

// Helpers shared by the index tests: a scratch folder, a table read straight from its bytes,
// and the walks of two independent readers (Perl XBase::Index and Free Pascal's TDbf).
namespace tz::tables::mdx::testing {

class ScratchDir {
  public:
    ScratchDir() { path_ = tz::testing::makeTempFolder("tzmdx"); }
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

#ifndef _WIN32  // the readers are Linux programs (popen)
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

#endif

inline std::string unhex(const std::string& h) {
    std::string r;
    for (std::size_t i = 0; i + 1 < h.size(); i += 2) {
        r.push_back(static_cast<char>(std::stoi(h.substr(i, 2), nullptr, 16)));
    }
    return r;
}

#ifndef _WIN32  // the readers are Linux programs (popen)
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

// A .DBF read straight from its bytes, independently of the engine.
#endif

struct DiskTable {
    struct Field {
        std::string name;
        char type;
        std::size_t offset, width;
        unsigned char mdxFlag;
    };
    unsigned char flag28 = 0;
    std::vector<Field> fields;
    std::vector<std::string> records;  // with the deletion flag

    explicit DiskTable(const std::filesystem::path& p) {
        std::string b = readFile(p);
        if (b.size() < 32) throw std::runtime_error("short table " + p.string());
        auto u = [&](std::size_t i) {
            return static_cast<std::uint32_t>(static_cast<unsigned char>(b[i]));
        };
        std::uint32_t count = u(4) | u(5) << 8 | u(6) << 16 | u(7) << 24;
        std::size_t headerLength = u(8) | u(9) << 8, recordLength = u(10) | u(11) << 8;
        flag28 = static_cast<unsigned char>(b[28]);
        std::size_t offset = 1;
        for (std::size_t d = 32; d + 32 <= headerLength && b[d] != 0x0D; d += 32) {
            std::string name = b.substr(d, 11);
            name.resize(std::strlen(name.c_str()));
            fields.push_back(
                {name, b[d + 11], offset, u(d + 16), static_cast<unsigned char>(b[d + 31])});
            offset += u(d + 16);
        }
        for (std::uint32_t r = 0; r < count; ++r) {
            std::size_t at = headerLength + r * recordLength;
            if (at + recordLength > b.size()) throw std::runtime_error("record past the end");
            records.push_back(b.substr(at, recordLength));
        }
    }
    const Field& field(const std::string& name) const {
        for (const auto& f : fields) {
            if (f.name == name) return f;
        }
        throw std::runtime_error("no field " + name);
    }
};

// Every record's key for a tag, ordered as the index must hold them.
inline std::vector<MdxIndex::Entry> expectedEntries(const DiskTable& t, const DiskTable::Field& f) {
    std::vector<MdxIndex::Entry> v;
    for (std::size_t r = 0; r < t.records.size(); ++r) {
        v.push_back({t.records[r].substr(f.offset, f.width), static_cast<std::uint32_t>(r + 1)});
    }
    auto number = [](const std::string& s) { return std::strtod(s.c_str(), nullptr); };
    std::stable_sort(v.begin(), v.end(), [&](const auto& a, const auto& b) {
        if (f.type == 'N') return number(a.key) < number(b.key);
        return a.key < b.key;
    });
    return v;
}

// A table as Free Pascal's TDbf (a Delphi-style dataset engine of the dBase IV family) walks it
// with each production tag selected in turn: the tags it lists, and per tag the rows in key
// order (physical record number, the tag's field as TDbf reads it from the row).
#ifndef _WIN32  // the readers are Linux programs (popen)
struct TdbfWalk {
    std::vector<std::string> tags;
    struct Tag {
        std::vector<std::pair<std::uint32_t, std::string>> rows;
        bool looped = false;
    };
    std::map<std::string, Tag> walks;
};

// Runs tests/mdx/tdbf_walk over a copy of the table and its index. TDbf looks for the index as
// "NAME.mdx" unless the whole path is upper case; the timetabler's engine runs on Windows,
// whose file system finds NAME.MDX under either name, so the copy gets a lower-case link to
// the file (the file itself keeps its name). Throws when the reader fails.
inline TdbfWalk tdbfWalk(const std::filesystem::path& dbf) {
    namespace fs = std::filesystem;
    ScratchDir dir;
    fs::path copy = dir.path() / dbf.filename();
    fs::copy_file(dbf, copy);
    fs::path mdx = dbf;
    mdx.replace_extension(".MDX");
    if (!fs::exists(mdx)) mdx.replace_extension(".mdx");
    if (fs::exists(mdx)) {
        fs::copy_file(mdx, dir.path() / mdx.filename());
        fs::path lower = dir.path() / (copy.stem().string() + ".mdx");
        if (!fs::exists(lower)) fs::create_symlink(mdx.filename(), lower);
    }
    int status = 0;
    std::string out = run(std::string(TZ_TDBF_WALK) + " '" + copy.string() + "' 2>&1", &status);
    TdbfWalk w;
    std::istringstream in(out);
    std::string line;
    TdbfWalk::Tag* current = nullptr;
    while (std::getline(in, line)) {
        std::istringstream l(line);
        std::string first;
        l >> first;
        if (first == "tags") {
            int n = 0;
            l >> n;
            for (std::string t; l >> t;) w.tags.push_back(t);
        } else if (first == "tag") {
            std::string name;
            l >> name;
            current = &w.walks[name];
        } else if (first == "loop") {
            if (current) current->looped = true;
        } else if (first == "end") {
            current = nullptr;
        } else if (current && !first.empty() &&
                   std::isdigit(static_cast<unsigned char>(first[0]))) {
            std::string hex;
            l >> hex;
            current->rows.push_back(
                {static_cast<std::uint32_t>(std::stoul(first)), hex == "-" ? "" : unhex(hex)});
        } else {
            throw std::runtime_error("tdbf_walk: " + out.substr(0, 2000));
        }
    }
    if (status != 0 && w.tags.empty()) throw std::runtime_error("tdbf_walk failed: " + out);
    return w;
}

#endif

}  // namespace tz::tables::mdx::testing
