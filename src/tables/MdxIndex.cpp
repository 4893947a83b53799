#include "tables/MdxIndex.h"

#include <algorithm>
#include <bit>
#include <cctype>
#include <cstring>
#include <ctime>
#include <numeric>
#include <stdexcept>

#include "platform/System.h"
#include "tables/ShortCopy.h"

namespace tz::tables::mdx {
namespace {

constexpr std::uint32_t kNone = UINT32_MAX;
constexpr std::size_t kTagTableOffset = 544;
constexpr std::size_t kTagEntryLength = 32;
constexpr std::size_t kTagHeaderBytes = 512;  // what we fill in a tag's header block

void put16(unsigned char* p, std::uint32_t v) {
    p[0] = static_cast<unsigned char>(v);
    p[1] = static_cast<unsigned char>(v >> 8);
}
void put32(unsigned char* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>(v >> (8 * i));
}

// Byte order of two keys, eight bytes at a time.
inline int compareBytes(const unsigned char* a, const unsigned char* b, std::size_t n) {
    for (; n >= 8; a += 8, b += 8, n -= 8) {
        std::uint64_t x, y;
        std::memcpy(&x, a, 8);
        std::memcpy(&y, b, 8);
        if (x != y) {
            if constexpr (std::endian::native == std::endian::little) {
                x = __builtin_bswap64(x);
                y = __builtin_bswap64(y);
            }
            return x < y ? -1 : 1;
        }
    }
    if (n >= 4) {
        // The first four bytes, then the last four (overlapping them when fewer than eight).
        for (const std::size_t at : {std::size_t{0}, n - 4}) {
            std::uint32_t x, y;
            std::memcpy(&x, a + at, 4);
            std::memcpy(&y, b + at, 4);
            if (x != y) {
                if constexpr (std::endian::native == std::endian::little) {
                    x = __builtin_bswap32(x);
                    y = __builtin_bswap32(y);
                }
                return x < y ? -1 : 1;
            }
        }
        return 0;
    }
    for (; n > 0; ++a, ++b, --n) {
        if (*a != *b) return *a < *b ? -1 : 1;
    }
    return 0;
}

struct Node {
    bool leaf = true;
    std::uint16_t tag = 0;
    bool dirty = false;  // listed in dirtyNodes
    bool whole = false;  // to be written whole; else a leaf whose items changed from dirtyFrom
    std::uint32_t dirtyFrom = 0;
    std::uint32_t diskUsed = 0;  // bytes of items (and the 8 before them) on disk
    std::uint32_t page = 0;      // 0: the node is free
    // The items as the block holds them (item length each: a 4-byte pointer, the key, zero
    // padding). Leaf: record number and key of each entry. Interior: page and largest key of
    // each child (the last child's key is kept here but not written).
    std::vector<unsigned char> items;
    // Interior: child node ids (a leaf's record numbers are in its items).
    std::vector<std::uint32_t> refs;
    // Interior: the record number of each child's last entry, so that equal keys spread over
    // several children are found exactly.
    std::vector<std::uint32_t> maxRecs;
    std::uint16_t itemLength = 0;
    std::size_t count() const { return leaf ? items.size() / itemLength : refs.size(); }
    // A leaf's record number at slot i (the item's pointer).
    std::uint32_t recAt(std::size_t i) const {
        const unsigned char* p = items.data() + i * itemLength;
        return p[0] | p[1] << 8 | p[2] << 16 | std::uint32_t(p[3]) << 24;
    }
};

struct Tag {
    TagSpec spec;
    std::size_t keyLength = 0;
    std::size_t itemLength = 0;
    std::size_t maxKeys = 0;
    std::uint32_t headerPage = 0;
    std::uint32_t root = kNone;
    std::uint32_t nodes = 0;
    std::uint32_t keys = 0;
    unsigned char serial = 2;  // what dBase IV writes in a new tag (word at 20)
    bool changed = true;       // entries changed: the serial number is to be bumped
    bool headerDirty = true;   // root, size, edge leaves or has-keys changed: whole header
};

}  // namespace

Date today() {
    std::time_t t = std::time(nullptr);
    std::tm tm = platform::localTime(t);
    return {static_cast<unsigned char>(tm.tm_year), static_cast<unsigned char>(tm.tm_mon + 1),
            static_cast<unsigned char>(tm.tm_mday)};
}

void StringSink::write(std::uint64_t offset, const void* src, std::size_t size) {
    if (offset + size > data.size()) data.resize(offset + size, '\0');
    if (size > 0) std::memcpy(data.data() + offset, src, size);
}

struct MdxIndex::Impl {
    std::string table;
    unsigned char language = kLanguageDriver;
    Date created{};
    Date updated{};
    std::vector<Tag> tags;
    std::vector<TagSpec> specs;
    std::vector<Node> nodes;
    std::vector<std::uint32_t> freeIds;
    std::uint32_t pageCount = kHeaderPages;
    std::uint32_t writtenPageCount = 0;
    std::vector<std::uint32_t> freePages;  // back() is the first free page
    std::vector<std::uint32_t> dirtyNodes;
    std::vector<std::uint32_t> dirtyFree;  // pages put on the free list since the last write
    bool headerChanged = true;

