#include "tables/OrderedIndex.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

namespace tz::tables {
namespace {
// Chunks split when they reach kChunkMax entries; a bulk fill leaves them at kChunkFill.
constexpr std::size_t kChunkMax = 192;
constexpr std::size_t kChunkFill = 128;
// Waiting records are placed one by one when they are few against the order's size,
// otherwise sorted and merged in one pass.
constexpr std::size_t kFewPending = 32;

using Word = std::uint64_t;
using Flat = std::vector<Word, LeftUnset<Word>>;  // OrderedIndex::Flat

// Eight key bytes as a word that compares like them (unsigned, first byte most significant);
// bytes past `n` count as zero.
inline Word load8(const char* p) {
    Word w;
    std::memcpy(&w, p, 8);
    if constexpr (std::endian::native == std::endian::little) w = __builtin_bswap64(w);
    return w;
}

Word pack(const char* p, std::size_t n) {
    if (n >= 8) return load8(p);
    Word w = 0;
    for (std::size_t i = 0; i < 8; ++i) {
        w <<= 8;
        if (i < n) w |= static_cast<unsigned char>(p[i]);
    }
    return w;
}

// pack() where 8 bytes at p may be read whatever n is.
inline Word packWide(const char* p, std::size_t n) {
    if (n >= 8) return load8(p);
    if (n == 0) return 0;
    return load8(p) & (~Word{0} << (8 * (8 - n)));
}

// A word that orders like the value (-0 and 0 are one key).
Word numberWord(double v) {
    if (v == 0) v = 0;
    auto bits = std::bit_cast<Word>(v);
    constexpr Word kSign = Word{1} << 63;
    return (bits & kSign) ? ~bits : bits | kSign;
}

}  // namespace

OrderedIndex::OrderedIndex(Kind kind, const RecordStore* records, int offset, int width,
                           const std::vector<double>* numbers)
    // A key of no bytes (a zero-width field another program wrote) equals every other key:
    // the index keeps record order, like the physical order.
    : kind_(kind == Kind::Bytes && width <= 0 ? Kind::Physical : kind),
      records_(records),
      offset_(offset),
      width_(width),
      numbers_(numbers) {
    switch (kind_) {
        case Kind::Physical:
            words_ = 0;
            break;
        case Kind::Bytes:
            words_ = std::min(kMaxWords, (width_ + 7) / 8);
            inlineBytes_ = std::min(width_, 8 * words_);
            tail_ = width_ > inlineBytes_;
            break;
        case Kind::Number:
            words_ = 1;
            break;
    }
    stride_ = words_ + 1;
    // Whole words of the key may be read where they end within the record.
    wideReads_ =
        records_ && std::size_t(offset_) + 8 * std::size_t(words_) <= records_->recordLength();
}

bool OrderedIndex::hasKey(std::uint32_t rec) const {
    switch (kind_) {
        case Kind::Physical:
            return true;
        case Kind::Bytes:
            return rec < records_->count();
        case Kind::Number:
            return rec < numbers_->size();
    }
    return false;
}

void OrderedIndex::entryOf(std::uint32_t rec, Word* out) const {
    if (kind_ == Kind::Bytes) {
        const char* p = keyBytes(rec);
        for (int i = 0; i < words_; ++i) {
            const auto n = static_cast<std::size_t>(inlineBytes_ - 8 * i);
            out[i] = wideReads_ ? packWide(p + 8 * i, n) : pack(p + 8 * i, n);
        }
    } else if (kind_ == Kind::Number) {
        out[0] = numberWord((*numbers_)[rec]);
    }
    out[words_] = rec;
}

void OrderedIndex::keyWords(const Key& key, Word* out) const {
    if (kind_ == Kind::Bytes) {
        // The key padded with spaces to the bytes held inline (and room to read whole words).
        char padded[8 * kMaxWords + 8];
        const std::size_t n = std::min<std::size_t>(key.bytes.size(), inlineBytes_);
        const char* k = key.bytes.data();
        for (std::size_t i = 0; i < n; ++i) padded[i] = k[i];
        for (std::size_t i = n; i < sizeof padded; ++i) padded[i] = ' ';
        for (int i = 0; i < words_; ++i) {
            out[i] = packWide(padded + 8 * i, static_cast<std::size_t>(inlineBytes_ - 8 * i));
        }
    } else if (kind_ == Kind::Number) {
        out[0] = numberWord(key.number);
    }
}

[[gnu::always_inline]] inline int OrderedIndex::compareEntries(const Word* a, const Word* b) const {
    for (int i = 0; i < words_; ++i) {
        if (a[i] != b[i]) return a[i] < b[i] ? -1 : 1;
    }
    if (tail_) {
        int c = std::memcmp(keyBytes(recOf(a)) + inlineBytes_, keyBytes(recOf(b)) + inlineBytes_,
                            static_cast<std::size_t>(width_ - inlineBytes_));
        if (c != 0) return c;
    }
    Word x = a[words_], y = b[words_];
    return x < y ? -1 : (x > y ? 1 : 0);
}

[[gnu::always_inline]] inline int OrderedIndex::compareEntryKey(const Word* entry, const Word* kw,
                                                                const char* tail) const {
    for (int i = 0; i < words_; ++i) {
        if (entry[i] != kw[i]) return entry[i] < kw[i] ? -1 : 1;
    }
    if (tail_) {
        return std::memcmp(keyBytes(recOf(entry)) + inlineBytes_, tail,
                           static_cast<std::size_t>(width_ - inlineBytes_));
    }
    return 0;
}

int OrderedIndex::compareKey(std::uint32_t rec, const Key& key) const {
    switch (kind_) {
        case Kind::Physical:
            return 0;
        case Kind::Bytes:
            return std::memcmp(keyBytes(rec), key.bytes.data(),
                               std::min<std::size_t>(key.bytes.size(), width_));
        case Kind::Number: {
            double x = (*numbers_)[rec];
            return x < key.number ? -1 : (x > key.number ? 1 : 0);
        }
    }
    return 0;
}

void OrderedIndex::setFence(std::size_t chunk) {
    const auto& ch = chunks_[chunk];
    std::copy(ch.end() - stride_, ch.end(),
              fences_.begin() + static_cast<std::ptrdiff_t>(chunk * stride_));
}

std::size_t OrderedIndex::chunkFor(const Word* entry) const {
    std::size_t lo = 0, hi = chunks_.size();
    while (lo < hi) {
        std::size_t mid = (lo + hi) / 2;
        if (compareEntries(fence(mid), entry) < 0) {
            lo = mid + 1;
        } else {
            hi = mid;
        }
    }
    return lo;
}

std::size_t OrderedIndex::slotFor(std::size_t chunk, const Word* entry) const {
    const Word* base = chunks_[chunk].data();
    std::size_t lo = 0, hi = entries(chunk);
    while (lo < hi) {
        std::size_t mid = (lo + hi) / 2;
        if (compareEntries(base + mid * stride_, entry) < 0) {
            lo = mid + 1;
        } else {
            hi = mid;
        }
    }
    return lo;
}

// --- entry counts -----------------------------------------------------------------------------

void OrderedIndex::ensureCounts() const {
    if (countsValid_) return;
    std::size_t n = chunks_.size();
    counts_.assign(n + 1, 0);
    for (std::size_t i = 1; i <= n; ++i) {
        counts_[i] += static_cast<int>(entries(i - 1));
        std::size_t up = i + (i & (~i + 1));
        if (up <= n) counts_[up] += counts_[i];
    }
    countsValid_ = true;
}

void OrderedIndex::countChanged(std::size_t chunk, int delta) {
    if (!countsValid_) return;
    for (std::size_t i = chunk + 1; i < counts_.size(); i += i & (~i + 1)) counts_[i] += delta;
}

int OrderedIndex::entriesBefore(std::size_t chunk) const {
    ensureCounts();
    int sum = 0;
    for (std::size_t i = chunk; i > 0; i -= i & (~i + 1)) sum += counts_[i];
    return sum;
}

std::size_t OrderedIndex::chunkAt(int position, int* offset) const {
    // The chunk of the last answer first: positions are mostly visited one after another.
    if (lastVersion_ == version_ && position >= lastStart_ && lastChunk_ < chunks_.size() &&
        position < lastStart_ + static_cast<int>(entries(lastChunk_))) {
        *offset = position - lastStart_;
        return lastChunk_;
    }
    ensureCounts();
    std::size_t n = chunks_.size(), idx = 0;
    int rest = position;
    for (std::size_t step = std::bit_floor(n); step > 0; step >>= 1) {
        if (idx + step <= n && counts_[idx + step] <= rest) {
            idx += step;
            rest -= counts_[idx];
        }
    }
    *offset = rest;
    lastVersion_ = version_;
    lastChunk_ = idx;
    lastStart_ = position - rest;
    return idx;
}

void OrderedIndex::recordsInOrder(std::vector<std::uint32_t>& out) const {
    place();
    out.clear();
    out.reserve(static_cast<std::size_t>(size_));
    for (const auto& ch : chunks_) {
        for (std::size_t i = static_cast<std::size_t>(words_); i < ch.size(); i += stride_) {
            out.push_back(static_cast<std::uint32_t>(ch[i]));
        }
    }
}

bool OrderedIndex::keysInOrder(std::vector<std::uint32_t>& out, std::string& keys) const {
    if (kind_ != Kind::Bytes || tail_) return false;
    place();
    const auto w = static_cast<std::size_t>(width_);
    out.resize(static_cast<std::size_t>(size_));
    keys.resize(static_cast<std::size_t>(size_) * w);
    char* k = keys.data();
    std::size_t i = 0;
    for (const auto& ch : chunks_) {
        for (const Word* e = ch.data(); e != ch.data() + ch.size(); e += stride_) {
            out[i++] = static_cast<std::uint32_t>(e[words_]);
            // The words hold the key's bytes first byte most significant.
            char bytes[8 * kMaxWords];
            for (int j = 0; j < words_; ++j) {
                Word x = e[j];
                if constexpr (std::endian::native == std::endian::little) x = __builtin_bswap64(x);
                std::memcpy(bytes + 8 * j, &x, 8);
            }
            std::memcpy(k, bytes, w);
            k += w;
        }
    }
    return true;
}

// --- queries ----------------------------------------------------------------------------------

std::uint32_t OrderedIndex::at(int position) const {
    place();
    int off = 0;
    std::size_t c = chunkAt(position, &off);
    return recOf(chunks_[c].data() + static_cast<std::size_t>(off) * stride_);
}

bool OrderedIndex::keyAt(int position, const Key& key) const {
    if (kind_ == Kind::Physical) return true;
    place();
    int off = 0;
    std::size_t c = chunkAt(position, &off);
    const Word* e = chunks_[c].data() + static_cast<std::size_t>(off) * stride_;
    Word kw[kMaxWords];
    keyWords(key, kw);
    for (int i = 0; i < words_; ++i) {
        if (e[i] != kw[i]) return false;
    }
    return !tail_ || compareKey(recOf(e), key) == 0;
}

int OrderedIndex::positionOf(std::uint32_t rec) const {
    if (!hasKey(rec)) return -1;
    place();
    Word e[kMaxWords + 1];
    entryOf(rec, e);
    // The last entry (the row just appended, often) needs no search.
    if (!chunks_.empty() && compareEntries(fence(chunks_.size() - 1), e) == 0) return size_ - 1;
    std::size_t c = chunkFor(e);
    if (c == chunks_.size()) return -1;
    std::size_t s = slotFor(c, e);
    if (s == entries(c) || compareEntries(chunks_[c].data() + s * stride_, e) != 0) return -1;
    return entriesBefore(c) + static_cast<int>(s);
}

template <bool Upper>
int OrderedIndex::bound(const Key& key) const {
    place();
    Word kw[kMaxWords];
    keyWords(key, kw);
    std::string tail;
    if (tail_) {
        tail = key.bytes;
        tail.resize(static_cast<std::size_t>(width_), ' ');
    }
    const char* t = tail_ ? tail.data() + inlineBytes_ : nullptr;
    // An entry comes before the bound when its key is < key (lower) or ≤ key (upper).
    auto before = [&](const Word* e) {
        int c = compareEntryKey(e, kw, t);
        return Upper ? c <= 0 : c < 0;
    };
    std::size_t lo = 0, hi = chunks_.size();
    while (lo < hi) {
        std::size_t mid = (lo + hi) / 2;
        if (before(fence(mid))) {
            lo = mid + 1;
        } else {
            hi = mid;
        }
    }
    if (lo == chunks_.size()) return size_;
    const Word* base = chunks_[lo].data();
    std::size_t a = 0, b = entries(lo);
    while (a < b) {
        std::size_t mid = (a + b) / 2;
        if (before(base + mid * stride_)) {
            a = mid + 1;
        } else {
            b = mid;
        }
    }
    return entriesBefore(lo) + static_cast<int>(a);
}

int OrderedIndex::find(const Key& key) const {
    if (kind_ == Kind::Physical) return size() > 0 ? 0 : -1;
    place();
    Word kw[kMaxWords];
    keyWords(key, kw);
    std::string tail;
    if (tail_) {
        tail = key.bytes;
        tail.resize(static_cast<std::size_t>(width_), ' ');
    }
    const char* t = tail_ ? tail.data() + inlineBytes_ : nullptr;
    std::size_t lo = 0, hi = chunks_.size();
    while (lo < hi) {
        const std::size_t mid = (lo + hi) / 2;
        if (compareEntryKey(fence(mid), kw, t) < 0) {
            lo = mid + 1;
        } else {
            hi = mid;
        }
    }
    if (lo == chunks_.size()) return -1;
    const Word* base = chunks_[lo].data();
    std::size_t a = 0, b = entries(lo);
    while (a < b) {
        const std::size_t mid = (a + b) / 2;
        if (compareEntryKey(base + mid * stride_, kw, t) < 0) {
            a = mid + 1;
        } else {
            b = mid;
        }
    }
    // The chunk's last entry is not less than the key, so the slot is inside the chunk.
    if (a == entries(lo) || compareEntryKey(base + a * stride_, kw, t) != 0) return -1;
    return entriesBefore(lo) + static_cast<int>(a);
}

int OrderedIndex::lowerBound(const Key& key) const {
    if (kind_ == Kind::Physical) return 0;
    return bound<false>(key);
}

int OrderedIndex::upperBound(const Key& key) const {
    if (kind_ == Kind::Physical) return size();
    return bound<true>(key);
}

// --- changes ----------------------------------------------------------------------------------

void OrderedIndex::insert(std::uint32_t rec) { pending_.push_back(rec); }

void OrderedIndex::placeOne(std::uint32_t rec) {
    ++version_;
    Word e[kMaxWords + 1];
    entryOf(rec, e);
    const auto stride = static_cast<std::ptrdiff_t>(stride_);
    if (chunks_.empty() || compareEntries(fence(chunks_.size() - 1), e) < 0) {
        appendEntry(e);
        return;
    }
    std::size_t c = std::min(chunkFor(e), chunks_.size() - 1);
    std::size_t s = slotFor(c, e);
    auto& ch = chunks_[c];
    bool atEnd = s == entries(c);
    ch.insert(ch.begin() + static_cast<std::ptrdiff_t>(s) * stride, e, e + stride);
    if (atEnd) setFence(c);
    ++size_;
    countChanged(c, 1);
    if (entries(c) >= kChunkMax) {
        auto half = static_cast<std::ptrdiff_t>(kChunkMax / 2) * stride;
        std::vector<Word> upper(ch.begin() + half, ch.end());
        ch.resize(static_cast<std::size_t>(half));
        chunks_.insert(chunks_.begin() + static_cast<std::ptrdiff_t>(c) + 1, std::move(upper));
        fences_.insert(fences_.begin() + static_cast<std::ptrdiff_t>(c) * stride, e, e + stride);
        setFence(c);
        setFence(c + 1);
        countsValid_ = false;
    }
}

void OrderedIndex::appendEntry(const Word* e) {
    ++version_;
    const auto stride = static_cast<std::ptrdiff_t>(stride_);
    ++size_;
    if (!chunks_.empty() && entries(chunks_.size() - 1) + 1 < kChunkMax) {
        std::size_t c = chunks_.size() - 1;
        chunks_[c].insert(chunks_[c].end(), e, e + stride);
        setFence(c);
        countChanged(c, 1);
        return;
    }
    std::size_t n = chunks_.size();  // the new chunk's index
    chunks_.emplace_back(e, e + stride);
    fences_.insert(fences_.end(), e, e + stride);
    if (countsValid_) {
        // Tree node n + 1 sums the chunks (n + 1 − lowbit(n + 1), n + 1], 1-based.
        std::size_t i = n + 1, from = i - (i & (~i + 1));
        counts_.push_back(1 + entriesBefore(n) - entriesBefore(from));
    }
}

template <std::size_t S, bool Tail, class Less>
static void sortFixed(Flat& flat, Less less) {
    using Entry = std::array<Word, S>;
    static_assert(sizeof(Entry) == S * sizeof(Word));
    if (flat.empty()) return;  // nothing to sort, and an empty vector's data() may be null
    std::vector<Entry> v(flat.size() / S);
    std::memcpy(v.data(), flat.data(), flat.size() * sizeof(Word));
    if constexpr (Tail) {
        std::sort(v.begin(), v.end(),
                  [&](const Entry& a, const Entry& b) { return less(a.data(), b.data()); });
    } else {
        // Key words, then the record number: the entries' own lexicographic order.
        std::sort(v.begin(), v.end());
    }
    std::memcpy(flat.data(), v.data(), flat.size() * sizeof(Word));
}

// Sorts entries of `stride` words by all their words in turn (key words, then the record
// number), least significant byte first, each pass a stable counting sort; bytes that are the
// same in every entry take no pass. Linear in the entries, where a comparison sort is not.
// `ranked`: the entries come in record order, so the record words need no pass (each pass
// keeps the order of equal bytes).
template <std::size_t Stride>
static void radixSort(Flat& flat, bool ranked) {
    constexpr std::size_t stride = Stride;
    const std::size_t n = flat.size() / stride;
    const std::size_t words = ranked ? stride - 1 : stride;
    // The bytes that differ from the first entry's anywhere: the others take no pass.
    Word differ[8] = {};  // at most 4 key words and the record number
    for (std::size_t i = 1; i < n; ++i) {
        const Word* e = flat.data() + i * stride;
        for (std::size_t w = 0; w < words; ++w) differ[w] |= e[w] ^ flat[w];
    }
    struct Digit {
        std::size_t word;
        int shift;
    };
    std::vector<Digit> digits;  // least significant first
    for (std::size_t w = words; w-- > 0;) {
        for (int b = 0; b < 8; ++b) {
            if ((differ[w] >> (8 * b)) & 0xFF) digits.push_back({w, 8 * b});
        }
    }
    if (digits.empty()) return;
    // How often each value of each digit occurs, counted in one pass.
    std::vector<std::uint32_t> counts(digits.size() * 256, 0);
    for (std::size_t i = 0; i < n; ++i) {
        const Word* e = flat.data() + i * stride;
        std::uint32_t* c = counts.data();
        for (const Digit& d : digits) {
            ++c[(e[d.word] >> d.shift) & 0xFF];
            c += 256;
        }
    }
    Flat other(flat.size());
    Word* src = flat.data();
    Word* dst = other.data();
    for (std::size_t k = 0; k < digits.size(); ++k) {
        const Digit d = digits[k];
        std::uint32_t* c = counts.data() + k * 256;
        std::uint32_t sum = 0;
        for (int v = 0; v < 256; ++v) {
            const std::uint32_t m = c[v];
            c[v] = sum;
            sum += m;
        }
        const std::size_t word = d.word;
        const int shift = d.shift;
        for (std::size_t i = 0; i < n; ++i) {
            const Word* e = src + i * stride;
            Word* to = dst + std::size_t(c[(e[word] >> shift) & 0xFF]++) * stride;
            for (std::size_t j = 0; j < stride; ++j) to[j] = e[j];
        }
        std::swap(src, dst);
    }
    if (src != flat.data()) flat.swap(other);
}

// Sorts entries that come in record order and share few distinct keys (a teacher's
// abbreviation, a document: tens of rows each) by gathering them: each key is given a group in
// one pass (a small hash table that stays in the cache), the groups are sorted, and the entries
// are copied to their group's place in the order they came, which keeps equal keys in record
// order. Two passes over the entries where a radix sort takes one per differing key byte.
// Returns false, with `flat` unchanged, when the keys are too many distinct ones for it to pay.
template <std::size_t Stride>
static bool groupSort(Flat& flat) {
    constexpr std::size_t stride = Stride, words = Stride - 1;  // key words, then the record
    const std::size_t n = flat.size() / stride;
    const std::size_t most = n / 8;  // groups beyond this: the radix sort is as fast
    // A first look at some entries: keys nearly all distinct (a slot key,
    // a document of each row) go to the radix sort at once. Among 1,024 keys drawn from a few
    // thousand values many repeat; drawn from tens of thousands, hardly any.
    if (n >= 8192) {
        constexpr std::size_t kLook = 1024;
        std::vector<Word> look;
        look.reserve(kLook * words);
        // Drawn as at random (rows of one key often lie together, so evenly spaced draws would
        // miss the repeats).
        std::uint64_t draw = 0x9E3779B97F4A7C15ULL;
        for (std::size_t k = 0; k < kLook; ++k) {
            draw = draw * 6364136223846793005ULL + 1442695040888963407ULL;
            const Word* e = flat.data() + static_cast<std::size_t>((draw >> 32) % n) * stride;
            look.insert(look.end(), e, e + words);
        }
        std::vector<std::size_t> order(kLook);
        for (std::size_t k = 0; k < kLook; ++k) order[k] = k;
        auto keyOf = [&](std::size_t k) { return look.data() + k * words; };
        std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
            return std::lexicographical_compare(keyOf(a), keyOf(a) + words, keyOf(b),
                                                keyOf(b) + words);
        });
        std::size_t distinct = 1;
        for (std::size_t k = 1; k < kLook; ++k)
            distinct +=
                !std::equal(keyOf(order[k - 1]), keyOf(order[k - 1]) + words, keyOf(order[k]));
        if (distinct > kLook * 15 / 16) return false;
    }
    std::size_t tableSize = 64;
    int bits = 6;
    while (tableSize < most * 2) tableSize *= 2, ++bits;
    const std::size_t mask = tableSize - 1;
    std::vector<std::uint32_t> table(tableSize, 0);  // group + 1, 0 empty
    std::vector<std::uint32_t> groupOf(n);
    std::vector<std::uint32_t> firstOf;  // an entry of each group
    std::vector<std::uint32_t> count;
    auto sameKey = [&](const Word* a, const Word* b) {
        for (std::size_t w = 0; w < words; ++w)
            if (a[w] != b[w]) return false;
        return true;
    };
    for (std::size_t i = 0; i < n; ++i) {
        const Word* e = flat.data() + i * stride;
        Word h = 0;
        for (std::size_t w = 0; w < words; ++w) h = (h ^ e[w]) * 0x9E3779B97F4A7C15ULL;
        std::size_t at = static_cast<std::size_t>(h >> (64 - bits));
        for (;; at = (at + 1) & mask) {
            const std::uint32_t g = table[at];
            if (g == 0) {
                if (firstOf.size() >= most) return false;
                firstOf.push_back(static_cast<std::uint32_t>(i));
                count.push_back(0);
                table[at] = static_cast<std::uint32_t>(firstOf.size());
                groupOf[i] = static_cast<std::uint32_t>(firstOf.size() - 1);
                break;
            }
            if (sameKey(flat.data() + std::size_t{firstOf[g - 1]} * stride, e)) {
                groupOf[i] = g - 1;
                break;
            }
        }
        ++count[groupOf[i]];
    }
    // The groups in key order (their keys differ), then where each one starts.
    std::vector<std::uint32_t> order(firstOf.size());
    for (std::size_t g = 0; g < order.size(); ++g) order[g] = static_cast<std::uint32_t>(g);
    std::sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) {
        const Word* x = flat.data() + std::size_t{firstOf[a]} * stride;
        const Word* y = flat.data() + std::size_t{firstOf[b]} * stride;
        return std::lexicographical_compare(x, x + words, y, y + words);
    });
    std::vector<std::uint32_t> start(firstOf.size());
    std::uint32_t at = 0;
    for (std::uint32_t g : order) {
        start[g] = at;
        at += count[g];
    }
    Flat out(flat.size());
    for (std::size_t i = 0; i < n; ++i) {
        const Word* e = flat.data() + i * stride;
        Word* to = out.data() + std::size_t{start[groupOf[i]]++} * stride;
        for (std::size_t j = 0; j < stride; ++j) to[j] = e[j];
    }
    flat.swap(out);
    return true;
}

