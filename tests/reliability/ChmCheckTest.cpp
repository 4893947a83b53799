// Damaged help archives that chmlib 0.40 mishandles (division by zero, endless loops, reads
// and writes past its buffers) are refused or read safely; a sound archive still opens.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>

#include "help/ChmArchive.h"

namespace {

namespace fs = std::filesystem;

std::string sound() {
    std::ifstream in(TZ_SEED_CHM, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::uint32_t u32(const std::string& b, std::size_t at) {
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i)
        v = v << 8 | static_cast<unsigned char>(b[at + static_cast<std::size_t>(i)]);
    return v;
}
void put32(std::string& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        b[at + static_cast<std::size_t>(i)] = static_cast<char>(v >> (8 * i));
}

struct Damage {
    const char* name;
    std::function<void(std::string&)> apply;
    bool opens;  // whether the archive may still open (then everything must read safely)
};

class DamagedArchive : public ::testing::TestWithParam<Damage> {};

TEST_P(DamagedArchive, IsRefusedOrReadSafely) {
    std::string bytes = sound();
    ASSERT_GT(bytes.size(), 0x200u) << TZ_SEED_CHM;
    GetParam().apply(bytes);
    fs::path file = fs::temp_directory_path() / ("tz-chm-" + std::to_string(::getpid()) + ".chm");
    std::ofstream(file, std::ios::binary) << bytes;
    auto chm = tz::help::ChmArchive::open(file);
    if (chm) {
        EXPECT_TRUE(GetParam().opens);
        for (const auto& p : chm->list()) (void)chm->read(p);
        (void)chm->contents();
        for (const auto& [context, name] : chm->contextMap()) (void)chm->topicForContext(context);
    } else {
        EXPECT_FALSE(GetParam().opens);
    }
    fs::remove(file);
}

std::size_t find(const std::string& b, const char* what) {
    std::size_t at = b.find(what);
    EXPECT_NE(at, std::string::npos) << what;
    return at == std::string::npos ? 0 : at;
}

// The first listing page: its offset and its page number.
std::pair<std::size_t, std::uint32_t> listingPage(const std::string& b) {
    const std::size_t dir = u32(b, 0x48);
    const std::uint32_t pageLength = u32(b, dir + 0x10);
    const std::size_t at = find(b, "PMGL");
    return {at, static_cast<std::uint32_t>((at - dir - 0x54) / pageLength)};
}

INSTANTIATE_TEST_SUITE_P(
    Table, DamagedArchive,
    ::testing::Values(
        Damage{"Sound", [](std::string&) {}, true},
        // chm_open divided by zero here.
        Damage{"LzxWindowZero",
               [](std::string& b) {
                   std::size_t at = find(b, "LZXC");
                   put32(b, at + 4, 1);   // version 1: sizes taken as they are
                   put32(b, at + 12, 0);  // window size
               },
               false},
        Damage{"LzxWindowOne",
               [](std::string& b) {
                   std::size_t at = find(b, "LZXC");
                   put32(b, at + 4, 1);
                   put32(b, at + 12, 1);
               },
               false},
        Damage{"LzxNoResets",
               [](std::string& b) { put32(b, find(b, "LZXC") + 16, 0); },  // windows per reset
               false},
        // chm_enumerate followed the chain of listing pages round for ever.
        Damage{"ListingPageLeadsToItself",
               [](std::string& b) {
                   auto [at, page] = listingPage(b);
                   put32(b, at + 0x10, page);
               },
               false},
        // Entries running off the page: chmlib read past its page buffer.
        Damage{"NoFreeSpaceOnListingPage",
               [](std::string& b) { put32(b, listingPage(b).first + 4, 0); }, false},
        Damage{"FreeSpaceLargerThanPage",
               [](std::string& b) { put32(b, listingPage(b).first + 4, 0x7FFFFFFF); }, false},
        Damage{"DirectoryPageTooShort", [](std::string& b) { put32(b, u32(b, 0x48) + 0x10, 8); },
               false},
        Damage{"CutInTheDirectory", [](std::string& b) { b.resize(u32(b, 0x48) + 0x60); }, true},
        Damage{"CutInTheContent", [](std::string& b) { b.resize(b.size() * 3 / 4); }, true},
        Damage{"HeaderOnly", [](std::string& b) { b.resize(0x60); }, false}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
