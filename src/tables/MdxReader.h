#pragma once
#include <cstdint>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "tables/MdxIndex.h"

// Reads a dBase IV production index file (ours or another program's): its header, its tags,
// the entries of a tag in order, and a full structural check.
namespace tz::tables::mdx {

class MdxFormatError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

struct TagInfo {
    std::string name;
    char type = 0;  // 'C', 'N' or 'D'
    int keyLength = 0;
    int itemLength = 0;
    int maxKeys = 0;
    std::uint32_t headerPage = 0;
    std::uint32_t rootPage = 0;
    std::uint32_t sizePages = 0;
    std::uint32_t leftLeafPage = 0;
    std::uint32_t rightLeafPage = 0;
    unsigned char serial = 0;
    bool hasKeys = false;
    int left = 0, right = 0, parent = 0;  // tag-table tree, 1-based entry numbers
    std::string expression;
};

struct FileInfo {
    int version = 0;
    std::string tableName;
    int pagesPerBlock = 0;
    int blockSize = 0;
    bool production = false;
    unsigned char languageDriver = 0;  // byte 31: 0 or the table's language driver
    std::uint32_t pageCount = 0;
    std::uint32_t firstFree = 0;
    std::uint32_t freeBlocks = 0;
    Date created{};
    Date updated{};
    std::vector<TagInfo> tags;
};

class MdxReader {
  public:
    // Throws MdxFormatError when the bytes do not start with a dBase IV index header and a
    // readable tag table.
    explicit MdxReader(std::string bytes);
    // The file, or nothing when it cannot be read or is not an index file.
    static std::optional<MdxReader> open(const std::filesystem::path& file);

    const FileInfo& info() const { return info_; }
    int tagIndex(std::string_view name) const;  // -1 when absent

    // Every entry of the tag in index order (key bytes, record number). Throws MdxFormatError
    // for a tree that cannot be walked (pages outside the file, a page visited twice, too deep).
    std::vector<MdxIndex::Entry> walk(int tag) const;

    // Everything that is wrong with the file, one line each; empty when it is sound: page count
    // equal to the file size, blocks of 1024 bytes, every page used once (headers, nodes, free
    // list), leaves with zeroed slack, interior nodes with fewer keys than the tag's keys per
    // block and key i equal to the largest key of child i, keys ascending with equal keys in
    // record order, all leaves at one depth, tag sizes and left/right leaf pointers true.
    std::vector<std::string> check() const;

  private:
    std::uint32_t word(std::size_t at) const;
    std::vector<std::string> checkTag(int tag, std::vector<int>& owner) const;

    std::string bytes_;
    FileInfo info_;
};

}  // namespace tz::tables::mdx
