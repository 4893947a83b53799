#include "tables/RecordStore.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace tz::tables {
namespace {
// About this many bytes per block (a block holds at least one record): small enough to come
// from the ordinary heap and be reused, large enough that the block list stays short.
constexpr std::size_t kBlockBytes = 64 * 1024;
}  // namespace

void RecordStore::reset(std::size_t recordLength) {
    length_ = std::max<std::size_t>(1, recordLength);
    std::size_t per = std::bit_floor(std::max<std::size_t>(1, kBlockBytes / length_));
    shift_ = static_cast<unsigned>(std::countr_zero(per));
    mask_ = static_cast<std::uint32_t>(per - 1);
    count_ = 0;
    blocks_.clear();
}

char* RecordStore::append() {
    if ((count_ >> shift_) == blocks_.size()) {
        blocks_.emplace_back(new char[(std::size_t{mask_} + 1) * length_]);
    }
    return at(count_++);
}

void RecordStore::append(const char* bytes, std::uint32_t n) {
    for (std::uint32_t i = 0; i < n; ++i) std::memcpy(append(), bytes + i * length_, length_);
}

}  // namespace tz::tables
