// The index file on its own: trees built whole and changed entry by entry against a model,
// every image walked by our checker and by Perl XBase::Index, changed blocks written in place
// giving the same bytes as a whole rewrite, and the exact header bytes other programs rely on.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "MdxSupport.h"
#include "tables/MdxIndex.h"
#include "tables/MdxKey.h"
#include "tables/MdxReader.h"

namespace tz::tables::mdx {
namespace {

#ifndef _WIN32
using testing::perlWalk;
#endif
using testing::ScratchDir;
using testing::writeFile;

struct Shape {
    const char* name;
    KeyType type;
    int keyLength;
};

// Key lengths from one byte to the widest dBase IV allows (9 keys a node: a deep tree soon).
const Shape kShapes[] = {
    {"ABREV", KeyType::Character, 4},   {"DOC", KeyType::Character, 15},
    {"INICIAL", KeyType::Character, 1}, {"ANCHO", KeyType::Character, kMaxCharacterKey},
    {"HORA", KeyType::Numeric, 12},
};

// Keys with many repeats: a few distinct values, accented bytes included.
std::string randomKey(const Shape& s, std::mt19937& rng, int distinct) {
    int v = std::uniform_int_distribution<int>(0, distinct - 1)(rng);
    if (s.type == KeyType::Numeric) {
        NumericKey k = numericKey(std::to_string(v - distinct / 3));
        return std::string(reinterpret_cast<const char*>(k.data()), k.size());
    }
    static const char alphabet[] = "AEIKMZ\xD1\xE1 0";
    std::string k;
    for (int i = 0, x = v; i < 3; ++i, x /= 10) k.push_back(alphabet[x % 10]);
    return characterKey(k, s.keyLength);
}

const unsigned char* bytes(const std::string& s) {
    return reinterpret_cast<const unsigned char*>(s.data());
}

// The expected content of a tag: entries ordered by key, then record number.
class Model {
  public:
    Model(const MdxIndex& index, int tag) : index_(&index), tag_(tag) {}
    void add(const std::string& key, std::uint32_t rec) { entries_.insert({key, rec}); }
    void remove(const std::string& key, std::uint32_t rec) { entries_.erase({key, rec}); }
    std::vector<MdxIndex::Entry> entries() const {
        std::vector<MdxIndex::Entry> v;
        for (const auto& [k, r] : entries_) v.push_back({k, r});
        return v;
    }
    std::size_t size() const { return entries_.size(); }