    // --- pages and nodes ----------------------------------------------------------------

    std::uint32_t allocatePage() {
        headerChanged = true;
        if (!freePages.empty()) {
            std::uint32_t p = freePages.back();
            freePages.pop_back();
            return p;
        }
        std::uint32_t p = pageCount;
        pageCount += kPagesPerBlock;
        return p;
    }

    // A node to be written whole.
    void markDirty(std::uint32_t id) {
        Node& n = nodes[id];
        n.whole = true;
        if (n.dirty) return;
        n.dirty = true;
        dirtyNodes.push_back(id);
    }

    // A leaf whose items are about to change from `slot` on: only that part of its block (and
    // the tail it no longer uses) is to be written.
    void markLeafDirty(std::uint32_t id, std::size_t slot) {
        Node& n = nodes[id];
        auto s = static_cast<std::uint32_t>(slot);
        if (!n.dirty) {
            n.dirty = true;
            n.whole = false;
            n.dirtyFrom = s;
            n.diskUsed = static_cast<std::uint32_t>(8 + n.items.size());
            dirtyNodes.push_back(id);
        } else if (s < n.dirtyFrom) {
            n.dirtyFrom = s;
        }
    }

    std::uint32_t newNode(Tag& t, bool leaf) {
        std::uint32_t id;
        if (!freeIds.empty()) {
            id = freeIds.back();
            freeIds.pop_back();
        } else {
            id = static_cast<std::uint32_t>(nodes.size());
            nodes.emplace_back();
        }
        Node& n = nodes[id];
        n.leaf = leaf;
        n.itemLength = static_cast<std::uint16_t>(t.itemLength);
        n.tag = static_cast<std::uint16_t>(&t - tags.data());
        n.page = allocatePage();
        n.items.clear();
        n.refs.clear();
        n.maxRecs.clear();
        ++t.nodes;
        t.headerDirty = true;
        markDirty(id);
        return id;
    }

    void freeNode(Tag& t, std::uint32_t id) {
        Node& n = nodes[id];
        freePages.push_back(n.page);
        dirtyFree.push_back(n.page);
        headerChanged = true;
        n.page = 0;
        n.items = {};
        n.refs = {};
        n.maxRecs = {};
        freeIds.push_back(id);
        --t.nodes;
        t.headerDirty = true;
    }

    void freeSubtree(Tag& t, std::uint32_t id) {
        if (!nodes[id].leaf) {
            std::vector<std::uint32_t> kids = nodes[id].refs;
            for (auto k : kids) freeSubtree(t, k);
        }
        freeNode(t, id);
    }

    // --- ordering -----------------------------------------------------------------------

    int compareKey(const Tag& t, const unsigned char* a, const unsigned char* b) const {
        if (t.spec.type == KeyType::Numeric) return compareNumericKeys(a, b);
        return compareBytes(a, b, t.keyLength);
    }

