#include "intake/TextoFijo.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "intake/AbreviaturaUnica.h"
#include "tables/EngineError.h"

namespace fs = std::filesystem;
using tz::intake::AbreviaturaUnica;
using tz::intake::ListaCodigos;

namespace {

fs::path writeTemp(const std::string& name, const std::string& bytes) {
    fs::path dir = fs::temp_directory_path() / ("tz-texto-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    fs::path p = dir / name;
    std::ofstream(p, std::ios::binary) << bytes;
    return p;
}

std::vector<std::string> readAll(const fs::path& p) {
    tz::intake::TextoFijo t(p);
    std::vector<std::string> lines;
    std::string line;
    while (t.next(line)) lines.push_back(line);
    return lines;
}

struct LinesCase {
    const char* name;
    std::string bytes;
    std::vector<std::string> lines;
};

class LineEnds : public ::testing::TestWithParam<LinesCase> {};

TEST_P(LineEnds, SplitsAsTheAdministrationWritesThem) {
    const LinesCase& c = GetParam();
    EXPECT_EQ(readAll(writeTemp(c.name, c.bytes)), c.lines);
}

const std::string kLong(200000, 'x');
const std::string kChunkEdge(64 * 1024 - 1, 'y');

INSTANTIATE_TEST_SUITE_P(
    Texto, LineEnds,
    ::testing::Values(LinesCase{"crlf", "a\r\nb\r\n", {"a", "b"}},
                      LinesCase{"lf_only", "a\nb\n", {"a", "b"}},
                      LinesCase{"last_without_break", "a\r\nb", {"a", "b"}},
                      LinesCase{"empty_lines_kept", "a\r\n\r\n\nb", {"a", "", "", "b"}},
                      LinesCase{"empty_file", "", {}}, LinesCase{"one_break", "\r\n", {""}},
                      LinesCase{"lone_cr_is_not_a_break", "a\rb\n", {"a\rb"}},
                      LinesCase{"ctrl_z_mid_file", "a\r\nb\x1a\r\nc\r\n", {"a", "b"}},
                      LinesCase{"ctrl_z_at_start",
                                "\x1a"
                                "abc",
                                {}},
                      LinesCase{"ctrl_z_after_break", "a\r\n\x1a", {"a"}},
                      LinesCase{"accented_bytes_unchanged",
                                "Matem\xe1ticas \xd1\r\n\x80\xff",
                                {"Matem\xe1ticas \xd1", "\x80\xff"}},
                      LinesCase{
                          "nul_byte_kept", std::string("a\0b\r\n", 5), {std::string("a\0b", 3)}},
                      LinesCase{"very_long_line", kLong + "\r\nz", {kLong, "z"}},
                      LinesCase{"crlf_across_chunks", kChunkEdge + "\r\nz", {kChunkEdge, "z"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(TextoFijo, MissingOrUnreadableFileIsAnError) {
    fs::path dir = writeTemp("x", "").parent_path();
    EXPECT_THROW(tz::intake::TextoFijo(dir / "no-such-file.txt"), tz::tables::EngineError);
    EXPECT_THROW(tz::intake::TextoFijo{dir}, tz::tables::EngineError);  // a folder
}

struct ColumnCase {
    std::string line;
    int start, length;
    std::string raw, trimmed;
};

class Columns : public ::testing::TestWithParam<ColumnCase> {};

TEST_P(Columns, CutOneBasedAndTrimCodesUpTo32) {
    const ColumnCase& c = GetParam();
    EXPECT_EQ(std::string(tz::intake::columna(c.line, c.start, c.length)), c.raw);
    EXPECT_EQ(tz::intake::campo(c.line, c.start, c.length), c.trimmed);
}

INSTANTIATE_TEST_SUITE_P(
    Texto, Columns,
    ::testing::Values(ColumnCase{"abcdef", 1, 3, "abc", "abc"},
                      ColumnCase{"abcdef", 5, 10, "ef", "ef"},  // partly beyond the end
                      ColumnCase{"abcdef", 7, 2, "", ""},       // wholly beyond
                      ColumnCase{"abcdef", 0, 2, "", ""},
                      ColumnCase{"  a b  ", 1, 7, "  a b  ", "a b"},  // inner spaces stay
                      ColumnCase{"\t\x01x\x1f ", 1, 5, "\t\x01x\x1f ", "x"},
                      ColumnCase{"\xa0x\xa0", 1, 3, "\xa0x\xa0", "\xa0x\xa0"},  // 160 is kept
                      ColumnCase{"   ", 1, 3, "   ", ""}));

// The same rule for every value, read from a file or typed: codes 0 to 32 go at both ends.
TEST(Texto, TrimControlsAtBothEndsOnly) {
    EXPECT_EQ(tz::base::trimControls(" \t\r\n12 3\x01 "), "12 3");
    EXPECT_EQ(tz::base::trimControls("\t \x1f"), "");
    EXPECT_EQ(tz::base::trimControls("\x7f\xa0"), "\x7f\xa0");  // 127 and 160 are kept
}

// AbreviaturaUnica: a sequence of proposals and the codes they get.
struct AbrevCase {
    const char* name;
    std::vector<std::string> proposals;
    std::vector<std::string> expectedTail;  // the codes of the last proposals
};

class Abreviaturas : public ::testing::TestWithParam<AbrevCase> {};

TEST_P(Abreviaturas, WorkedExamples) {
    const AbrevCase& c = GetParam();
    ListaCodigos given;
    std::vector<std::string> got;
    for (const auto& p : c.proposals) got.push_back(AbreviaturaUnica(p, given));
    ASSERT_GE(got.size(), c.expectedTail.size());
    std::vector<std::string> tail(got.end() - static_cast<long>(c.expectedTail.size()), got.end());
    EXPECT_EQ(tail, c.expectedTail);
}

std::vector<std::string> times(int n, const std::string& p) {
    return std::vector<std::string>(static_cast<std::size_t>(n), p);
}
std::vector<std::string> plus(std::vector<std::string> v, const std::vector<std::string>& w) {
    v.insert(v.end(), w.begin(), w.end());
    return v;
}

INSTANTIATE_TEST_SUITE_P(
    Texto, Abreviaturas,
    ::testing::Values(
        AbrevCase{"mate_three_times", times(3, "MATE"), {"MATE", "MAT1", "MAT2"}},
        AbrevCase{"lower_case_repeat_keeps_its_letters", {"MATE", "mate"}, {"MATE", "mat1"}},
        AbrevCase{"tenth_repeat_cut_to_two_plus_two", times(11, "MATE"), {"MAT9", "MA10"}},
        AbrevCase{
            "later_ma10_is_itself_a_repeat", plus(times(11, "MATE"), {"MA10"}), {"MA10", "MA11"}},
        AbrevCase{"after_ma99_come_ma00_to_ma09", times(102, "MATE"), {"MA99", "MA00", "MA01"}},
        AbrevCase{"two_letter_base", times(101, "AB"), {"AB99", "AB00"}},
        AbrevCase{"teacher_initials", times(3, "GLA"), {"GLA", "GLA1", "GLA2"}},
        AbrevCase{"teacher_tenth_repeat", times(11, "GLA"), {"GL10"}},
        AbrevCase{"initials_case_ignored", {"GLA", "gla"}, {"GLA", "gla1"}},
        AbrevCase{"group_alias", times(2, "1ESA"), {"1ESA", "1ES1"}},
        AbrevCase{"group_tenth_repeat", times(11, "1ESA"), {"1E10"}},
        AbrevCase{"blank_codes_numbered", times(3, ""), {"", "1", "2"}},
        AbrevCase{"one_letter_base", times(3, "A"), {"A", "A1", "A2"}},
        AbrevCase{"accented_letters_fold",
                  {"\xd1"
                   "AB",
                   "\xf1"
                   "ab"},
                  {"\xd1"
                   "AB",
                   "\xf1"
                   "ab1"}},
        // Every derived code of MATE taken: further codes from the first character.
        AbrevCase{"exhausted_base_goes_on", times(112, "MATE"), {"MA09", "M000", "M001"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(AbreviaturaUnicaExhaustion, AlwaysEndsWithAUniqueCode) {
    for (const std::string base : {"MATE", "AB", "A", ""}) {
        ListaCodigos given;
        std::set<std::string> seen;
        for (int i = 0; i < 1500; ++i) {
            std::string code = AbreviaturaUnica(base, given);
            EXPECT_LE(code.size(), 4u);
            EXPECT_TRUE(seen.insert(tz::intake::pliegaMayusculas(code)).second)
                << base << " gave " << code << " twice";
        }
        EXPECT_EQ(given.size(), 1500u);
    }
}

// Many repeats of bases that share their first letters, in both letter cases, give the codes
// of the plain search that tries every candidate from the start each time (the search resumes
// where the last one of its series stopped, which must never change the code chosen).
TEST(AbreviaturaUnicaRepeats, SameCodesAsTryingEveryCandidate) {
    auto naive = [](const std::string& p, std::set<std::string>& taken) {
        auto free = [&](const std::string& c) {
            return !taken.count(tz::intake::pliegaMayusculas(c));
        };
        std::vector<std::string> candidates = {p};
        std::string base = p.substr(0, 3);
        int last = base.empty() ? 9999 : base.size() == 1 ? 999 : 109;
        for (int n = 1; n <= last; ++n) {
            std::string c = base + std::to_string(n);
            if (c.size() > 4) c = c.substr(0, 2) + c.substr(c.size() - 2);
            candidates.push_back(c);
        }
        char d[16];
        for (int n = 0; n <= 999 && !p.empty(); ++n) {
            std::snprintf(d, sizeof d, "%03d", n);
            candidates.push_back(p.substr(0, 1) + d);
        }
        for (int n = 0; n <= 9999; ++n) {
            std::snprintf(d, sizeof d, "%04d", n);
            candidates.push_back(d);
        }
        std::string got = p;
        for (const auto& c : candidates) {
            if (free(c)) {
                got = c;
                break;
            }
        }
        taken.insert(tz::intake::pliegaMayusculas(got));
        return got;
    };
    const std::vector<std::string> bases = {"MATE", "mate", "MATH", "MAT", "MA",   "M",   "MA10",
                                            "MA1",  "",     "GLA",  "GL1", "M000", "0001"};
    std::mt19937 rng(11);
    ListaCodigos given;
    std::set<std::string> taken;
    for (int i = 0; i < 4000; ++i) {
        const std::string& p = bases[rng() % bases.size()];
        ASSERT_EQ(AbreviaturaUnica(p, given), naive(p, taken)) << "proposal " << i << " " << p;
    }
}

TEST(CaseFolding, Windows1252Letters) {
    using tz::intake::pliegaMayusculas;
    EXPECT_EQ(pliegaMayusculas("a\xf1\xe1\xfa\xe7z"), "A\xd1\xc1\xda\xc7Z");
    EXPECT_EQ(pliegaMayusculas("\x9a\x9c\x9e\xff"), "\x8a\x8c\x8e\x9f");
    EXPECT_EQ(pliegaMayusculas("\xf7\xdf"
                               "1 "),
              "\xf7\xdf"
              "1 ");  // ÷ and ß have no upper-case partner here
}

}  // namespace
