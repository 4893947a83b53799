#include "tables/MdxReader.h"

#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>

namespace tz::tables::mdx {
namespace {

constexpr int kMaxDepth = 32;

std::string cString(const std::string& s, std::size_t at, std::size_t max) {
    std::string r = s.substr(at, max);
    if (auto z = r.find('\0'); z != std::string::npos) r.resize(z);
    return r;
}

}  // namespace

std::uint32_t MdxReader::word(std::size_t at) const {
    if (at + 4 > bytes_.size()) throw MdxFormatError("read past the end of the index file");
    auto b = reinterpret_cast<const unsigned char*>(bytes_.data()) + at;
    return b[0] | (b[1] << 8) | (b[2] << 16) | (std::uint32_t(b[3]) << 24);
}

MdxReader::MdxReader(std::string bytes) : bytes_(std::move(bytes)) {
    if (bytes_.size() < kHeaderPages * kPageSize) throw MdxFormatError("index file too short");
    auto u = [&](std::size_t i) { return static_cast<unsigned char>(bytes_[i]); };
    auto u16 = [&](std::size_t i) { return u(i) | (u(i + 1) << 8); };
    info_.version = u(0);
    info_.created = {u(1), u(2), u(3)};
    info_.tableName = cString(bytes_, 4, 16);
    info_.pagesPerBlock = u16(20);
    info_.blockSize = u16(22);
    info_.production = u(24) == 1;
    info_.languageDriver = u(31);
    int entryLength = u(26);
    int tagsUsed = u16(28);
    info_.pageCount = word(32);
    info_.firstFree = word(36);
    info_.freeBlocks = word(40);
    info_.updated = {u(44), u(45), u(46)};
    if (info_.version != 2 && info_.version != 3) throw MdxFormatError("not a dBase IV index");
    if (info_.blockSize != 1024 || info_.pagesPerBlock != 2) {
        throw MdxFormatError("unsupported block size");
    }
    if (entryLength != 32 || tagsUsed < 0 || tagsUsed > kMaxTags) {
        throw MdxFormatError("bad tag table");
    }
    for (int i = 0; i < tagsUsed; ++i) {
        std::size_t e = 544 + 32 * static_cast<std::size_t>(i);
        TagInfo t;
        t.headerPage = word(e);
        t.name = cString(bytes_, e + 4, 11);
        t.left = u(e + 16);
        t.right = u(e + 17);
        t.parent = u(e + 18);
        t.type = static_cast<char>(u(e + 20));
        std::size_t h = std::size_t(t.headerPage) * kPageSize;
        if (t.headerPage < kHeaderPages || h + kPageSize > bytes_.size()) {
            throw MdxFormatError("tag " + t.name + ": header outside the file");
        }
        t.rootPage = word(h);
        t.sizePages = word(h + 4);
        t.keyLength = u16(h + 12);
        t.maxKeys = u16(h + 14);
        t.itemLength = u16(h + 18);
        t.serial = u(h + 20);
        t.expression = cString(bytes_, h + 24, 220);
        t.hasKeys = u(h + 246) != 0;
        t.leftLeafPage = word(h + 248);
        t.rightLeafPage = word(h + 252);
        if (t.keyLength <= 0 || t.itemLength < t.keyLength + 4 ||
            8 + 2 * static_cast<std::size_t>(t.itemLength) > kBlockSize) {
            throw MdxFormatError("tag " + t.name + ": bad key length");
        }
        info_.tags.push_back(std::move(t));
    }
}

std::optional<MdxReader> MdxReader::open(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) return std::nullopt;
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    try {
        return MdxReader(std::move(bytes));
    } catch (const MdxFormatError&) {
        return std::nullopt;
    }
}

int MdxReader::tagIndex(std::string_view name) const {
    for (std::size_t i = 0; i < info_.tags.size(); ++i) {
        if (info_.tags[i].name == name) return static_cast<int>(i);
    }
    return -1;
}

