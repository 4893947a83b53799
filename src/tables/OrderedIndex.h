#pragma once
#include <cstdint>
#include <string>
#include <vector>

// An in-memory order of a table's live records: physical (by record number) or by the key of
// one field. Record numbers are kept in a list of sorted chunks, so finding, inserting and
// erasing are logarithmic plus a short move inside one chunk, and position ↔ record
// conversion uses prefix counts recomputed lazily. Keys are compared straight from the record
// bytes (character keys byte by byte, unsigned) or from a per-record cache of numeric values;
// equal keys are ordered by record number. Each chunk keeps a copy of its last key (its fence),
// so that choosing the chunk searches one small contiguous array instead of touching a record
// per step: with 100,000 rows that is what keeps finds and inserts out of cache misses.
namespace tz::tables {

class OrderedIndex {
  public:
    enum class Kind { Physical, Bytes, Number };

    // A key to search for: `bytes` space-padded to the key width, or `number`.
    struct Key {
        std::string bytes;
        double number = 0;
    };

    // `records` points at the table's record bytes (reallocated as the table grows, so the
    // pointer to the vector is kept), `recordLength` is the stride; `numbers` holds the numeric
    // key of every record for Kind::Number.
    OrderedIndex(Kind kind, const std::vector<char>* records, int recordLength, int offset,
                 int width, const std::vector<double>* numbers);

    Kind kind() const { return kind_; }
    int keyOffset() const { return offset_; }
    int keyWidth() const { return width_; }

    int size() const { return size_; }
    // Record at a position, 0 ≤ position < size().
    std::uint32_t at(int position) const;
    // Position of a record that is in the order, or -1.
    int positionOf(std::uint32_t rec) const;
    // First position whose key is ≥ (lowerBound) or > (upperBound) the key.
    int lowerBound(const Key& key) const;
    int upperBound(const Key& key) const;
    // Compares the key of a record with a search key: <0, 0, >0.
    int compareKey(std::uint32_t rec, const Key& key) const;

    // The record must not be in the order yet, and its key bytes must stay unchanged while it is.
    void insert(std::uint32_t rec);
    // Removes a record (its key bytes as they were when inserted). False when it was not there.
    bool erase(std::uint32_t rec);
    // Replaces the content with these records (any order).
    void rebuild(std::vector<std::uint32_t> recs);

  private:
    bool less(std::uint32_t a, std::uint32_t b) const;
    const char* keyBytes(std::uint32_t rec) const {
        return records_->data() + static_cast<std::size_t>(rec) * recordLength_ + offset_;
    }
    double keyNumber(std::uint32_t rec) const { return (*numbers_)[rec]; }
    // Compares the fence (last key) of a chunk with a record: <0 when the chunk's last record
    // comes before it.
    int compareFence(std::size_t chunk, std::uint32_t rec) const;
    int compareFenceKey(std::size_t chunk, const Key& key) const;
    void setFence(std::size_t chunk);
    void insertFence(std::size_t chunk);
    void eraseFence(std::size_t chunk);
    // First chunk whose last record is not less than `rec`; chunks_.size() when none.
    std::size_t chunkFor(std::uint32_t rec) const;
    void ensurePrefix(std::size_t upTo) const;
    void touched(std::size_t chunk) const {
        if (chunk < prefixValid_) prefixValid_ = chunk;
    }
    template <bool Upper>
    int bound(const Key& key) const;

    Kind kind_;
    const std::vector<char>* records_;
    int recordLength_;
    int offset_;
    int width_;
    const std::vector<double>* numbers_;

    std::vector<std::vector<std::uint32_t>> chunks_;
    // Fences, one per chunk: last record number, and its key bytes (width_ each) or number.
    std::vector<std::uint32_t> fenceRec_;
    std::vector<char> fenceBytes_;
    std::vector<double> fenceNumber_;
    int size_ = 0;
    // prefix_[i] = records before chunk i; valid for i < prefixValid_.
    mutable std::vector<int> prefix_;
    mutable std::size_t prefixValid_ = 0;
};

}  // namespace tz::tables
