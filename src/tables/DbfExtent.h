#pragma once
#include <cstdint>
#include <filesystem>
#include <string>

#include "tables/DbfFormat.h"
#include "tables/FileIo.h"

// How far a table file's records reach, next to the count its header gives. The two disagree
// when a program stopped half-way through a write, or when the file was cut or mended by hand.
//
//   - More counted than the file holds (a count too high, a file cut in the middle of a record):
//     readers take the whole records; a write puts the true count back.
//   - Whole records beyond the count, when no end mark follows the counted ones: those marked
//     deleted are what an interrupted append leaves (this engine writes new rows marked
//     deleted, then the count, then their flags) and hold nothing anyone stored; any other is a
//     row the count disowns. Such a table is damaged: it is never written (the disowned rows
//     would be written over, or counted again unseen by the steps that read the table) and
//     never read as an input as if complete.
//   - Bytes after an end mark that follows the counted records are not records: a write cuts
//     them off.
namespace tz::tables::dbf {

struct Extent {
    std::uint32_t headerCount = 0;  // records the header counts
    std::uint32_t whole = 0;        // whole records the file holds
    std::uint32_t liveBeyond = 0;   // of those beyond the count, the ones not marked deleted
    bool cutShort = false;          // bytes of a counted record after the whole ones
    std::uint64_t size = 0;         // of the file

    // What a reader may take as the table's records.
    std::uint32_t usable() const { return headerCount < whole ? headerCount : whole; }
    // Every counted record is whole and no row lies beyond the count: read as an input, the
    // table is complete.
    bool intact() const { return headerCount <= whole && liveBeyond == 0; }
    // The file is its counted records, then the end mark or nothing.
    bool tidy(const Layout& layout) const;
};

// The header of an open table file, read and parsed (see dbf::parseHeader for what it throws).
Layout readLayout(const FileIo& io, const std::filesystem::path& file);

// Measures the file as it is now: its size, the header's count (read again from the file) and
// the deletion flags of any whole records beyond the count. Throws EngineError when the file
// cannot be read.
Extent measure(const FileIo& io, const Layout& layout);

// "La tabla <file> está dañada: la cabecera indica 64 registros y el archivo contiene 37".
std::string damageText(const std::filesystem::path& file, const Extent& e);

// Makes the file end right after its first `count` records: the header counts them, the end
// mark follows them and nothing comes after it. Throws EngineError.
void settleEnd(FileIo& io, const Layout& layout, std::uint32_t count, const Extent& before);

}  // namespace tz::tables::dbf
