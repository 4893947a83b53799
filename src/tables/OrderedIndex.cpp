#include "tables/OrderedIndex.h"

#include <algorithm>
#include <cstring>

namespace tz::tables {
namespace {
// Chunks split when they reach kChunkMax records; a rebuild fills them to kChunkFill.
constexpr std::size_t kChunkMax = 256;
constexpr std::size_t kChunkFill = 128;
}  // namespace

OrderedIndex::OrderedIndex(Kind kind, const std::vector<char>* records, int recordLength,
                           int offset, int width, const std::vector<double>* numbers)
    // A key of no bytes (a zero-width field another program wrote) equals every other key:
    // the index keeps record order, like the physical order.
    : kind_(kind == Kind::Bytes && width <= 0 ? Kind::Physical : kind),
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
            int c = std::memcmp(keyBytes(a), keyBytes(b), static_cast<std::size_t>(width_));
            if (c != 0) return c < 0;
            break;
        }
        case Kind::Number: {
            double x = keyNumber(a), y = keyNumber(b);
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
        case Kind::Bytes:
            return std::memcmp(keyBytes(rec), key.bytes.data(),
                               std::min<std::size_t>(key.bytes.size(), width_));
        case Kind::Number: {
            double x = keyNumber(rec);
            return x < key.number ? -1 : (x > key.number ? 1 : 0);
        }
    }
    return 0;
}

int OrderedIndex::compareFence(std::size_t chunk, std::uint32_t rec) const {
    std::uint32_t f = fenceRec_[chunk];
    switch (kind_) {
        case Kind::Physical:
            break;
        case Kind::Bytes: {
            int c = std::memcmp(fenceBytes_.data() + chunk * static_cast<std::size_t>(width_),
                                keyBytes(rec), static_cast<std::size_t>(width_));
            if (c != 0) return c;
            break;
        }
        case Kind::Number: {
            double x = fenceNumber_[chunk], y = keyNumber(rec);
            if (x != y) return x < y ? -1 : 1;
            break;
        }
    }
    return f < rec ? -1 : (f > rec ? 1 : 0);
}

int OrderedIndex::compareFenceKey(std::size_t chunk, const Key& key) const {
    switch (kind_) {
        case Kind::Physical:
            return 0;
        case Kind::Bytes:
            return std::memcmp(fenceBytes_.data() + chunk * static_cast<std::size_t>(width_),
                               key.bytes.data(), std::min<std::size_t>(key.bytes.size(), width_));
        case Kind::Number: {
            double x = fenceNumber_[chunk];
            return x < key.number ? -1 : (x > key.number ? 1 : 0);
        }
    }
    return 0;
}

void OrderedIndex::setFence(std::size_t chunk) {
    std::uint32_t last = chunks_[chunk].back();
    fenceRec_[chunk] = last;
    if (kind_ == Kind::Bytes) {
        std::memcpy(fenceBytes_.data() + chunk * static_cast<std::size_t>(width_), keyBytes(last),
                    static_cast<std::size_t>(width_));
    } else if (kind_ == Kind::Number) {
        fenceNumber_[chunk] = keyNumber(last);
    }
}

void OrderedIndex::insertFence(std::size_t chunk) {
    fenceRec_.insert(fenceRec_.begin() + static_cast<std::ptrdiff_t>(chunk), 0);
    if (kind_ == Kind::Bytes) {
        fenceBytes_.insert(fenceBytes_.begin() + static_cast<std::ptrdiff_t>(chunk * width_),
                           static_cast<std::size_t>(width_), ' ');
    } else if (kind_ == Kind::Number) {
        fenceNumber_.insert(fenceNumber_.begin() + static_cast<std::ptrdiff_t>(chunk), 0.0);
    }
}