std::vector<MdxIndex::Entry> MdxReader::walk(int tag) const {
    const TagInfo& t = info_.tags.at(static_cast<std::size_t>(tag));
    std::vector<MdxIndex::Entry> out;
    std::vector<bool> seen(bytes_.size() / kPageSize + 1, false);
    auto kl = static_cast<std::size_t>(t.keyLength);
    auto il = static_cast<std::size_t>(t.itemLength);
    std::function<void(std::uint32_t, int)> visit = [&](std::uint32_t page, int depth) {
        std::size_t at = std::size_t(page) * kPageSize;
        if (depth > kMaxDepth) throw MdxFormatError("tag " + t.name + ": tree too deep");
        if (page < kHeaderPages || at + kBlockSize > bytes_.size()) {
            throw MdxFormatError("tag " + t.name + ": page " + std::to_string(page) +
                                 " outside the file");
        }
        if (seen[page]) throw MdxFormatError("tag " + t.name + ": page visited twice");
        seen[page] = true;
        std::uint32_t n = word(at);
        if (8 + std::size_t(n) * il > kBlockSize) {
            throw MdxFormatError("tag " + t.name + ": too many keys in a node");
        }
        std::size_t after = at + 8 + n * il;
        bool leaf = after + 4 > at + kBlockSize || word(after) == 0;
        if (leaf) {
            for (std::size_t i = 0; i < n; ++i) {
                std::size_t item = at + 8 + i * il;
                out.push_back({bytes_.substr(item + 4, kl), word(item)});
            }
            return;
        }
        for (std::size_t i = 0; i <= n; ++i) visit(word(at + 8 + i * il), depth + 1);
    };
    visit(t.rootPage, 0);
    return out;
}

std::vector<std::string> MdxReader::checkTag(int tag, std::vector<int>& owner) const {
    const TagInfo& t = info_.tags.at(static_cast<std::size_t>(tag));
    std::vector<std::string> problems;
    auto problem = [&](const std::string& what) {
        problems.push_back("tag " + t.name + ": " + what);
    };
    auto kl = static_cast<std::size_t>(t.keyLength);
    auto il = static_cast<std::size_t>(t.itemLength);
    if (t.itemLength != (t.keyLength + 4 + 3) / 4 * 4) problem("item length");
    if (t.maxKeys != static_cast<int>((kBlockSize - 8) / il)) problem("keys per block");
    if (t.type == 'N' && t.keyLength != kNumericKeyLength) problem("numeric key length");

    auto compare = [&](const std::string& a, const std::string& b) {
        if (t.type == 'N') {
            return compareNumericKeys(reinterpret_cast<const unsigned char*>(a.data()),
                                      reinterpret_cast<const unsigned char*>(b.data()));
        }
        int c = a.compare(b);  // std::string compares as unsigned char
        return c < 0 ? -1 : (c > 0 ? 1 : 0);
    };

    std::uint32_t nodes = 0;
    int leafDepth = -1;
    std::vector<std::uint32_t> leaves;
    std::optional<MdxIndex::Entry> previous;
    // Returns the largest key of the subtree.
    std::function<std::optional<std::string>(std::uint32_t, int)> visit =
        [&](std::uint32_t page, int depth) -> std::optional<std::string> {
        std::size_t at = std::size_t(page) * kPageSize;
        if (depth > kMaxDepth || page < kHeaderPages || page % kPagesPerBlock != 0 ||
            at + kBlockSize > bytes_.size()) {
            problem("bad node page " + std::to_string(page));
            return std::nullopt;
        }
        if (owner[page] != -1) {
            problem("page " + std::to_string(page) + " used twice");
            return std::nullopt;
        }
        owner[page] = owner[page + 1] = tag;
        ++nodes;
        std::uint32_t n = word(at);
        if (n > static_cast<std::uint32_t>(t.maxKeys)) {
            problem("node " + std::to_string(page) + " holds " + std::to_string(n) + " keys");
            return std::nullopt;
        }
        std::size_t after = at + 8 + n * il;
        bool leaf = after + 4 > at + kBlockSize || word(after) == 0;  // a full leaf: no room
        if (leaf) {
            if (leafDepth == -1) leafDepth = depth;
            if (leafDepth != depth) problem("leaves at different depths");
            leaves.push_back(page);
            for (std::size_t i = 0; i < n; ++i) {
                std::size_t item = at + 8 + i * il;
                MdxIndex::Entry e{bytes_.substr(item + 4, kl), word(item)};
                if (e.recno == 0) problem("record number 0");
                for (std::size_t p = item + 4 + kl; p < item + il; ++p) {
                    if (bytes_[p] != 0)
                        problem("key padding not zero in node " + std::to_string(page));
                }
                if (previous) {
                    int c = compare(previous->key, e.key);
                    if (c > 0 || (c == 0 && previous->recno >= e.recno)) {
                        problem("entries out of order at record " + std::to_string(e.recno));
                    }
                }
                previous = e;
            }
            for (std::size_t p = after; p < at + kBlockSize; ++p) {
                if (bytes_[p] != 0) {
                    problem("slack of leaf " + std::to_string(page) + " not zeroed");
                    break;
                }
            }
            if (n == 0 && depth > 0) problem("empty leaf " + std::to_string(page));
            if (n == 0) return std::nullopt;
            return bytes_.substr(at + 8 + (n - 1) * il + 4, kl);
        }
        // Engines that take a node of NumKeys keys for a leaf would read this one wrongly.
        if (n + 1 > static_cast<std::uint32_t>(t.maxKeys)) {
            problem("interior node " + std::to_string(page) + " holds " + std::to_string(n) +
                    " keys, as many as a leaf");
        }
        std::optional<std::string> last;
        for (std::size_t i = 0; i <= n; ++i) {
            std::size_t item = at + 8 + i * il;
            last = visit(word(item), depth + 1);
            if (i < n) {
                std::string key = bytes_.substr(item + 4, kl);
                if (!last || compare(*last, key) != 0) {
                    problem("interior key " + std::to_string(i) + " of node " +
                            std::to_string(page) + " is not the largest key of its child");
                }
            }
        }
        for (std::size_t p = after + 4; p < at + kBlockSize; ++p) {
            if (bytes_[p] != 0) {
                problem("slack of node " + std::to_string(page) + " not zeroed");
                break;
            }
        }
        return last;
    };
    visit(t.rootPage, 0);
    if (nodes * kPagesPerBlock != t.sizePages) {
        problem("size " + std::to_string(t.sizePages) + " pages, nodes take " +
                std::to_string(nodes * kPagesPerBlock));
    }
    if (!leaves.empty()) {
        if (t.leftLeafPage != leaves.front()) problem("left leaf pointer");
        if (t.rightLeafPage != leaves.back()) problem("right leaf pointer");
    }
    if (t.hasKeys != previous.has_value()) problem("has-keys flag");
    return problems;
}

