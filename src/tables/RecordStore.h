#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

// The records of a table in memory, in blocks of a fixed number of records that never move:
// appending never copies the records already held (a contiguous buffer would, each time it
// grows), and a record's bytes keep their address while the table is open.
namespace tz::tables {

class RecordStore {
  public:
    RecordStore() = default;
    explicit RecordStore(std::size_t recordLength) { reset(recordLength); }

    // Empties the store for records of this length (at least 1).
    void reset(std::size_t recordLength);

    std::size_t recordLength() const { return length_; }
    std::uint32_t count() const { return count_; }

    const char* at(std::uint32_t rec) const {
        return blocks_[rec >> shift_].get() + (rec & mask_) * length_;
    }
    char* at(std::uint32_t rec) { return blocks_[rec >> shift_].get() + (rec & mask_) * length_; }

    // Room for one more record (its bytes undefined), which is now record count() − 1.
    char* append();
    // Appends `n` records from consecutive bytes.
    void append(const char* bytes, std::uint32_t n);
    // Forgets the last record (count() > 0).
    void removeLast() { --count_; }

    // The records first ≤ rec < end (end ≤ count()) as runs of consecutive bytes: calls
    // f(rec, bytes, records) for each run, in record order.
    template <class F>
    void runs(std::uint32_t first, std::uint32_t end, F f) const {
        std::uint32_t per = mask_ + 1;
        for (std::uint32_t r = first; r < end;) {
            std::uint32_t n = std::min(end - r, per - (r & mask_));
            f(r, at(r), n);
            r += n;
        }
    }

  private:
    std::size_t length_ = 1;
    unsigned shift_ = 0;
    std::uint32_t mask_ = 0;
    std::uint32_t count_ = 0;
    std::vector<std::unique_ptr<char[]>> blocks_;
};

}  // namespace tz::tables