  private:
    struct Less {
        const Model* m;
        bool operator()(const std::pair<std::string, std::uint32_t>& a,
                        const std::pair<std::string, std::uint32_t>& b) const {
            int c = m->index_->compareKeys(m->tag_, bytes(a.first), bytes(b.first));
            return c != 0 ? c < 0 : a.second < b.second;
        }
    };
    const MdxIndex* index_;
    int tag_;
    std::set<std::pair<std::string, std::uint32_t>, Less> entries_{Less{this}};
};

void expectSame(const std::vector<MdxIndex::Entry>& got, const std::vector<MdxIndex::Entry>& want,
                const std::string& what) {
    ASSERT_EQ(got.size(), want.size()) << what;
    for (std::size_t i = 0; i < got.size(); ++i) {
        ASSERT_EQ(got[i].key, want[i].key) << what << " entry " << i;
        ASSERT_EQ(got[i].recno, want[i].recno) << what << " entry " << i;
    }
}

void expectSound(const MdxIndex& index, const std::string& what) {
    MdxReader reader(index.image());
    auto problems = reader.check();
    EXPECT_TRUE(problems.empty()) << what << ": " << problems.front();
}

std::string joinKeys(const std::vector<std::string>& keys) {
    std::string all;
    for (const auto& k : keys) all += k;
    return all;
}

// Character keys order as their bytes do, unsigned, whatever their length: keys that differ in
// one byte, at every place, by bytes on both sides of 0x80, against std::string's own order.
TEST(MdxIndex, CharacterKeysOrderByTheirBytes) {
    const unsigned char values[] = {0x00, 0x20, 0x41, 0x7F, 0x80, 0xD1, 0xFF};
    for (int length = 1; length <= 20; ++length) {
        MdxIndex index("T", {{"K", KeyType::Character, length}});
        std::mt19937 rng(static_cast<unsigned>(length));
        for (int round = 0; round < 200; ++round) {
            std::string a(static_cast<std::size_t>(length), 'A');
            for (char& c : a) c = static_cast<char>(values[rng() % std::size(values)]);
            std::string b = a;
            const std::size_t at = rng() % a.size();
            b[at] = static_cast<char>(values[rng() % std::size(values)]);
            if (round % 3 == 0) b = a;                    // equal keys too
            const int want = a < b ? -1 : a > b ? 1 : 0;  // char_traits<char> compares unsigned
            EXPECT_EQ(index.compareKeys(0, bytes(a), bytes(b)), want) << length << " at " << at;
            EXPECT_EQ(index.compareKeys(0, bytes(b), bytes(a)), -want) << length << " at " << at;
        }
    }
}

TEST(MdxIndex, BuiltTreesHoldEveryEntryInOrder) {
    for (const Shape& s : kShapes) {
        MdxIndex probe("T", {{s.name, s.type, s.keyLength}});
        int fan = probe.maxKeys(0);
        // Sizes around node and level boundaries.
        // fan leaves fill one interior node (fan children): fan² entries take two levels.
        for (int n : {0, 1, 2, fan - 1, fan, fan + 1, 2 * fan + 1, fan * fan, fan * fan + 1,
                      fan * (fan + 1) + 1, 3000}) {
            std::mt19937 rng(static_cast<unsigned>(n * 31 + s.keyLength));
            MdxIndex index("T", {{s.name, s.type, s.keyLength}});
            Model model(index, 0);
            std::vector<std::string> keys;
            std::vector<std::uint32_t> recs;
            for (int i = 0; i < n; ++i) {
                keys.push_back(randomKey(s, rng, 7));
                recs.push_back(static_cast<std::uint32_t>(i + 1));
                model.add(keys.back(), recs.back());
            }
            index.build(0, joinKeys(keys), recs);  // unsorted input: the builder sorts
            std::string what = std::string(s.name) + " n=" + std::to_string(n);
            expectSame(index.entries(0), model.entries(), what);
            MdxReader reader(index.image());
            expectSame(reader.walk(0), model.entries(), what + " walked");
            expectSound(index, what);
            EXPECT_EQ(index.keyCount(0), static_cast<std::uint32_t>(n));
        }
    }
}

TEST(MdxIndex, ChangesEntryByEntryKeepTheTreeSound) {
    for (const Shape& s : kShapes) {
        std::mt19937 rng(static_cast<unsigned>(s.keyLength));
        MdxIndex index("T", {{s.name, s.type, s.keyLength}});
        Model model(index, 0);
        std::vector<std::string> keyOf(1, "");  // by record number
        std::string what = s.name;
        // Appends (rising record numbers, random keys), then key edits (erase + insert of the
        // same record), then erasing most of it, then growing again.
        auto append = [&](int n) {
            for (int i = 0; i < n; ++i) {
                auto rec = static_cast<std::uint32_t>(keyOf.size());
                keyOf.push_back(randomKey(s, rng, 40));
                index.insert(0, bytes(keyOf[rec]), rec);
                model.add(keyOf[rec], rec);
            }
        };
        auto edit = [&](int n) {
            for (int i = 0; i < n; ++i) {
                auto rec = std::uniform_int_distribution<std::uint32_t>(
                    1, static_cast<std::uint32_t>(keyOf.size() - 1))(rng);
                if (keyOf[rec].empty()) continue;
                ASSERT_TRUE(index.erase(0, bytes(keyOf[rec]), rec)) << what << " rec " << rec;
                model.remove(keyOf[rec], rec);
                keyOf[rec] = randomKey(s, rng, 40);
                index.insert(0, bytes(keyOf[rec]), rec);
                model.add(keyOf[rec], rec);
            }
        };
        auto eraseSome = [&](int percent) {
            for (std::uint32_t rec = 1; rec < keyOf.size(); ++rec) {
                if (keyOf[rec].empty() || static_cast<int>(rng() % 100) >= percent) continue;
                ASSERT_TRUE(index.erase(0, bytes(keyOf[rec]), rec));
                model.remove(keyOf[rec], rec);
                keyOf[rec].clear();
            }
        };
        append(2500);
        expectSame(index.entries(0), model.entries(), what + " appended");
        expectSound(index, what + " appended");
        edit(1500);
        expectSame(index.entries(0), model.entries(), what + " edited");
        expectSound(index, what + " edited");
        eraseSome(90);
        expectSame(index.entries(0), model.entries(), what + " thinned");
        expectSound(index, what + " thinned");
        append(800);
        edit(300);
        expectSame(index.entries(0), model.entries(), what + " regrown");
        expectSound(index, what + " regrown");
        eraseSome(100);
        EXPECT_EQ(model.size(), 0u);
        expectSame(index.entries(0), {}, what + " emptied");
        expectSound(index, what + " emptied");
        EXPECT_EQ(index.keyCount(0), 0u);
    }
}

TEST(MdxIndex, EraseOfAnEntryThatIsNotThereChangesNothing) {
    MdxIndex index("T", {{"ABREV", KeyType::Character, 4}});
    std::string a = characterKey("AAA", 4), b = characterKey("BBB", 4);
    index.insert(0, bytes(a), 1);
    index.insert(0, bytes(a), 3);
    EXPECT_FALSE(index.erase(0, bytes(a), 2));  // right key, wrong record
    EXPECT_FALSE(index.erase(0, bytes(b), 1));  // right record, wrong key
    EXPECT_FALSE(index.erase(0, bytes(b), 9));  // beyond every key
    ASSERT_EQ(index.entries(0).size(), 2u);
    EXPECT_TRUE(index.erase(0, bytes(a), 3));
    ASSERT_EQ(index.entries(0).size(), 1u);
    EXPECT_EQ(index.entries(0)[0].recno, 1u);
}

TEST(MdxIndex, AscendingAppendsFillLeaves) {
    MdxIndex index("T", {{"HORA", KeyType::Numeric, 12}});
    const int n = 5000;
    for (int i = 1; i <= n; ++i) {
        NumericKey k = numericKey(std::to_string(i));
        index.insert(0, k.data(), static_cast<std::uint32_t>(i));
    }
    expectSound(index, "ascending");
    // Leaves split at their end keep every slot: the tag takes close to n / maxKeys leaves.
    MdxReader reader(index.image());
    int fan = index.maxKeys(0);
    std::uint32_t leaves = (n + fan - 1) / fan;
    EXPECT_LE(reader.info().tags[0].sizePages / kPagesPerBlock, leaves + leaves / fan + 3);
}

// After any sequence of changes, writing only the changed blocks over the previous file gives
// exactly the bytes of a whole rewrite.
TEST(MdxIndex, ChangedBlocksWrittenInPlaceEqualAWholeImage) {
    std::mt19937 rng(7);
    std::vector<TagSpec> specs;
    for (const Shape& s : kShapes) specs.push_back({s.name, s.type, s.keyLength});
    MdxIndex index("CUADROH2", specs);
    StringSink file;
    index.writeAll(file);
    index.forgetChanges();
    std::vector<std::vector<std::string>> keyOf(specs.size(), std::vector<std::string>(1));
    for (int round = 0; round < 60; ++round) {
        int ops = 1 + static_cast<int>(rng() % 200);
        for (int i = 0; i < ops; ++i) {
            for (std::size_t t = 0; t < specs.size(); ++t) {
                const Shape& s = kShapes[t];
                auto& keys = keyOf[t];
                bool edit = keys.size() > 10 && rng() % 3 == 0;
                if (edit) {
                    auto rec = static_cast<std::uint32_t>(1 + rng() % (keys.size() - 1));
                    ASSERT_TRUE(index.erase(static_cast<int>(t), bytes(keys[rec]), rec));
                    keys[rec] = randomKey(s, rng, 25);
                    index.insert(static_cast<int>(t), bytes(keys[rec]), rec);
                } else {
                    keys.push_back(randomKey(s, rng, 25));
                    index.insert(static_cast<int>(t), bytes(keys.back()),
                                 static_cast<std::uint32_t>(keys.size() - 1));
                }
            }
        }
        if (round == 30) index.setUpdateDate({125, 12, 31});
        ASSERT_TRUE(index.writeChanges(file));
        ASSERT_EQ(file.data, index.image()) << "round " << round;
    }
    EXPECT_FALSE(index.writeChanges(file));  // nothing left to write
    expectSound(index, "after rounds");
}

TEST(MdxIndex, SerialNumbersCountTheWritesOfChangedTags) {
    MdxIndex index("PROFT", {{"ABREV", KeyType::Character, 4}, {"DNI", KeyType::Character, 15}});
    StringSink file;
    index.writeAll(file);
    index.forgetChanges();
    std::string k = characterKey("ABCD", 4);
    for (int i = 1; i <= 3; ++i) {
        index.insert(0, bytes(k), static_cast<std::uint32_t>(i));
        index.writeChanges(file);
    }
    MdxReader reader(file.data);
    EXPECT_EQ(reader.info().tags[0].serial, 5);  // created as 2, three writes
    EXPECT_EQ(reader.info().tags[1].serial, 2);  // untouched
}

TEST(MdxIndex, HeaderAndTagTableBytes) {
    MdxIndex index("cuadroh2",
                   {{"ABREVPROF", KeyType::Character, 4},
                    {"DOC", KeyType::Character, 15},
                    {"PROF_DIA_S", KeyType::Character, 7},
                    {"DIA_SES", KeyType::Character, 3}},
                   {125, 3, 9});
    std::string img = index.image();
    auto u = [&](std::size_t i) {
        return static_cast<unsigned>(static_cast<unsigned char>(img[i]));
    };
    auto u32 = [&](std::size_t i) {
        return u(i) | u(i + 1) << 8 | u(i + 2) << 16 | u(i + 3) << 24;
    };
    // Four header pages, then per tag a header block and an empty root leaf.
    ASSERT_EQ(img.size(), (4u + 4 * 4) * 512);
    EXPECT_EQ(u(0), 2u);
    EXPECT_EQ(u(1), 125u);
    EXPECT_EQ(u(2), 3u);
    EXPECT_EQ(u(3), 9u);
    EXPECT_EQ(img.substr(4, 16), std::string("CUADROH2\0\0\0\0\0\0\0\0", 16));
    EXPECT_EQ(u(20) | u(21) << 8, 2u);
    EXPECT_EQ(u(22) | u(23) << 8, 1024u);
    EXPECT_EQ(u(24), 1u);
    EXPECT_EQ(u(25), 48u);
    EXPECT_EQ(u(26), 32u);
    EXPECT_EQ(u(28) | u(29) << 8, 4u);
    EXPECT_EQ(u(30), 0u);
    EXPECT_EQ(u(31), 0x57u);  // the table's language driver: other values hide every tag
    EXPECT_EQ(u32(32), 20u);  // pages
    EXPECT_EQ(u32(36), 0u);   // no free page
    EXPECT_EQ(u(529), 1u);
    // Tag table: header pages, names, 0x10, the name tree (ABREVPROF at the root, DOC to its
    // right, PROF_DIA_S right of DOC, DIA_SES left of DOC), 0x02 and the key type.
    const unsigned tree[4][3] = {{0, 2, 0}, {4, 3, 1}, {0, 0, 2}, {0, 0, 2}};
    const char* names[4] = {"ABREVPROF", "DOC", "PROF_DIA_S", "DIA_SES"};
    for (std::size_t i = 0; i < 4; ++i) {
        std::size_t e = 544 + 32 * i;
        EXPECT_EQ(u32(e), 4 + 4 * i);
        EXPECT_EQ(std::string(img.c_str() + e + 4), names[i]);
        EXPECT_EQ(u(e + 15), 0x10u);
        EXPECT_EQ(u(e + 16), tree[i][0]) << names[i];
        EXPECT_EQ(u(e + 17), tree[i][1]) << names[i];
        EXPECT_EQ(u(e + 18), tree[i][2]) << names[i];
        EXPECT_EQ(u(e + 19), 0x02u);
        EXPECT_EQ(img[e + 20], 'C');
        // Tag header.
        std::size_t h = u32(e) * 512;
        EXPECT_EQ(u32(h), u32(e) + 2);  // root right after it
        EXPECT_EQ(u32(h + 4), 2u);      // one block
        EXPECT_EQ(u(h + 8), 0x10u);     // character key
        EXPECT_EQ(img[h + 9], 'C');
        EXPECT_EQ(u(h + 10), 0u);
        EXPECT_EQ(u(h + 11), 0u);
        EXPECT_EQ(std::string(img.c_str() + h + 24), names[i]);  // key expression
        EXPECT_EQ(u(h + 246), 0u);                               // no keys yet
        EXPECT_EQ(u32(h + 248), u32(e) + 2);
        EXPECT_EQ(u32(h + 252), u32(e) + 2);
    }
    std::size_t doc = 4 * 512 + 512 * 4;  // DOC's header block: C 15 → items of 20 bytes
    EXPECT_EQ(u(doc + 12) | u(doc + 13) << 8, 15u);
    EXPECT_EQ(u(doc + 14) | u(doc + 15) << 8, 50u);
    EXPECT_EQ(u(doc + 18) | u(doc + 19) << 8, 20u);
}

// Keys per block and the bytes that depend on the key type and on the table's language driver.
TEST(MdxIndex, KeysPerBlockKeyFormatAndLanguageDriver) {
    struct Case {
        KeyType type;
        int keyLength, itemLength, perBlock;
        unsigned keyFormat;
    };
    const Case cases[] = {
        {KeyType::Character, 1, 8, 127, 0x10},   {KeyType::Character, 4, 8, 127, 0x10},
        {KeyType::Character, 7, 12, 84, 0x10},   {KeyType::Character, 15, 20, 50, 0x10},
        {KeyType::Character, 100, 104, 9, 0x10}, {KeyType::Numeric, 12, 16, 63, 0x00},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.keyLength);
        MdxIndex index("T", {{"K", c.type, c.keyLength}}, {125, 1, 1}, 0x59);
        EXPECT_EQ(index.maxKeys(0), c.perBlock);
        MdxReader reader(index.image());
        EXPECT_EQ(reader.info().languageDriver, 0x59);
        const auto& tag = reader.info().tags[0];
        EXPECT_EQ(tag.itemLength, c.itemLength);
        EXPECT_EQ(tag.maxKeys, c.perBlock);
        EXPECT_EQ(static_cast<unsigned char>(index.image()[tag.headerPage * 512 + 8]), c.keyFormat);
    }
}

TEST(MdxIndex, FreedBlocksFormTheFreeListAndAreReused) {
    MdxIndex index("T", {{"ANCHO", KeyType::Character, kMaxCharacterKey}});
    std::vector<std::string> keys;
    for (int i = 0; i < 200; ++i) {
        keys.push_back(characterKey(std::to_string(1000 + i), kMaxCharacterKey));
        index.insert(0, bytes(keys.back()), static_cast<std::uint32_t>(i + 1));
    }
    for (int i = 0; i < 150; ++i) {
        ASSERT_TRUE(index.erase(0, bytes(keys[static_cast<std::size_t>(i)]),
                                static_cast<std::uint32_t>(i + 1)));
    }
    MdxReader emptied(index.image());
    EXPECT_GT(emptied.info().freeBlocks, 5u);
    EXPECT_NE(emptied.info().firstFree, 0u);
    EXPECT_TRUE(emptied.check().empty());
    std::uint32_t pages = index.pageCount();
    // The first new nodes take the freed blocks; the file grows only once none is left.
    for (int i = 0; i < 150; ++i) {
        index.insert(0, bytes(keys[static_cast<std::size_t>(i)]),
                     static_cast<std::uint32_t>(i + 1));
        MdxReader now(index.image());
        if (index.pageCount() > pages) {
            ASSERT_EQ(now.info().freeBlocks, 0u) << i;
        }
    }
    EXPECT_GT(index.pageCount(), pages);
    expectSound(index, "refilled");
}

TEST(MdxIndex, BadTagListsAreRefused) {
    using V = std::vector<TagSpec>;
    EXPECT_THROW(MdxIndex("T", V{}), std::invalid_argument);
    EXPECT_THROW(MdxIndex("T", V{{"ABCDEFGHIJK", KeyType::Character, 4}}), std::invalid_argument);
    EXPECT_THROW(MdxIndex("T", V{{"A", KeyType::Character, 0}}), std::invalid_argument);
    EXPECT_THROW(MdxIndex("T", V{{"A", KeyType::Character, kMaxCharacterKey + 1}}),
                 std::invalid_argument);
    EXPECT_THROW(MdxIndex("T", V{{"A", KeyType::Numeric, 11}}), std::invalid_argument);
    EXPECT_THROW(MdxIndex("T", V{{"A", KeyType::Character, 4}, {"A", KeyType::Character, 4}}),
                 std::invalid_argument);
    V many;
    for (int i = 0; i < 48; ++i) many.push_back({"T" + std::to_string(i), KeyType::Character, 2});
    EXPECT_THROW(MdxIndex("T", many), std::invalid_argument);
    MdxIndex ok("T", {{"A", KeyType::Character, 4}});
    EXPECT_THROW(ok.build(0, "abc", {1}), std::invalid_argument);  // 3 bytes for a 4-byte key
}

// The checker itself must notice what makes other readers go wrong.
TEST(MdxReader, CheckFindsDamage) {
    MdxIndex index("T", {{"ABREV", KeyType::Character, 4}});
    std::mt19937 rng(3);
    std::vector<std::string> keys;
    std::vector<std::uint32_t> recs;
    for (int i = 0; i < 1000; ++i) {
        keys.push_back(randomKey(kShapes[0], rng, 50));
        recs.push_back(static_cast<std::uint32_t>(i + 1));
    }
    index.build(0, joinKeys(keys), recs);
    const std::string good = index.image();
    ASSERT_TRUE(MdxReader(good).check().empty());
    MdxReader r(good);
    std::size_t root = std::size_t(r.info().tags[0].rootPage) * 512;
    std::size_t leaf = std::size_t(r.info().tags[0].leftLeafPage) * 512;
    struct Damage {
        const char* what;
        std::size_t at;
        char value;
    };
    const Damage damages[] = {
        {"leaf slack", leaf + kBlockSize - 1, 'x'},
        {"interior key", root + 8 + 4, '\x7f'},
        {"leaf order", leaf + 8 + 4, '\xff'},
        {"page count", 32, 99},
        {"tag size", std::size_t(r.info().tags[0].headerPage) * 512 + 4, 0},
    };
    for (const auto& d : damages) {
        std::string bad = good;
        bad[d.at] = d.value;
        EXPECT_FALSE(MdxReader(bad).check().empty()) << d.what;
    }
    std::string shorter = good.substr(0, good.size() - 512);
    EXPECT_FALSE(MdxReader(shorter).check().empty()) << "truncated";
    EXPECT_THROW(MdxReader(std::string(100, '\0')), MdxFormatError);
    std::string notMdx = good;
    notMdx[0] = 9;
    EXPECT_THROW(MdxReader{notMdx}, MdxFormatError);
}

// Perl XBase is a Linux program: the Windows build's tables are walked by it on the Linux side
// (scripts/build-windows.sh).
#ifndef _WIN32
// Perl XBase::Index, an independent reader, walks every tag: each key in order with its record
// number, for trees of one leaf up to several levels.
TEST(MdxPerl, IndependentReaderWalksEveryTag) {
    ScratchDir dir;
    for (int n : {0, 1, 126, 127, 25000}) {
        std::vector<TagSpec> specs;
        for (const Shape& s : kShapes) specs.push_back({s.name, s.type, s.keyLength});
        MdxIndex index("TABLA", specs);
        std::vector<std::vector<MdxIndex::Entry>> want;
        std::mt19937 rng(static_cast<unsigned>(n));
        for (std::size_t t = 0; t < specs.size(); ++t) {
            std::vector<std::string> keys;
            std::vector<std::uint32_t> recs;
            Model model(index, static_cast<int>(t));
            for (int i = 0; i < n; ++i) {
                keys.push_back(randomKey(kShapes[t], rng, 300));
                recs.push_back(static_cast<std::uint32_t>(i + 1));
                model.add(keys.back(), recs.back());
            }
            index.build(static_cast<int>(t), joinKeys(keys), recs);
            // A few changes after the build, so the walk also covers split and edited nodes.
            for (int i = 0; i < std::min(n, 500); ++i) {
                auto rec = static_cast<std::uint32_t>(1 + rng() % static_cast<unsigned>(n));
                ASSERT_TRUE(index.erase(static_cast<int>(t), bytes(keys[rec - 1]), rec));
                model.remove(keys[rec - 1], rec);
                keys[rec - 1] = randomKey(kShapes[t], rng, 300);
                index.insert(static_cast<int>(t), bytes(keys[rec - 1]), rec);
                model.add(keys[rec - 1], rec);
            }
            want.push_back(model.entries());
        }
        auto file = dir.path() / ("TABLA" + std::to_string(n) + ".MDX");
        writeFile(file, index.image());
        auto perl = perlWalk(file);
        ASSERT_EQ(perl.size(), specs.size()) << "n=" << n;
        for (std::size_t t = 0; t < specs.size(); ++t) {
            const auto& p = perl[specs[t].name];
            EXPECT_EQ(p.type, std::string(1, static_cast<char>(specs[t].type)));
            expectSame(p.entries, want[t], std::string(specs[t].name) + " n=" + std::to_string(n));
        }
    }
}
#endif

}  // namespace
}  // namespace tz::tables::mdx