    static const unsigned char* keyAt(const Tag& t, const Node& n, std::size_t i) {
        return n.items.data() + i * t.itemLength + 4;
    }
    static unsigned char* keyAt(const Tag& t, Node& n, std::size_t i) {
        return n.items.data() + i * t.itemLength + 4;
    }
    // One item: pointer, key, zero padding.
    static void makeItem(const Tag& t, unsigned char* item, std::uint32_t pointer,
                         const unsigned char* key) {
        put32(item, pointer);
        std::memcpy(item + 4, key, t.keyLength);
        std::memset(item + 4 + t.keyLength, 0, t.itemLength - 4 - t.keyLength);
    }
    void insertItem(const Tag& t, Node& n, std::size_t i, std::uint32_t pointer,
                    const unsigned char* key) {
        unsigned char item[kBlockSize];
        makeItem(t, item, pointer, key);
        n.items.insert(n.items.begin() + static_cast<std::ptrdiff_t>(i * t.itemLength), item,
                       item + t.itemLength);
    }
    static void eraseItem(const Tag& t, Node& n, std::size_t i) {
        auto at = n.items.begin() + static_cast<std::ptrdiff_t>(i * t.itemLength);
        n.items.erase(at, at + static_cast<std::ptrdiff_t>(t.itemLength));
    }

    // (key, rec) against slot i of a node: <0, 0, >0.
    int compareSlot(const Tag& t, const Node& n, std::size_t i, const unsigned char* key,
                    std::uint32_t rec) const {
        int c = compareKey(t, key, keyAt(t, n, i));
        if (c != 0) return c;
        std::uint32_t r = n.leaf ? n.recAt(i) : n.maxRecs[i];
        return rec < r ? -1 : (rec > r ? 1 : 0);
    }

    // First slot whose entry (or child's largest entry) is not below (key, rec).
    std::size_t lowerBound(const Tag& t, const Node& n, const unsigned char* key,
                           std::uint32_t rec) const {
        std::size_t lo = 0, hi = n.count();
        while (lo < hi) {
            std::size_t mid = (lo + hi) / 2;
            if (compareSlot(t, n, mid, key, rec) > 0) {
                lo = mid + 1;
            } else {
                hi = mid;
            }
        }
        return lo;
    }

    // The largest entry of a non-empty node: its key bytes and record number.
    std::pair<const unsigned char*, std::uint32_t> maxOf(const Tag& t, std::uint32_t id) const {
        const Node& n = nodes[id];
        std::size_t last = n.count() - 1;
        return {keyAt(t, n, last), n.leaf ? n.recAt(last) : n.maxRecs.back()};
    }

    // Sets slot i of interior node `id` to describe child `child`; true when it changed.
    bool setChildMax(const Tag& t, std::uint32_t id, std::size_t i, std::uint32_t child) {
        auto [k, r] = maxOf(t, child);
        Node& n = nodes[id];
        unsigned char* dst = keyAt(t, n, i);
        if (n.maxRecs[i] == r && std::memcmp(dst, k, t.keyLength) == 0) return false;
        std::memmove(dst, k, t.keyLength);
        n.maxRecs[i] = r;
        return true;
    }

    void insertChild(const Tag& t, std::uint32_t id, std::size_t i, std::uint32_t child) {
        auto [k, r] = maxOf(t, child);
        unsigned char key[kMaxCharacterKey];
        std::memcpy(key, k, t.keyLength);
        Node& n = nodes[id];
        insertItem(t, n, i, nodes[child].page, key);
        n.refs.insert(n.refs.begin() + static_cast<std::ptrdiff_t>(i), child);
        n.maxRecs.insert(n.maxRecs.begin() + static_cast<std::ptrdiff_t>(i), r);
    }

    // Moves the slots from `from` on of node `id` into a new node; returns it.
    std::uint32_t splitOff(Tag& t, std::uint32_t id, std::size_t from) {
        bool leaf = nodes[id].leaf;
        std::uint32_t right = newNode(t, leaf);
        Node& n = nodes[id];
        Node& r = nodes[right];
        auto kf = static_cast<std::ptrdiff_t>(from * t.itemLength);
        auto f = static_cast<std::ptrdiff_t>(from);
        r.items.assign(n.items.begin() + kf, n.items.end());
        if (leaf) markLeafDirty(id, from);
        n.items.resize(from * t.itemLength);
        if (!leaf) {
            r.refs.assign(n.refs.begin() + f, n.refs.end());
            n.refs.resize(from);
            r.maxRecs.assign(n.maxRecs.begin() + f, n.maxRecs.end());
            n.maxRecs.resize(from);
        }
        return right;
    }

