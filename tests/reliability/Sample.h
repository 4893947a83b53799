#pragma once
// The sample school in a scratch folder, the batch jobs run in this process, and checks of
// what a run leaves behind.
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "cli/Batch.h"
#include "reliability/TableCheck.h"
#include "tables/Dataset.h"
#include "tables/EngineError.h"
#include "tables/Paths.h"

namespace tz::reliability {

namespace fs = std::filesystem;

inline const fs::path kExamples = TZ_EXAMPLES;

inline std::string readBytes(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}
inline void writeBytes(const fs::path& p, const std::string& bytes) {
    std::ofstream(p, std::ios::binary) << bytes;
}

// A scratch copy of the sample: <dir>/textos and <dir>/raiz/ZTEMP.
struct Scratch {
    fs::path dir, textos, raiz, ztemp;
    explicit Scratch(const std::string& tag) {
        std::random_device rd;
        dir = fs::temp_directory_path() /
              ("tz-rel-" + tag + "-" + std::to_string(::getpid()) + "-" + std::to_string(rd()));
        textos = dir / "textos";
        raiz = dir / "raiz";
        ztemp = raiz / "ZTEMP";
        fs::create_directories(dir);
        fs::copy(kExamples / "textos", textos, fs::copy_options::recursive);
        fs::copy(kExamples / "raiz", raiz, fs::copy_options::recursive);
    }
    ~Scratch() {
        std::error_code ec;
        fs::permissions(dir, fs::perms::owner_all, fs::perm_options::add, ec);
        fs::remove_all(dir, ec);
    }
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;

    // Makes this folder hold exactly what `other` holds.
    void copyFrom(const Scratch& other) const {
        fs::remove_all(textos);
        fs::remove_all(raiz);
        fs::copy(other.textos, textos, fs::copy_options::recursive);
        fs::copy(other.raiz, raiz, fs::copy_options::recursive);
    }

    std::vector<std::string> exportar() const {
        return {"exportar",
                "--textos",
                textos.string(),
                "--raiz",
                raiz.string(),
                "--niveles",
                (kExamples / "expected" / "niveles.txt").string()};
    }
    std::vector<std::string> importar(bool nueva = false) const {
        std::vector<std::string> a = {"importar",
                                      "--textos",
                                      textos.string(),
                                      "--raiz",
                                      raiz.string(),
                                      "--documentos",
                                      (kExamples / "documentos.txt").string()};
        if (nueva) a.push_back("--nueva");
        return a;
    }
};

struct RunResult {
    int status = -1;
    std::string err;  // what the batch front end printed
};

// One batch run in this process, exactly as the executable runs it.
inline RunResult runBatch(const std::vector<std::string>& args) {
    RunResult r;
    std::ostringstream out, err;
    r.status = cli::runBatch(args, out, err);
    tables::setRootOverride({});
    r.err = err.str();
    return r;
}

// Every row of a table as text, fields separated by '|', one row a line (physical order).
inline std::string dumpTable(const fs::path& file) {
    tables::Dataset ds;
    ds.open(file, tables::OpenMode::ReadOnly);
    std::string out;
    for (ds.first(); !ds.isEmpty() && !ds.eof(); ds.next()) {
        for (int f = 0; f < static_cast<int>(ds.fields().size()); ++f) out += ds.text(f) + "|";
        out += "\n";
    }
    return out;
}

inline std::vector<fs::path> tablesIn(const fs::path& folder) {
    std::vector<fs::path> out;
    for (const auto& e : fs::directory_iterator(folder)) {
        std::string ext = e.path().extension().string();
        for (auto& c : ext) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        if (ext == ".DBF") out.push_back(e.path());
    }
    std::sort(out.begin(), out.end());
    return out;
}

// What is wrong with the tables of a folder as our engine sees them (empty when nothing):
// the header counts the records on disk, the table opens, and the rows read.
inline std::string engineProblems(const fs::path& folder) {
    std::string problems;
    for (const auto& t : tablesIn(folder)) {
        RawTable raw = inspectTable(t);
        if (!raw.problem.empty()) problems += t.filename().string() + ": " + raw.problem + "\n";
        try {
            dumpTable(t);
        } catch (const tables::EngineError& e) {
            problems += t.filename().string() + ": " + e.what() + "\n";
        }
    }
    return problems;
}

// The same seen by an independent reader (python3-dbfread): every table opens and the number
// of records it reads (deleted ones included) equals the header's count.
inline std::string dbfreadProblems(const fs::path& folder) {
    fs::path out = folder.parent_path() / ("dbfread-" + std::to_string(::getpid()) + ".txt");
    std::string cmd = "/usr/bin/python3 '" TZ_RELIABILITY_SCRIPTS "/check_dbfread.py' '" +
                      folder.string() + "' > '" + out.string() + "' 2>&1";
    int rc = std::system(cmd.c_str());
    std::string text = readBytes(out);
    fs::remove(out);
    return rc == 0 ? std::string() : "dbfread: " + text;
}

// Temporary files a write left behind.
inline std::vector<std::string> leftovers(const fs::path& folder) {
    std::vector<std::string> out;
    for (const auto& e : fs::directory_iterator(folder)) {
        std::string n = e.path().filename().string();
        if (!n.empty() && n[0] == '.') out.push_back(n);
    }
    return out;
}

}  // namespace tz::reliability