std::vector<std::string> MdxReader::check() const {
    std::vector<std::string> problems;
    if (bytes_.size() % kPageSize != 0 || bytes_.size() / kPageSize != info_.pageCount) {
        problems.push_back("page count " + std::to_string(info_.pageCount) + " but the file has " +
                           std::to_string(bytes_.size()) + " bytes");
    }
    if (!info_.production) problems.push_back("production flag not set");
    std::vector<int> owner(bytes_.size() / kPageSize + 2, -1);
    for (std::uint32_t p = 0; p < kHeaderPages && p < owner.size(); ++p) owner[p] = -2;
    for (const auto& t : info_.tags) {
        std::uint32_t p = t.headerPage;
        if (p % kPagesPerBlock != 0 || p + 1 >= owner.size() || owner[p] != -1) {
            problems.push_back("tag " + t.name + ": header page " + std::to_string(p));
        } else {
            owner[p] = owner[p + 1] = -2;
        }
    }
    for (std::size_t i = 0; i < info_.tags.size(); ++i) {
        auto more = checkTag(static_cast<int>(i), owner);
        problems.insert(problems.end(), more.begin(), more.end());
    }
    // Free list.
    std::uint32_t free = 0;
    for (std::uint32_t p = info_.firstFree; p != 0;) {
        std::size_t at = std::size_t(p) * kPageSize;
        if (p % kPagesPerBlock != 0 || at + kBlockSize > bytes_.size() || owner[p] != -1) {
            problems.push_back("bad free page " + std::to_string(p));
            break;
        }
        owner[p] = owner[p + 1] = -3;
        ++free;
        if (word(at) != 0) problems.push_back("free page " + std::to_string(p) + " holds keys");
        p = word(at + 4);
    }
    if (free != info_.freeBlocks) problems.push_back("free block count");
    for (std::size_t p = 0; p < bytes_.size() / kPageSize; ++p) {
        if (owner[p] == -1) {
            problems.push_back("page " + std::to_string(p) + " belongs to nothing");
            break;
        }
    }
    // Tag table tree: in-order walk gives the names sorted.
    if (!info_.tags.empty()) {
        std::vector<std::string> names;
        std::function<void(int, int)> inorder = [&](int e, int depth) {
            if (e <= 0 || e > static_cast<int>(info_.tags.size()) || depth > kMaxTags) return;
            const TagInfo& t = info_.tags[static_cast<std::size_t>(e - 1)];
            inorder(t.left, depth + 1);
            names.push_back(t.name);
            inorder(t.right, depth + 1);
        };
        inorder(1, 0);
        bool sorted = names.size() == info_.tags.size();
        for (std::size_t i = 1; i < names.size() && sorted; ++i) sorted = names[i - 1] <= names[i];
        if (!sorted) problems.push_back("tag table tree does not order the tag names");
    }
    return problems;
}

}  // namespace tz::tables::mdx