    // Where an overfull node of `count` slots is cut, `pos` being the slot just added. A node
    // that grew at its end keeps its slots and passes on only the new one, so keys added in
    // ascending order fill nodes completely; otherwise the node is halved.
    static std::size_t cutPoint(std::size_t count, std::size_t pos) {
        return pos == count - 1 ? count - 1 : (count + 1) / 2;
    }

    // --- insert and erase ---------------------------------------------------------------

    // Returns the new right sibling when the node split, else kNone.
    std::uint32_t insertAt(Tag& t, std::uint32_t id, const unsigned char* key, std::uint32_t rec) {
        if (nodes[id].leaf) {
            Node& n = nodes[id];
            std::size_t pos = lowerBound(t, n, key, rec);
            markLeafDirty(id, pos);
            insertItem(t, n, pos, rec, key);
            if (n.count() <= t.maxKeys) return kNone;
            return splitOff(t, id, cutPoint(n.count(), pos));
        }
        std::size_t i = lowerBound(t, nodes[id], key, rec);
        if (i == nodes[id].count()) --i;
        std::uint32_t child = nodes[id].refs[i];
        std::uint32_t sibling = insertAt(t, child, key, rec);
        bool changed = setChildMax(t, id, i, child);
        if (sibling == kNone) {
            if (changed) markDirty(id);
            return kNone;
        }
        insertChild(t, id, i + 1, sibling);
        markDirty(id);
        // At most maxKeys children, that is maxKeys − 1 keys.
        std::size_t count = nodes[id].count();
        if (count <= t.maxKeys) return kNone;
        return splitOff(t, id, cutPoint(count, i + 1));
    }

    enum class Erased { NotFound, Done, Emptied };

    Erased eraseAt(Tag& t, std::uint32_t id, const unsigned char* key, std::uint32_t rec) {
        Node& n = nodes[id];
        std::size_t i = lowerBound(t, n, key, rec);
        if (i == n.count()) return Erased::NotFound;
        if (n.leaf) {
            if (compareSlot(t, n, i, key, rec) != 0) return Erased::NotFound;
            markLeafDirty(id, i);
            eraseItem(t, n, i);
            return n.count() == 0 ? Erased::Emptied : Erased::Done;
        }
        std::uint32_t child = n.refs[i];
        Erased r = eraseAt(t, child, key, rec);
        if (r == Erased::NotFound) return r;
        if (r == Erased::Done) {
            if (setChildMax(t, id, i, child)) markDirty(id);
            return Erased::Done;
        }
        freeNode(t, child);
        Node& m = nodes[id];
        eraseItem(t, m, i);
        m.refs.erase(m.refs.begin() + static_cast<std::ptrdiff_t>(i));
        m.maxRecs.erase(m.maxRecs.begin() + static_cast<std::ptrdiff_t>(i));
        markDirty(id);
        return m.count() == 0 ? Erased::Emptied : Erased::Done;
    }

    // --- bulk build ---------------------------------------------------------------------

