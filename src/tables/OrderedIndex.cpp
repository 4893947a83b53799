#include "tables/OrderedIndex.h"

#include <algorithm>
#include <cstring>

namespace tz::tables {
namespace {
constexpr std::size_t kChunkMax = 1024;
}

OrderedIndex::OrderedIndex(Kind kind, const std::vector<char>* records, int recordLength,
                           int offset, int width, const std::vector<double>* numbers)
    : kind_(kind),
      records_(records),
      recordLength_(recordLength),
      offset_(offset),
      width_(width),
      numbers_(numbers) {}

bool OrderedIndex::less(std::uint32_t a, std::uint32_t b) const {
    switch (kind_) {
        case Kind::Physical:
            break;
        case Kind::Bytes: {
            const char* base = records_->data() + offset_;
            int c = std::memcmp(base + static_cast<std::size_t>(a) * recordLength_,
                                base + static_cast<std::size_t>(b) * recordLength_,
                                static_cast<std::size_t>(width_));
            if (c != 0) return c < 0;
            break;
        }
        case Kind::Number: {
            double x = (*numbers_)[a], y = (*numbers_)[b];
            if (x != y) return x < y;
            break;
        }
    }
    return a < b;
}

int OrderedIndex::compareKey(std::uint32_t rec, const Key& key) const {
    switch (kind_) {
        case Kind::Physical:
            return 0;
        case Kind::Bytes: {
            const char* p =
                records_->data() + static_cast<std::size_t>(rec) * recordLength_ + offset_;
            return std::memcmp(p, key.bytes.data(),
                               std::min<std::size_t>(key.bytes.size(), width_));
        }
        case Kind::Number: {
            double x = (*numbers_)[rec];
            return x < key.number ? -1 : (x > key.number ? 1 : 0);
        }
    }
    return 0;
}

std::size_t OrderedIndex::chunkFor(std::uint32_t rec) const {
    std::size_t lo = 0, hi = chunks_.size();
    while (lo < hi) {
        std::size_t mid = (lo + hi) / 2;
        if (less(chunks_[mid].back(), rec)) {
            lo = mid + 1;
        } else {
            hi = mid;
        }
    }
    return lo;
}

void OrderedIndex::ensurePrefix(std::size_t upTo) const {
    if (prefix_.size() != chunks_.size()) {
        prefix_.resize(chunks_.size());
        prefixValid_ = std::min(prefixValid_, prefix_.size());
    }
    upTo = std::min(upTo, chunks_.size());
    if (prefixValid_ >= upTo) return;
    std::size_t i = prefixValid_;
    int count = i == 0 ? 0 : prefix_[i - 1] + static_cast<int>(chunks_[i - 1].size());
    for (; i < upTo; ++i) {
        prefix_[i] = count;
        count += static_cast<int>(chunks_[i].size());
    }
    prefixValid_ = upTo;
}

std::uint32_t OrderedIndex::at(int position) const {
    ensurePrefix(chunks_.size());
    auto it = std::upper_bound(prefix_.begin(), prefix_.end(), position);
    std::size_t c = static_cast<std::size_t>(it - prefix_.begin()) - 1;
    return chunks_[c][static_cast<std::size_t>(position - prefix_[c])];
}

int OrderedIndex::positionOf(std::uint32_t rec) const {
    std::size_t c = chunkFor(rec);
    if (c == chunks_.size()) return -1;
    const auto& ch = chunks_[c];
    auto it = std::lower_bound(ch.begin(), ch.end(), rec,
                               [this](std::uint32_t a, std::uint32_t b) { return less(a, b); });
    if (it == ch.end() || *it != rec) return -1;
    ensurePrefix(c + 1);
    return prefix_[c] + static_cast<int>(it - ch.begin());
}

template <class Pred>
int OrderedIndex::boundBy(Pred keyBefore) const {
    // keyBefore(rec): the record comes before the bound.
    std::size_t lo = 0, hi = chunks_.size();
    while (lo < hi) {
        std::size_t mid = (lo + hi) / 2;
        if (keyBefore(chunks_[mid].back())) {
            lo = mid + 1;
        } else {
            hi = mid;
        }
    }
    if (lo == chunks_.size()) return size_;
    const auto& ch = chunks_[lo];
    auto it = std::partition_point(ch.begin(), ch.end(), keyBefore);
    ensurePrefix(lo + 1);
    return prefix_[lo] + static_cast<int>(it - ch.begin());
}

int OrderedIndex::lowerBound(const Key& key) const {
    if (kind_ == Kind::Physical) return 0;
    return boundBy([&](std::uint32_t r) { return compareKey(r, key) < 0; });
}

int OrderedIndex::upperBound(const Key& key) const {
    if (kind_ == Kind::Physical) return size_;
    return boundBy([&](std::uint32_t r) { return compareKey(r, key) <= 0; });
}

void OrderedIndex::insert(std::uint32_t rec) {
    if (chunks_.empty()) {
        chunks_.push_back({rec});
        size_ = 1;
        touched(0);
        return;
    }
    std::size_t c = chunkFor(rec);
    if (c == chunks_.size()) c = chunks_.size() - 1;
    auto& ch = chunks_[c];
    auto it = std::lower_bound(ch.begin(), ch.end(), rec,
                               [this](std::uint32_t a, std::uint32_t b) { return less(a, b); });
    ch.insert(it, rec);
    ++size_;
    touched(c);
    if (ch.size() >= kChunkMax) {
        std::vector<std::uint32_t> upper(ch.begin() + kChunkMax / 2, ch.end());
        ch.resize(kChunkMax / 2);
        chunks_.insert(chunks_.begin() + static_cast<std::ptrdiff_t>(c) + 1, std::move(upper));
    }
}

bool OrderedIndex::erase(std::uint32_t rec) {
    std::size_t c = chunkFor(rec);
    if (c == chunks_.size()) return false;
    auto& ch = chunks_[c];
    auto it = std::lower_bound(ch.begin(), ch.end(), rec,
                               [this](std::uint32_t a, std::uint32_t b) { return less(a, b); });
    if (it == ch.end() || *it != rec) return false;
    ch.erase(it);
    --size_;
    touched(c);
    if (ch.empty()) chunks_.erase(chunks_.begin() + static_cast<std::ptrdiff_t>(c));
    return true;
}

void OrderedIndex::rebuild(std::vector<std::uint32_t> recs) {
    std::sort(recs.begin(), recs.end(),
              [this](std::uint32_t a, std::uint32_t b) { return less(a, b); });
    chunks_.clear();
    for (std::size_t i = 0; i < recs.size(); i += kChunkMax / 2) {
        std::size_t end = std::min(recs.size(), i + kChunkMax / 2);
        chunks_.emplace_back(recs.begin() + static_cast<std::ptrdiff_t>(i),
                             recs.begin() + static_cast<std::ptrdiff_t>(end));
    }
    size_ = static_cast<int>(recs.size());
    prefixValid_ = 0;
    prefix_.clear();
}

}  // namespace tz::tables
