#pragma once
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "tables/MdxKey.h"

// A dBase IV production index (.MDX) held in memory and written whole or by changed blocks.
//
// File layout (little-endian; every pointer is a page number, byte offset = page × 512):
//   pages 0–3   file header (48 bytes) and the tag table (47 entries of 32 bytes from 544)
//   per tag     a header block, then its nodes, one 1024-byte block (two pages) each
// A node holds n at bytes 0–3 and items from byte 8: a 4-byte pointer and the key padded to the
// item length; a node has room for NumKeys = (1024 − 8) / item length items (the tag header's
// keys per block). Leaf pointers are 1-based record numbers and the bytes after the last item
// are zero (readers take a zero word there as the mark of a leaf). Interior nodes hold n keys
// and n + 1 child pointers, key i being the largest key in child i, and at most NumKeys child
// pointers, so n < NumKeys: engines that tell a leaf from an interior node by "n = NumKeys"
// never mistake one for the other. Equal keys are ordered by record number. Freed blocks form a
// list: bytes 4–7 point to the next free page, the header's word at 36 to the first.
//
// The file header's byte 31 holds the table's language driver (the .DBF's byte 29): engines of
// the dBase IV family open the index only when it is 0 or equal to the table's.
//
// Every record of the table has its key in every tag, deleted records included: dBase keeps a
// deleted record's key until the table is packed, and other dBase programs (which may show
// deleted records, recall them, or pack) expect to find it there.
namespace tz::tables::mdx {

constexpr std::uint32_t kPageSize = 512;
constexpr std::uint32_t kBlockSize = 1024;
constexpr std::uint32_t kPagesPerBlock = kBlockSize / kPageSize;
constexpr std::uint32_t kHeaderPages = 4;  // file header and tag table: 2048 bytes
constexpr int kMaxTags = 47;
constexpr int kMaxCharacterKey = 100;            // dBase IV's limit for a character key
constexpr unsigned char kLanguageDriver = 0x57;  // what our tables carry: Windows ANSI

enum class KeyType : char { Character = 'C', Numeric = 'N' };

struct TagSpec {
    std::string name;  // the field name: at most 10 characters, upper case
    KeyType type = KeyType::Character;
    int keyLength = 0;  // character: the field width; numeric: kNumericKeyLength
};

// YY (years since 1900), MM, DD.
using Date = std::array<unsigned char, 3>;
Date today();

// Where blocks are written: a file, or memory for a whole image.
class PageSink {
  public:
    virtual ~PageSink() = default;
    // The file is to be exactly `bytes` long (it only grows while an index is being written).
    virtual void resize(std::uint64_t bytes) = 0;
    virtual void write(std::uint64_t offset, const void* data, std::size_t size) = 0;
    // Where `size` bytes at `offset` (inside the file) can be written directly, or nullptr
    // when they go through write().
    virtual unsigned char* direct(std::uint64_t /*offset*/, std::size_t /*size*/) {
        return nullptr;
    }
};

class MdxIndex {
  public:
    // `tableName` is the base name of the .DBF (stored upper case, at most 16 characters);
    // `languageDriver` the .DBF's byte 29. Throws std::invalid_argument for a bad tag list
    // (none, more than 47, a name longer than 10 characters or repeated, a key length out of
    // range).
    MdxIndex(std::string_view tableName, std::vector<TagSpec> tags, Date created = today(),
             unsigned char languageDriver = kLanguageDriver);
    ~MdxIndex();
    MdxIndex(MdxIndex&&) noexcept;
    MdxIndex& operator=(MdxIndex&&) noexcept;

    const std::vector<TagSpec>& tags() const;
    int tagCount() const;
    // Items that fit in one node of the tag: (1024 − 8) / item length. A leaf holds up to that
    // many keys, an interior node one key fewer (and that many child pointers).
    int maxKeys(int tag) const;
    std::uint32_t keyCount(int tag) const;

    // Replaces a tag's content with `recnos.size()` entries; `keys` holds their keys one after
    // the other (keyLength bytes each). Entries that are not in order (key, then record number)
    // are sorted first. Leaves are filled, then the levels above, so the tree is as flat as the
    // block size allows. The pages of the old content are freed.
    void build(int tag, std::string_view keys, const std::vector<std::uint32_t>& recnos);

    // Adds one entry. The key is keyLength bytes (a numeric tag's key is a NumericKey).
    void insert(int tag, const unsigned char* key, std::uint32_t recno);
    // Removes one entry; false when that key and record number are not in the tag.
    bool erase(int tag, const unsigned char* key, std::uint32_t recno);

    // Entries of a tag in index order (for tests and checks).
    struct Entry {
        std::string key;
        std::uint32_t recno;
    };
    std::vector<Entry> entries(int tag) const;

    // Compares two keys of a tag: <0, 0, >0.
    int compareKeys(int tag, const unsigned char* a, const unsigned char* b) const;

    std::uint32_t pageCount() const;
    // The date written as the last update from now on.
    void setUpdateDate(Date d);

    // The complete file.
    std::string image() const;
    void writeAll(PageSink& sink) const;
    // Writes only what changed since the last writeAll/writeChanges (blocks, tag headers with
    // their serial numbers bumped, the file header) and forgets the changes. Returns whether
    // anything was written. When the sink throws, the changes stay pending and the next
    // writeChanges or writeAll writes them again.
    bool writeChanges(PageSink& sink);
    bool hasChanges() const;
    // Forgets pending changes (after writeAll has put everything in place).
    void forgetChanges();

  private:
    struct Impl;
    std::unique_ptr<Impl> d_;
};

// A sink that collects a whole file in memory.
class StringSink : public PageSink {
  public:
    void resize(std::uint64_t bytes) override { data.resize(bytes, '\0'); }
    void write(std::uint64_t offset, const void* src, std::size_t size) override;
    unsigned char* direct(std::uint64_t offset, std::size_t size) override {
        if (offset + size > data.size()) return nullptr;
        return reinterpret_cast<unsigned char*>(data.data()) + offset;
    }
    std::string data;
};

}  // namespace tz::tables::mdx