    void buildTag(Tag& t, std::string_view keys, const std::vector<std::uint32_t>& recnos) {
        if (t.root != kNone) freeSubtree(t, t.root);
        t.root = kNone;
        t.changed = true;
        t.headerDirty = true;
        std::size_t n = recnos.size();
        const std::size_t kl = t.keyLength;
        auto inputKey = [&](std::size_t i) {
            return reinterpret_cast<const unsigned char*>(keys.data()) + i * kl;
        };
        auto less = [&](std::size_t a, std::size_t b) {
            int c = compareKey(t, inputKey(a), inputKey(b));
            return c != 0 ? c < 0 : recnos[a] < recnos[b];
        };
        std::vector<std::size_t> order;
        bool sorted = true;
        for (std::size_t i = 1; i < n && sorted; ++i) sorted = less(i - 1, i);
        if (!sorted) {
            order.resize(n);
            std::iota(order.begin(), order.end(), std::size_t{0});
            std::sort(order.begin(), order.end(), less);
        }
        auto at = [&](std::size_t i) { return sorted ? i : order[i]; };

        t.keys = static_cast<std::uint32_t>(n);
        if (n == 0) {
            t.root = newNode(t, true);
            return;
        }
        std::vector<std::uint32_t> level;
        for (std::size_t from = 0; from < n; from += t.maxKeys) {
            std::size_t to = std::min(n, from + t.maxKeys);
            std::uint32_t id = newNode(t, true);
            Node& leaf = nodes[id];
            // Zero-filled: each item's padding is already in place.
            leaf.items.resize((to - from) * t.itemLength);
            for (std::size_t i = from; i < to; ++i) {
                unsigned char* item = leaf.items.data() + (i - from) * t.itemLength;
                put32(item, recnos[at(i)]);
                copyShort(item + 4, inputKey(at(i)), kl);
            }
            level.push_back(id);
        }
        // An interior node takes maxKeys children: maxKeys − 1 keys and the trailing pointer.
        const std::size_t fan = t.maxKeys;
        while (level.size() > 1) {
            std::vector<std::uint32_t> up;
            std::size_t total = level.size();
            for (std::size_t from = 0; from < total;) {
                std::size_t take = std::min(fan, total - from);
                // Never leave a last node with one child: borrow one from the one before.
                if (total - from - take == 1) --take;
                std::uint32_t id = newNode(t, false);
                for (std::size_t i = 0; i < take; ++i) {
                    insertChild(t, id, i, level[from + i]);
                }
                up.push_back(id);
                from += take;
            }
            level = std::move(up);
        }
        t.root = level.front();
    }

    // --- serialising --------------------------------------------------------------------

    void nodeBlock(const Tag& t, const Node& n, unsigned char* b) const {
        std::size_t count = n.count();
        std::size_t keys = n.leaf ? count : count - 1;
        std::size_t used = 8 + keys * t.itemLength;
        put32(b, static_cast<std::uint32_t>(keys));
        put32(b + 4, 0);
        if (keys > 0) std::memcpy(b + 8, n.items.data(), keys * t.itemLength);  // empty: no data
        if (!n.leaf) {
            put32(b + used, nodes[n.refs.back()].page);
            used += 4;
        }
        std::memset(b + used, 0, kBlockSize - used);
    }

    std::uint32_t edgeLeafPage(const Tag& t, bool rightmost) const {
        std::uint32_t id = t.root;
        while (!nodes[id].leaf) id = rightmost ? nodes[id].refs.back() : nodes[id].refs.front();
        return nodes[id].page;
    }

    void tagHeaderBlock(const Tag& t, unsigned char* b) const {
        std::memset(b, 0, kTagHeaderBytes);
        put32(b, nodes[t.root].page);
        put32(b + 4, t.nodes * kPagesPerBlock);
        // Key format: 0x10 marks a character key; a numeric key has none of the flags.
        b[8] = t.spec.type == KeyType::Character ? 0x10 : 0x00;
        b[9] = static_cast<unsigned char>(t.spec.type);
        b[10] = b[11] = 0;
        put16(b + 12, static_cast<std::uint32_t>(t.keyLength));
        put16(b + 14, static_cast<std::uint32_t>(t.maxKeys));
        put16(b + 16, 0);  // 1 only for date keys
        put16(b + 18, static_cast<std::uint32_t>(t.itemLength));
        b[20] = t.serial;
        b[23] = 0;                                                    // not unique
        std::memcpy(b + 24, t.spec.name.data(), t.spec.name.size());  // key expression
        b[245] = 0;                                                   // no FOR filter
        b[246] = t.keys > 0 ? 1 : 0;
        put32(b + 248, edgeLeafPage(t, false));
        put32(b + 252, edgeLeafPage(t, true));
        b[257] = created[0];
        b[258] = created[1];
        b[259] = created[2];
        b[480] = 0x01;  // the key is a plain field
    }