void OrderedIndex::eraseFence(std::size_t chunk) {
    fenceRec_.erase(fenceRec_.begin() + static_cast<std::ptrdiff_t>(chunk));
    if (kind_ == Kind::Bytes) {
        auto at = fenceBytes_.begin() + static_cast<std::ptrdiff_t>(chunk * width_);
        fenceBytes_.erase(at, at + width_);
    } else if (kind_ == Kind::Number) {
        fenceNumber_.erase(fenceNumber_.begin() + static_cast<std::ptrdiff_t>(chunk));
    }
}

std::size_t OrderedIndex::chunkFor(std::uint32_t rec) const {
    std::size_t lo = 0, hi = chunks_.size();
    while (lo < hi) {
        std::size_t mid = (lo + hi) / 2;
        if (compareFence(mid, rec) < 0) {
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

template <bool Upper>
int OrderedIndex::bound(const Key& key) const {
    // A record comes before the bound when its key is < key (lower) or ≤ key (upper).
    auto before = [](int c) { return Upper ? c <= 0 : c < 0; };
    std::size_t lo = 0, hi = chunks_.size();
    while (lo < hi) {
        std::size_t mid = (lo + hi) / 2;
        if (before(compareFenceKey(mid, key))) {
            lo = mid + 1;
        } else {
            hi = mid;
        }
    }
    if (lo == chunks_.size()) return size_;
    const auto& ch = chunks_[lo];
    auto it = std::partition_point(ch.begin(), ch.end(),
                                   [&](std::uint32_t r) { return before(compareKey(r, key)); });
    ensurePrefix(lo + 1);
    return prefix_[lo] + static_cast<int>(it - ch.begin());
}

int OrderedIndex::lowerBound(const Key& key) const {
    if (kind_ == Kind::Physical) return 0;
    return bound<false>(key);
}

int OrderedIndex::upperBound(const Key& key) const {
    if (kind_ == Kind::Physical) return size_;
    return bound<true>(key);
}

void OrderedIndex::insert(std::uint32_t rec) {
    if (chunks_.empty()) {
        chunks_.push_back({rec});
        insertFence(0);
        setFence(0);
        size_ = 1;
        touched(0);
        return;
    }
    std::size_t c = chunkFor(rec);
    if (c == chunks_.size()) c = chunks_.size() - 1;
    auto& ch = chunks_[c];
    auto it = std::lower_bound(ch.begin(), ch.end(), rec,
                               [this](std::uint32_t a, std::uint32_t b) { return less(a, b); });
    bool atEnd = it == ch.end();
    ch.insert(it, rec);
    if (atEnd) setFence(c);
    ++size_;
    touched(c);
    if (ch.size() >= kChunkMax) {
        std::vector<std::uint32_t> upper(ch.begin() + kChunkMax / 2, ch.end());
        ch.resize(kChunkMax / 2);
        chunks_.insert(chunks_.begin() + static_cast<std::ptrdiff_t>(c) + 1, std::move(upper));
        insertFence(c + 1);
        setFence(c);
        setFence(c + 1);
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
    if (ch.empty()) {
        chunks_.erase(chunks_.begin() + static_cast<std::ptrdiff_t>(c));
        eraseFence(c);
    } else {
        setFence(c);
    }
    return true;
}

void OrderedIndex::rebuild(std::vector<std::uint32_t> recs) {
    std::sort(recs.begin(), recs.end(),
              [this](std::uint32_t a, std::uint32_t b) { return less(a, b); });
    chunks_.clear();
    fenceRec_.clear();
    fenceBytes_.clear();
    fenceNumber_.clear();
    for (std::size_t i = 0; i < recs.size(); i += kChunkFill) {
        std::size_t end = std::min(recs.size(), i + kChunkFill);
        chunks_.emplace_back(recs.begin() + static_cast<std::ptrdiff_t>(i),
                             recs.begin() + static_cast<std::ptrdiff_t>(end));
        insertFence(chunks_.size() - 1);
        setFence(chunks_.size() - 1);
    }
    size_ = static_cast<int>(recs.size());
    prefixValid_ = 0;
    prefix_.clear();
}

}  // namespace tz::tables
