#pragma once
#include <cstdint>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "tables/RecordStore.h"

// An in-memory order of a table's live records: physical (by record number) or by the key of
// one field; equal keys are ordered by record number.
//
// Entries live in a list of sorted chunks, so finding, inserting and erasing are logarithmic
// plus a short move inside one chunk. Each entry holds the first bytes of its key (up to 32,
// packed into 64-bit words that compare like the bytes, unsigned) followed by the record
// number, so searches compare small contiguous arrays and touch a record only for keys wider
// than that. Numeric keys are held as words that order like the values. Each chunk's last
// entry is copied into a contiguous fence array for choosing the chunk, and a Fenwick tree over
// the chunk sizes turns positions into chunks and back in logarithmic time.
//
// Inserted records are placed lazily: the next query places them one by one, or, when many
// are waiting (a batch of appends), sorts them and merges them in one pass. A table held
// exclusively can therefore take a large batch of rows at the cost of one sort per index.
namespace tz::tables {

// An allocator whose elements made without a value are left unset (a vector's resize or count
// constructor does not clear them): for room every element of which is written before it is
// read.
template <class T>
struct LeftUnset : std::allocator<T> {
    template <class U>
    struct rebind {
        using other = LeftUnset<U>;
    };
    LeftUnset() = default;
    template <class U>
    LeftUnset(const LeftUnset<U>&) noexcept {}
    template <class U>
    void construct(U* p) noexcept {
        ::new (static_cast<void*>(p)) U;
    }
    template <class U, class... Args>
    void construct(U* p, Args&&... args) {
        ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
    }
};

class OrderedIndex {
  public:
    enum class Kind { Physical, Bytes, Number };

    // A key to search for: `bytes` space-padded to the key width (Table::keyFor), or `number`.
    struct Key {
        std::string bytes;
        double number = 0;
    };

    // `records` holds the table's records; the key is `width` bytes at `offset` in each;
    // `numbers` holds the numeric key of every record for Kind::Number. A character key of no bytes
    // orders like the physical order.
    OrderedIndex(Kind kind, const RecordStore* records, int offset, int width,
                 const std::vector<double>* numbers);

    Kind kind() const { return kind_; }
    // The records moved to another store (the same records, at other addresses).
    void setRecords(const RecordStore* records) { records_ = records; }
    int keyOffset() const { return offset_; }
    int keyWidth() const { return width_; }

    int size() const { return size_ + static_cast<int>(pending_.size()); }
    // Record at a position, 0 ≤ position < size().
    std::uint32_t at(int position) const;
    // Position of a record that is in the order, or -1.
    int positionOf(std::uint32_t rec) const;
    // First position whose key is ≥ (lowerBound) or > (upperBound) the key.
    int lowerBound(const Key& key) const;
    // First position whose key equals the key, or -1 (lowerBound and keyAt in one search).
    int find(const Key& key) const;
    int upperBound(const Key& key) const;
    // Compares the key of a record with a search key: <0, 0, >0.
    int compareKey(std::uint32_t rec, const Key& key) const;
    // Every record in order, position 0 first (replacing the content of `out`).
    void recordsInOrder(std::vector<std::uint32_t>& out) const;
    // recordsInOrder, and the key bytes of each into `keys` one after the other (keyWidth()
    // bytes each), taken from the entries without reading the records. False, with nothing
    // done, for keys not held whole in the entries (numbers, keys wider than 32 bytes).
    bool keysInOrder(std::vector<std::uint32_t>& out, std::string& keys) const;
    // Whether the entry at a position (0 ≤ position < size()) has this key. Reads the record
    // only for keys wider than the part held in the entry.
    bool keyAt(int position, const Key& key) const;