    void fileHeader(unsigned char* h) const {
        std::memset(h, 0, 48);
        h[0] = 2;  // dBase IV
        std::memcpy(h + 1, created.data(), 3);
        std::memcpy(h + 4, table.data(), table.size());
        put16(h + 20, kPagesPerBlock);
        put16(h + 22, kBlockSize);
        h[24] = 1;  // production index
        h[25] = 48;
        h[26] = kTagEntryLength;
        put16(h + 28, static_cast<std::uint32_t>(tags.size()));
        h[30] = 0;
        h[31] = language;  // the table's language driver
        put32(h + 32, pageCount);
        put32(h + 36, freePages.empty() ? 0 : freePages.back());
        put32(h + 40, static_cast<std::uint32_t>(freePages.size()));
        std::memcpy(h + 44, updated.data(), 3);
    }

    // The tag table: header page, name, and a binary tree over the names (1-based entry
    // numbers of the left and right children and of the parent), the first tag at its root.
    void tagTable(unsigned char* table) const {
        std::vector<int> left(tags.size(), 0), right(tags.size(), 0), parent(tags.size(), 0);
        for (std::size_t i = 1; i < tags.size(); ++i) {
            std::size_t at = 0;
            for (;;) {
                bool goLeft = tags[i].spec.name < tags[at].spec.name;
                int& next = goLeft ? left[at] : right[at];
                if (next == 0) {
                    next = static_cast<int>(i) + 1;
                    parent[i] = static_cast<int>(at) + 1;
                    break;
                }
                at = static_cast<std::size_t>(next - 1);
            }
        }
        for (std::size_t i = 0; i < tags.size(); ++i) {
            unsigned char* e = table + i * kTagEntryLength;
            put32(e, tags[i].headerPage);
            std::memcpy(e + 4, tags[i].spec.name.data(), tags[i].spec.name.size());
            e[15] = 0x10;
            e[16] = static_cast<unsigned char>(left[i]);
            e[17] = static_cast<unsigned char>(right[i]);
            e[18] = static_cast<unsigned char>(parent[i]);
            e[19] = 0x02;
            e[20] = static_cast<unsigned char>(tags[i].spec.type);
        }
    }

    // Next pointer of each free page, as the list runs from the first free page.
    std::uint32_t freeNext(std::size_t stackIndex) const {
        return stackIndex == 0 ? 0 : freePages[stackIndex - 1];
    }