void OrderedIndex::sortEntries(Flat& flat) const {
    const auto stride = static_cast<std::size_t>(stride_);
    // The entries' own lexicographic order is theirs unless key bytes lie beyond the words.
    if (!tail_ && flat.size() / stride >= 256) {
        bool ranked = true;
        for (std::size_t i = stride; i < flat.size() && ranked; i += stride) {
            ranked = flat[i + stride - 1] > flat[i - 1];
        }
        if (ranked) {
            switch (stride) {
                case 2:
                    if (groupSort<2>(flat)) return;
                    break;
                case 3:
                    if (groupSort<3>(flat)) return;
                    break;
                case 4:
                    if (groupSort<4>(flat)) return;
                    break;
                case kMaxWords + 1:
                    if (groupSort<kMaxWords + 1>(flat)) return;
                    break;
                default:
                    break;
            }
        }
        switch (stride) {
            case 1:
                radixSort<1>(flat, ranked);
                return;
            case 2:
                radixSort<2>(flat, ranked);
                return;
            case 3:
                radixSort<3>(flat, ranked);
                return;
            case 4:
                radixSort<4>(flat, ranked);
                return;
            default:
                radixSort<kMaxWords + 1>(flat, ranked);
                return;
        }
    }
    auto less = [this](const Word* a, const Word* b) { return compareEntries(a, b) < 0; };
    switch (stride_) {
        case 1:
            std::sort(flat.begin(), flat.end());
            break;
        case 2:
            sortFixed<2, false>(flat, less);
            break;
        case 3:
            sortFixed<3, false>(flat, less);
            break;
        case 4:
            sortFixed<4, false>(flat, less);
            break;
        default:
            if (tail_) {
                sortFixed<kMaxWords + 1, true>(flat, less);
            } else {
                sortFixed<kMaxWords + 1, false>(flat, less);
            }
            break;
    }
}

