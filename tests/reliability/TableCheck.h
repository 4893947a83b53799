#pragma once
// Raw checks of a dBase file as another program would see it, without our engine.
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

namespace tz::reliability {

struct RawTable {
    bool readable = false;  // at least a header with sane lengths
    std::uint32_t headerCount = 0;
    std::uint32_t headerLength = 0;
    std::uint32_t recordLength = 0;
    std::uint64_t size = 0;
    std::uint64_t recordsOnDisk = 0;  // whole records after the header
    std::uint64_t deletedBeyond = 0;  // of the whole records beyond the count, those marked deleted
    // What is wrong, empty when the file is consistent: header count equal to the whole
    // records on disk, and nothing after them but one optional end mark.
    std::string problem;
};

inline RawTable inspectTable(const std::filesystem::path& file) {
    RawTable t;
    std::ifstream in(file, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    t.size = bytes.size();
    if (bytes.size() < 32) {
        t.problem = "shorter than a header";
        return t;
    }
    auto b = [&](std::size_t i) {
        return static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[i]));
    };
    t.headerCount = b(4) | b(5) << 8 | b(6) << 16 | b(7) << 24;
    t.headerLength = b(8) | b(9) << 8;
    t.recordLength = b(10) | b(11) << 8;
    if (t.headerLength < 33 || t.recordLength < 1 || t.headerLength > t.size) {
        t.problem = "header lengths out of range";
        return t;
    }
    t.readable = true;
    t.recordsOnDisk = (t.size - t.headerLength) / t.recordLength;
    for (std::uint64_t r = t.headerCount; r < t.recordsOnDisk; ++r) {
        t.deletedBeyond += bytes[t.headerLength + r * t.recordLength] == '*';
    }
    std::uint64_t tail = (t.size - t.headerLength) % t.recordLength;
    if (t.recordsOnDisk != t.headerCount) {
        // One trailing 0x1A counts as a byte, not a record, for one-byte records only.
        t.problem = "header counts " + std::to_string(t.headerCount) + " records, file holds " +
                    std::to_string(t.recordsOnDisk);
    } else if (tail > 1 || (tail == 1 && bytes.back() != '\x1A')) {
        t.problem = "unexpected bytes after the last record";
    }
    return t;
}

}  // namespace tz::reliability