    void freeBlock(std::uint32_t next, unsigned char* b) const {
        std::memset(b, 0, kBlockSize);
        put32(b + 4, next);
    }
};

MdxIndex::MdxIndex(std::string_view tableName, std::vector<TagSpec> tags, Date created,
                   unsigned char languageDriver)
    : d_(std::make_unique<Impl>()) {
    if (tags.empty() || tags.size() > static_cast<std::size_t>(kMaxTags)) {
        throw std::invalid_argument("an index file holds 1 to 47 tags");
    }
    std::string name(tableName.substr(0, 16));
    for (auto& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    d_->table = name;
    d_->language = languageDriver;
    d_->created = created;
    d_->updated = created;
    d_->specs = tags;
    for (std::size_t i = 0; i < tags.size(); ++i) {
        const TagSpec& s = tags[i];
        if (s.name.empty() || s.name.size() > 10) {
            throw std::invalid_argument("tag name must have 1 to 10 characters: " + s.name);
        }
        for (std::size_t j = 0; j < i; ++j) {
            if (tags[j].name == s.name) throw std::invalid_argument("repeated tag " + s.name);
        }
        bool ok = s.type == KeyType::Numeric ? s.keyLength == kNumericKeyLength
                                             : (s.type == KeyType::Character && s.keyLength >= 1 &&
                                                s.keyLength <= kMaxCharacterKey);
        if (!ok) throw std::invalid_argument("bad key of tag " + s.name);
        Tag t;
        t.spec = s;
        t.keyLength = static_cast<std::size_t>(s.keyLength);
        t.itemLength = (t.keyLength + 4 + 3) / 4 * 4;
        t.maxKeys = (kBlockSize - 8) / t.itemLength;
        d_->tags.push_back(std::move(t));
    }
    for (auto& t : d_->tags) {
        t.headerPage = d_->allocatePage();
        t.root = d_->newNode(t, true);
    }
}

MdxIndex::~MdxIndex() = default;
MdxIndex::MdxIndex(MdxIndex&&) noexcept = default;
MdxIndex& MdxIndex::operator=(MdxIndex&&) noexcept = default;

const std::vector<TagSpec>& MdxIndex::tags() const { return d_->specs; }
int MdxIndex::tagCount() const { return static_cast<int>(d_->tags.size()); }
int MdxIndex::maxKeys(int tag) const {
    return static_cast<int>(d_->tags.at(static_cast<std::size_t>(tag)).maxKeys);
}
std::uint32_t MdxIndex::keyCount(int tag) const {
    return d_->tags.at(static_cast<std::size_t>(tag)).keys;
}
std::uint32_t MdxIndex::pageCount() const { return d_->pageCount; }
void MdxIndex::setUpdateDate(Date d) {
    if (d != d_->updated) d_->headerChanged = true;
    d_->updated = d;
}

int MdxIndex::compareKeys(int tag, const unsigned char* a, const unsigned char* b) const {
    return d_->compareKey(d_->tags.at(static_cast<std::size_t>(tag)), a, b);
}

void MdxIndex::build(int tag, std::string_view keys, const std::vector<std::uint32_t>& recnos) {
    Tag& t = d_->tags.at(static_cast<std::size_t>(tag));
    if (keys.size() != recnos.size() * t.keyLength) {
        throw std::invalid_argument("key bytes do not match the entries of tag " + t.spec.name);
    }
    d_->buildTag(t, keys, recnos);
}

void MdxIndex::insert(int tag, const unsigned char* key, std::uint32_t recno) {
    Tag& t = d_->tags.at(static_cast<std::size_t>(tag));
    std::uint32_t sibling = d_->insertAt(t, t.root, key, recno);
    if (sibling != kNone) {
        std::uint32_t old = t.root;
        std::uint32_t root = d_->newNode(t, false);
        d_->insertChild(t, root, 0, old);
        d_->insertChild(t, root, 1, sibling);
        t.root = root;
    }
    if (t.keys++ == 0) t.headerDirty = true;
    t.changed = true;
}

bool MdxIndex::erase(int tag, const unsigned char* key, std::uint32_t recno) {
    Tag& t = d_->tags.at(static_cast<std::size_t>(tag));
    auto r = d_->eraseAt(t, t.root, key, recno);
    if (r == Impl::Erased::NotFound) return false;
    if (r == Impl::Erased::Emptied && !d_->nodes[t.root].leaf) {
        d_->freeNode(t, t.root);
        t.root = d_->newNode(t, true);
    }
    while (!d_->nodes[t.root].leaf && d_->nodes[t.root].count() == 1) {
        std::uint32_t old = t.root;
        t.root = d_->nodes[old].refs.front();
        d_->freeNode(t, old);
    }
    if (--t.keys == 0) t.headerDirty = true;
    t.changed = true;
    return true;
}

std::vector<MdxIndex::Entry> MdxIndex::entries(int tag) const {
    const Tag& t = d_->tags.at(static_cast<std::size_t>(tag));
    std::vector<Entry> out;
    out.reserve(t.keys);
    std::vector<std::uint32_t> stack{t.root};
    // Depth-first, children pushed right to left.
    while (!stack.empty()) {
        std::uint32_t id = stack.back();
        stack.pop_back();
        const Node& n = d_->nodes[id];
        if (n.leaf) {
            for (std::size_t i = 0; i < n.count(); ++i) {
                const char* k = reinterpret_cast<const char*>(d_->keyAt(t, n, i));
                out.push_back({std::string(k, t.keyLength), n.recAt(i)});
            }
        } else {
            for (std::size_t i = n.count(); i-- > 0;) stack.push_back(n.refs[i]);
        }
    }
    return out;
}

void MdxIndex::writeAll(PageSink& sink) const {
    const Impl& d = *d_;
    sink.resize(std::uint64_t(d.pageCount) * kPageSize);
    std::vector<unsigned char> head(kHeaderPages * kPageSize, 0);
    d.fileHeader(head.data());
    head[529] = 1;  // set in the index files other engines of the family write
    d.tagTable(head.data() + kTagTableOffset);
    sink.write(0, head.data(), head.size());
    unsigned char block[kBlockSize];
    for (const auto& t : d.tags) {
        std::memset(block, 0, kBlockSize);
        d.tagHeaderBlock(t, block);
        sink.write(std::uint64_t(t.headerPage) * kPageSize, block, kBlockSize);
        std::vector<std::uint32_t> stack{t.root};
        while (!stack.empty()) {
            std::uint32_t id = stack.back();
            stack.pop_back();
            const Node& n = d.nodes[id];
            d.nodeBlock(t, n, block);
            sink.write(std::uint64_t(n.page) * kPageSize, block, kBlockSize);
            if (!n.leaf) stack.insert(stack.end(), n.refs.begin(), n.refs.end());
        }
    }
    for (std::size_t i = 0; i < d.freePages.size(); ++i) {
        d.freeBlock(d.freeNext(i), block);
        sink.write(std::uint64_t(d.freePages[i]) * kPageSize, block, kBlockSize);
    }
}

std::string MdxIndex::image() const {
    StringSink s;
    writeAll(s);
    return std::move(s.data);
}

bool MdxIndex::hasChanges() const {
    const Impl& d = *d_;
    if (d.headerChanged || !d.dirtyNodes.empty() || !d.dirtyFree.empty()) return true;
    for (const auto& t : d.tags) {
        if (t.changed) return true;
    }
    return false;
}

void MdxIndex::forgetChanges() {
    Impl& d = *d_;
    for (std::uint32_t id : d.dirtyNodes) d.nodes[id].dirty = d.nodes[id].whole = false;
    d.dirtyNodes.clear();
    d.dirtyFree.clear();
    for (auto& t : d.tags) t.changed = t.headerDirty = false;
    d.headerChanged = false;
    d.writtenPageCount = d.pageCount;
}

bool MdxIndex::writeChanges(PageSink& sink) {
    Impl& d = *d_;
    if (!hasChanges()) return false;
    if (d.pageCount != d.writtenPageCount) sink.resize(std::uint64_t(d.pageCount) * kPageSize);

    unsigned char block[kBlockSize];
    for (std::uint32_t id : d.dirtyNodes) {
        const Node& n = d.nodes[id];
        if (n.page == 0) continue;  // freed since
        std::uint64_t at = std::uint64_t(n.page) * kPageSize;
        unsigned char* dst = sink.direct(at, kBlockSize);
        if (dst && n.leaf && !n.whole) {
            // The block on disk holds the leaf as it was when it became dirty.
            std::size_t il = n.itemLength;
            std::size_t used = 8 + n.items.size();
            put32(dst, static_cast<std::uint32_t>(n.count()));
            std::size_t from = 8 + std::size_t(n.dirtyFrom) * il;
            if (from < used) std::memcpy(dst + from, n.items.data() + (from - 8), used - from);
            if (n.diskUsed > used) std::memset(dst + used, 0, n.diskUsed - used);
        } else if (dst) {
            d.nodeBlock(d.tags[n.tag], n, dst);
        } else {
            d.nodeBlock(d.tags[n.tag], n, block);
            sink.write(at, block, kBlockSize);
        }
    }
    if (!d.dirtyFree.empty()) {
        std::sort(d.dirtyFree.begin(), d.dirtyFree.end());
        for (std::size_t i = 0; i < d.freePages.size(); ++i) {
            std::uint32_t p = d.freePages[i];
            if (!std::binary_search(d.dirtyFree.begin(), d.dirtyFree.end(), p)) continue;
            d.freeBlock(d.freeNext(i), block);
            sink.write(std::uint64_t(p) * kPageSize, block, kBlockSize);
        }
    }
    for (auto& t : d.tags) {
        if (!t.changed) continue;
        // Other programs compare the serial number with what they cached.
        unsigned char before = t.serial;
        t.serial = static_cast<unsigned char>(before + 1);
        try {
            if (t.headerDirty) {
                d.tagHeaderBlock(t, block);
                sink.write(std::uint64_t(t.headerPage) * kPageSize, block, kTagHeaderBytes);
            } else {
                sink.write(std::uint64_t(t.headerPage) * kPageSize + 20, &t.serial, 1);
            }
        } catch (...) {
            t.serial = before;
            throw;
        }
    }
    if (d.headerChanged) {
        unsigned char h[48];
        d.fileHeader(h);
        sink.write(0, h, sizeof h);
    }
    forgetChanges();
    return true;
}

}  // namespace tz::tables::mdx