void OrderedIndex::fill(const Flat& flat) {
    ++version_;
    const auto stride = static_cast<std::size_t>(stride_);
    std::size_t n = flat.size() / stride;
    chunks_.clear();
    fences_.clear();
    for (std::size_t i = 0; i < n; i += kChunkFill) {
        std::size_t end = std::min(n, i + kChunkFill);
        auto first = flat.begin() + static_cast<std::ptrdiff_t>(i * stride);
        auto last = flat.begin() + static_cast<std::ptrdiff_t>(end * stride);
        chunks_.emplace_back(first, last);
        fences_.insert(fences_.end(), last - static_cast<std::ptrdiff_t>(stride), last);
    }
    size_ = static_cast<int>(n);
    countsValid_ = false;
}

void OrderedIndex::placePending() {
    if (pending_.size() <= kFewPending || pending_.size() * 8 <= static_cast<std::size_t>(size_)) {
        // Placed from where they wait (placeOne never adds to the list).
        for (auto r : pending_) placeOne(r);
        pending_.clear();
        return;
    }
    std::vector<std::uint32_t> recs;
    recs.swap(pending_);
    const auto stride = static_cast<std::size_t>(stride_);
    Flat added(recs.size() * stride);
    for (std::size_t i = 0; i < recs.size(); ++i) entryOf(recs[i], added.data() + i * stride);
    sortEntries(added);
    if (chunks_.empty()) {
        fill(added);
        return;
    }
    // One merge of the placed entries and the sorted new ones.
    Flat all;
    all.reserve((static_cast<std::size_t>(size_) + recs.size()) * stride);
    const Word* b = added.data();
    const Word* bEnd = added.data() + added.size();
    for (const auto& ch : chunks_) {
        for (const Word* a = ch.data(); a != ch.data() + ch.size(); a += stride) {
            while (b != bEnd && compareEntries(b, a) < 0) {
                all.insert(all.end(), b, b + stride);
                b += stride;
            }
            all.insert(all.end(), a, a + stride);
        }
    }
    all.insert(all.end(), b, bEnd);
    fill(all);
}

