#pragma once
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "base/RunState.h"
#include "support/RecordingPort.h"
#include "tables/Dataset.h"
#include "tables/Paths.h"
#include "tables/TableFiles.h"

namespace tz::intake::testing {

namespace fs = std::filesystem;
using Rows = std::vector<std::vector<std::string>>;

// A scratch exchange root with ZTEMP and a text folder; the run state points at them.
class IntakeDir : public ::testing::Test {
  protected:
    fs::path root, textos;
    base::RunState state;
    tz::testing::RecordingPort port;

    void SetUp() override {
        static int serial = 0;
        root = fs::temp_directory_path() /
               ("tz-intake-" + std::to_string(::getpid()) + "-" + std::to_string(++serial));
        fs::remove_all(root);
        fs::create_directories(root / "ZTEMP");
        textos = root / "textos";
        fs::create_directories(textos);
        tables::setRootOverride(root);
        state.CarpetaTextos = textos.string() + "/";
    }
    void TearDown() override {
        tables::setRootOverride({});
        std::error_code ec;
        fs::remove_all(root, ec);
    }

    void write(const std::string& name, const std::string& bytes) {
        std::ofstream(textos / name, std::ios::binary) << bytes;
    }
    fs::path table(const std::string& name) { return tables::ztempFile(name); }

    // Every row of a table in physical order, every field as text.
    Rows rows(const std::string& name) {
        tables::Dataset ds;
        ds.open(table(name), tables::OpenMode::ReadOnly);
        Rows out;
        for (ds.first(); !ds.eof(); ds.next()) {
            std::vector<std::string> r;
            for (std::size_t f = 0; f < ds.fields().size(); ++f)
                r.push_back(ds.text(static_cast<int>(f)));
            out.push_back(std::move(r));
        }
        return out;
    }
    // One field of every row.
    std::vector<std::string> column(const std::string& name, const std::string& field) {
        tables::Dataset ds;
        ds.open(table(name), tables::OpenMode::ReadOnly);
        std::vector<std::string> out;
        for (ds.first(); !ds.eof(); ds.next()) out.push_back(ds.text(field));
        return out;
    }
    void makeTable(const tables::TableLayout& layout, const Rows& content) {
        tables::createTable(tables::ztemp(), layout);
        tables::Dataset ds;
        ds.open(table(layout.fileName));
        for (const auto& r : content) ds.appendRecord(r);
        ds.close();
    }
};

// A fixed-width line: each value placed at its 1-based column, spaces between.
inline std::string lineOf(const std::vector<std::pair<int, std::string>>& cols) {
    std::string line;
    for (const auto& [start, value] : cols) {
        auto at = static_cast<std::size_t>(start - 1);
        if (line.size() < at + value.size()) line.resize(at + value.size(), ' ');
        line.replace(at, value.size(), value);
    }
    return line;
}

}  // namespace tz::intake::testing