    // The record must not be in the order yet, and its key bytes (or number) must stay
    // unchanged while it is.
    void insert(std::uint32_t rec);
    // Removes a record (its key bytes as they were when inserted). False when it was not there.
    bool erase(std::uint32_t rec);
    // Replaces the content with these records (any order).
    void rebuild(std::vector<std::uint32_t> recs);
    // Replaces the content with that of `other`, an index of the same key over the same
    // records, which is left empty.
    void takeEntries(OrderedIndex& other);

  private:
    using Word = std::uint64_t;
    // Entries side by side while they are made and sorted.
    using Flat = std::vector<Word, LeftUnset<Word>>;
    static constexpr int kMaxWords = 4;  // key bytes held in an entry: 8 × kMaxWords

    const char* keyBytes(std::uint32_t rec) const { return records_->at(rec) + offset_; }
    bool hasKey(std::uint32_t rec) const;
    // The entry of a record: its key words, then the record number.
    void entryOf(std::uint32_t rec, Word* out) const;
    void keyWords(const Key& key, Word* out) const;
    // Entries compared by key, then by record number.
    int compareEntries(const Word* a, const Word* b) const;
    // An entry compared with a search key (words from keyWords, tail bytes from `tail`).
    int compareEntryKey(const Word* entry, const Word* kw, const char* tail) const;
    std::uint32_t recOf(const Word* entry) const {
        return static_cast<std::uint32_t>(entry[words_]);
    }
    const Word* fence(std::size_t chunk) const {
        return fences_.data() + chunk * static_cast<std::size_t>(stride_);
    }
    std::size_t entries(std::size_t chunk) const {
        return chunks_[chunk].size() / static_cast<std::size_t>(stride_);
    }
    void setFence(std::size_t chunk);
    // First chunk whose last entry is not less than `entry`; chunks_.size() when none.
    std::size_t chunkFor(const Word* entry) const;
    // First entry of a chunk not less than `entry`.
    std::size_t slotFor(std::size_t chunk, const Word* entry) const;
    // Places the records waiting in pending_ (a const query may call it: the order it answers
    // for includes them).
    void place() const {
        if (!pending_.empty()) const_cast<OrderedIndex*>(this)->placePending();
    }
    void placePending();
    void placeOne(std::uint32_t rec);
    // Appends an entry greater than every placed one: fills the last chunk, then starts a new
    // one, so that records arriving in key order (appends in physical order) leave full chunks.
    void appendEntry(const Word* e);
    void sortEntries(Flat& flat) const;
    // Replaces the chunks with these sorted entries.
    void fill(const Flat& flat);
    template <bool Upper>
    int bound(const Key& key) const;

    // Fenwick tree over chunk sizes.
    void ensureCounts() const;
    void countChanged(std::size_t chunk, int delta);
    int entriesBefore(std::size_t chunk) const;
    // Chunk and offset of a position.
    std::size_t chunkAt(int position, int* offset) const;

    Kind kind_;
    const RecordStore* records_;
    int offset_;
    int width_;
    const std::vector<double>* numbers_;
    int words_ = 0;           // key words per entry
    int stride_ = 1;          // words per entry: key words and the record number
    bool tail_ = false;       // key bytes beyond the words are compared from the records
    int inlineBytes_ = 0;     // key bytes held in the words
    bool wideReads_ = false;  // a key's words can be read whole from its record

    std::vector<std::vector<Word>> chunks_;
    std::vector<Word> fences_;  // last entry of each chunk
    int size_ = 0;              // placed entries
    std::vector<std::uint32_t> pending_;
    mutable std::vector<int> counts_;  // Fenwick tree, 1-based; valid when countsValid_
    mutable bool countsValid_ = false;
    // Bumped by every change of the placed entries; the chunk of the last position looked up
    // (and the position it starts at) stays good while it is unchanged.
    std::uint64_t version_ = 0;
    mutable std::uint64_t lastVersion_ = ~std::uint64_t{0};
    mutable std::size_t lastChunk_ = 0;
    mutable int lastStart_ = 0;
};

}  // namespace tz::tables