bool OrderedIndex::erase(std::uint32_t rec) {
    if (!hasKey(rec)) return false;
    place();
    Word e[kMaxWords + 1];
    entryOf(rec, e);
    std::size_t c = chunkFor(e);
    if (c == chunks_.size()) return false;
    std::size_t s = slotFor(c, e);
    auto& ch = chunks_[c];
    if (s == entries(c) || compareEntries(ch.data() + s * stride_, e) != 0) return false;
    const auto stride = static_cast<std::ptrdiff_t>(stride_);
    auto at = ch.begin() + static_cast<std::ptrdiff_t>(s) * stride;
    ch.erase(at, at + stride);
    ++version_;
    --size_;
    if (ch.empty()) {
        chunks_.erase(chunks_.begin() + static_cast<std::ptrdiff_t>(c));
        auto f = fences_.begin() + static_cast<std::ptrdiff_t>(c) * stride;
        fences_.erase(f, f + stride);
        countsValid_ = false;
    } else {
        setFence(c);
        countChanged(c, -1);
    }
    return true;
}

void OrderedIndex::takeEntries(OrderedIndex& other) {
    chunks_ = std::move(other.chunks_);
    fences_ = std::move(other.fences_);
    pending_ = std::move(other.pending_);
    size_ = other.size_;
    counts_ = std::move(other.counts_);
    countsValid_ = other.countsValid_;
    // Past both versions: nothing remembered of either content holds for this one.
    version_ = std::max(version_, other.version_) + 1;
    other.chunks_.clear();
    other.fences_.clear();
    other.pending_.clear();
    other.size_ = 0;
    other.counts_.clear();
    other.countsValid_ = false;
    ++other.version_;
}

// The entries of `recs` into `out`, for a key of W whole words read from the records (the
// usual character key): entryOf without its tests per record.
template <int W>
static void wideEntries(const RecordStore& store, int offset, int inlineBytes,
                        const std::vector<std::uint32_t>& recs, Word* out) {
    for (const std::uint32_t rec : recs) {
        const char* p = store.at(rec) + offset;
        for (int i = 0; i < W; ++i)
            out[i] = packWide(p + 8 * i, static_cast<std::size_t>(inlineBytes - 8 * i));
        out[W] = rec;
        out += W + 1;
    }
}

void OrderedIndex::rebuild(std::vector<std::uint32_t> recs) {
    pending_.clear();
    const auto stride = static_cast<std::size_t>(stride_);
    Flat flat(recs.size() * stride);
    if (kind_ == Kind::Bytes && wideReads_ && words_ == 1) {
        wideEntries<1>(*records_, offset_, inlineBytes_, recs, flat.data());
    } else if (kind_ == Kind::Bytes && wideReads_ && words_ == 2) {
        wideEntries<2>(*records_, offset_, inlineBytes_, recs, flat.data());
    } else {
        for (std::size_t i = 0; i < recs.size(); ++i) entryOf(recs[i], flat.data() + i * stride);
    }
    // Already in order (the physical order, rows appended in key order) needs no sorting.
    bool sorted = true;
    for (std::size_t i = 1; i < recs.size() && sorted; ++i) {
        sorted = compareEntries(flat.data() + (i - 1) * stride, flat.data() + i * stride) < 0;
    }
    if (!sorted) sortEntries(flat);
    fill(flat);
}

}  // namespace tz::tables
