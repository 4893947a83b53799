// The chunked order against a plain sorted vector, through many splits, empty chunks, batches
// of waiting inserts and keys wider than the part an entry holds.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <tuple>

#include "tables/OrderedIndex.h"

namespace tz::tables {
namespace {

// Records of one key field. Keys share a constant prefix, so that with wide fields only the
// last bytes tell them apart: width 15 differs in the second key word, width 40 beyond the
// bytes an entry holds.
struct Model {
    int width;
    RecordStore records;
    std::vector<double> numbers;
    std::vector<std::uint32_t> live;  // reference order

    explicit Model(int w) : width(w), records(static_cast<std::size_t>(1 + w)) {}

    std::uint32_t add(std::mt19937& rng) {
        auto rec = static_cast<std::uint32_t>(numbers.size());
        char* p = records.append();
        p[0] = ' ';
        for (int i = 0; i < width; ++i) {
            p[1 + i] = i < width - 3 ? 'x' : static_cast<char>('a' + rng() % 3);
        }
        // Negative, zero (also as -0) and positive values.
        double v = static_cast<double>(rng() % 7) - 3;
        numbers.push_back(v == 0 && rng() % 2 ? -0.0 : v);
        return rec;
    }
    std::string key(std::uint32_t r) const {
        return std::string(records.at(r) + 1, static_cast<std::size_t>(width));
    }
    // A search key: the shared prefix and the last bytes, space-padded to the width.
    OrderedIndex::Key searchKey(const std::string& last) const {
        std::string k = std::string(static_cast<std::size_t>(std::max(0, width - 3)), 'x') + last;
        k.resize(static_cast<std::size_t>(width), ' ');
        return {k, static_cast<double>(last[0] - 'b')};
    }
};

using Param = std::tuple<OrderedIndex::Kind, int>;
class OrderedIndexRandom : public ::testing::TestWithParam<Param> {};

TEST_P(OrderedIndexRandom, AgreesWithASortedVector) {
    const auto [kind, width] = GetParam();
    Model m(width);
    OrderedIndex ix(kind, &m.records, 1, width, &m.numbers);
    std::mt19937 rng(7);
    auto less = [&](std::uint32_t a, std::uint32_t b) {
        if (kind == OrderedIndex::Kind::Bytes && m.key(a) != m.key(b)) return m.key(a) < m.key(b);
        if (kind == OrderedIndex::Kind::Number && m.numbers[a] != m.numbers[b]) {
            return m.numbers[a] < m.numbers[b];
        }
        return a < b;
    };
    auto check = [&]() {
        ASSERT_EQ(ix.size(), static_cast<int>(m.live.size()));
        std::vector<std::uint32_t> all;
        ix.recordsInOrder(all);
        ASSERT_EQ(all, m.live);
        // The keys as the entries hold them, where they hold them whole.
        std::string keys;
        if (ix.keysInOrder(all, keys)) {
            ASSERT_EQ(kind, OrderedIndex::Kind::Bytes);
            ASSERT_LE(width, 32);
            ASSERT_EQ(all, m.live);
            for (std::size_t i = 0; i < all.size(); ++i) {
                ASSERT_EQ(keys.substr(i * static_cast<std::size_t>(width),
                                      static_cast<std::size_t>(width)),
                          m.key(all[i]))
                    << i;
            }
        } else {
            ASSERT_TRUE(kind != OrderedIndex::Kind::Bytes || width > 32);
        }
        for (int p = 0; p < ix.size(); ++p) {  // one after another, as a dataset visits them
            ASSERT_EQ(ix.at(p), m.live[static_cast<std::size_t>(p)]);
        }
        for (int p = 0; p < ix.size(); p += 97) {
            ASSERT_EQ(ix.at(p), m.live[static_cast<std::size_t>(p)]);
            ASSERT_EQ(ix.positionOf(m.live[static_cast<std::size_t>(p)]), p);
        }
        for (std::string k : {"aaa", "abc", "bbb", "ccc", "cca", "b"}) {
            OrderedIndex::Key key = m.searchKey(k);
            auto cmp = [&](std::uint32_t r) { return ix.compareKey(r, key); };
            int lo =
                static_cast<int>(std::partition_point(m.live.begin(), m.live.end(),
                                                      [&](std::uint32_t r) { return cmp(r) < 0; }) -
                                 m.live.begin());
            int hi = static_cast<int>(
                std::partition_point(m.live.begin(), m.live.end(),
                                     [&](std::uint32_t r) { return cmp(r) <= 0; }) -
                m.live.begin());
            if (kind == OrderedIndex::Kind::Physical) {
                lo = 0;
                hi = ix.size();
            }
            ASSERT_EQ(ix.lowerBound(key), lo) << k;
            ASSERT_EQ(ix.upperBound(key), hi) << k;
            ASSERT_EQ(ix.find(key), lo < hi ? lo : -1) << k;
            if (lo < ix.size()) {
                ASSERT_EQ(ix.keyAt(lo, key), lo < hi) << k;
            }
            if (hi > 0 && hi < ix.size() && hi > lo) {
                ASSERT_FALSE(ix.keyAt(hi, key)) << k;
            }
        }
    };
    for (int round = 0; round < 4; ++round) {
        // A batch waiting to be placed, then a thousand placed one at a time.
        for (int i = 0; i < 8000; ++i) {
            std::uint32_t r = m.add(rng);
            ix.insert(r);
            m.live.insert(std::upper_bound(m.live.begin(), m.live.end(), r, less), r);
            if (i >= 7000) {
                auto want = std::lower_bound(m.live.begin(), m.live.end(), r, less);
                int pos = static_cast<int>(want - m.live.begin());
                ASSERT_EQ(ix.positionOf(r), pos);
                ASSERT_EQ(ix.at(pos), r);
            }
        }
        check();
        // Erase most rows of a stretch so that chunks empty out.
        for (int i = 0; i < 6000 && !m.live.empty(); ++i) {
            std::size_t at = (round % 2 ? i : rng()) % m.live.size();
            std::uint32_t r = m.live[at];
            ASSERT_TRUE(ix.erase(r));
            ASSERT_FALSE(ix.erase(r));
            m.live.erase(m.live.begin() + static_cast<std::ptrdiff_t>(at));
        }
        check();
    }
    ix.rebuild(m.live);
    check();
    // Rebuilt from records in no order: sorted again, equal keys in record order.
    std::vector<std::uint32_t> shuffled = m.live;
    std::shuffle(shuffled.begin(), shuffled.end(), rng);
    ix.rebuild(shuffled);
    check();
    EXPECT_EQ(ix.positionOf(static_cast<std::uint32_t>(m.numbers.size() + 5)), -1);
    EXPECT_FALSE(ix.erase(static_cast<std::uint32_t>(m.numbers.size() + 5)));
}

INSTANTIATE_TEST_SUITE_P(
    KindsAndWidths, OrderedIndexRandom,
    ::testing::Values(Param{OrderedIndex::Kind::Physical, 3}, Param{OrderedIndex::Kind::Bytes, 3},
                      Param{OrderedIndex::Kind::Bytes, 7}, Param{OrderedIndex::Kind::Bytes, 15},
                      Param{OrderedIndex::Kind::Bytes, 32}, Param{OrderedIndex::Kind::Bytes, 40},
                      Param{OrderedIndex::Kind::Number, 3}));

// Keys at the very end of the records of a store (the last field of the last record of a
// block), and keys followed by other fields' bytes: packed without reading past the record and
// without taking the next field's bytes, sorted and found like any other.
TEST(OrderedIndex, KeysOrderLikeTheirBytesWhateverFollowsThem) {
    for (int after : {0, 8})
        for (int width : {1, 5, 7, 9, 16}) {
            SCOPED_TRACE(std::to_string(width) + " bytes, then " + std::to_string(after));
            RecordStore records(static_cast<std::size_t>(width + after));
            std::vector<double> numbers;
            std::mt19937 rng(static_cast<unsigned>(width));
            std::vector<std::string> keys;
            for (int i = 0; i < 3000; ++i) {
                std::string k(static_cast<std::size_t>(width), ' ');
                for (auto& c : k) c = static_cast<char>(rng() % 4 == 0 ? ' ' : 'a' + rng() % 3);
                char* row = records.append();
                std::memcpy(row, k.data(), k.size());
                for (int j = 0; j < after; ++j) row[width + j] = static_cast<char>('Z' - j - i % 3);
                keys.push_back(k);
            }
            OrderedIndex ix(OrderedIndex::Kind::Bytes, &records, 0, width, &numbers);
            std::vector<std::uint32_t> recs(keys.size());
            for (std::uint32_t r = 0; r < recs.size(); ++r) recs[r] = r;
            std::shuffle(recs.begin(), recs.end(), rng);
            ix.rebuild(recs);
            std::vector<std::uint32_t> want(keys.size());
            for (std::uint32_t r = 0; r < want.size(); ++r) want[r] = r;
            std::stable_sort(want.begin(), want.end(),
                             [&](std::uint32_t a, std::uint32_t b) { return keys[a] < keys[b]; });
            std::vector<std::uint32_t> got;
            ix.recordsInOrder(got);
            ASSERT_EQ(got, want);
            for (std::uint32_t r : {0u, 17u, 2999u}) {
                const int p = ix.find({keys[r], 0});
                ASSERT_GE(p, 0);
                EXPECT_EQ(keys[ix.at(p)], keys[r]);
                EXPECT_TRUE(p == 0 || keys[ix.at(p - 1)] < keys[r]);
            }
        }
}

// Records waiting to be placed are part of every answer, and a batch merged into an order keeps
// equal keys in record order on both sides of the merge.
TEST(OrderedIndex, BatchesMergeWithEqualKeysInRecordOrder) {
    RecordStore records(2);
    std::vector<double> numbers;
    auto add = [&](char c) {
        char* p = records.append();
        p[0] = ' ';
        p[1] = c;
        numbers.push_back(0);
        return static_cast<std::uint32_t>(numbers.size() - 1);
    };
    OrderedIndex ix(OrderedIndex::Kind::Bytes, &records, 1, 1, &numbers);
    for (int i = 0; i < 100; ++i) ix.insert(add(i % 2 ? 'b' : 'a'));
    EXPECT_EQ(ix.lowerBound({"b", 0}), 50);  // the first batch placed in one sort
    for (int i = 0; i < 400; ++i) ix.insert(add(i % 2 ? 'a' : 'b'));
    EXPECT_EQ(ix.size(), 500);  // counted before they are placed
    EXPECT_EQ(ix.upperBound({"a", 0}), 250);
    for (int p = 1; p < ix.size(); ++p) {
        std::uint32_t a = ix.at(p - 1), b = ix.at(p);
        char ka = records.at(a)[1], kb = records.at(b)[1];
        ASSERT_TRUE(ka < kb || (ka == kb && a < b)) << p;
    }
    EXPECT_TRUE(ix.keyAt(0, {"a", 0}));
    EXPECT_FALSE(ix.keyAt(0, {"b", 0}));
}

// An order built from every record at once, in record order, whatever the keys' spread: a few
// keys shared by many rows (sorted by gathering them), as many keys as rows, and the counts on
// either side of where one way gives way to the other; narrow, two-word and numeric keys, at the
// end of their records or followed by other fields (whose bytes the key words may then take in,
// and must leave out). The order is a stable sort of the records by key.
TEST(OrderedIndex, RebuiltInOrderWhateverTheKeysSpread) {
    const struct {
        int width, rows, distinct;
    } cases[] = {{4, 20000, 1},    {4, 20000, 3},     {4, 20000, 2400}, {4, 20000, 2500},
                 {4, 20000, 2600}, {4, 20000, 20000}, {15, 30000, 700}, {15, 30000, 29000},
                 {7, 300, 5},      {7, 255, 5}};
    for (const auto& c : cases) {
        for (const int after : {0, 16}) {
            for (const auto kind : {OrderedIndex::Kind::Bytes, OrderedIndex::Kind::Number}) {
                SCOPED_TRACE(std::to_string(c.width) + " wide, " + std::to_string(c.rows) +
                             " rows, " + std::to_string(c.distinct) + " keys, " +
                             std::to_string(after) + " bytes after");
                std::mt19937 rng(static_cast<unsigned>(c.rows + c.distinct));
                RecordStore records(static_cast<std::size_t>(1 + c.width + after));
                std::vector<double> numbers;
                std::vector<std::string> keys;
                for (int r = 0; r < c.rows; ++r) {
                    const auto k = static_cast<unsigned>(rng() % static_cast<unsigned>(c.distinct));
                    std::string key = "K" + std::to_string(k * 7919u % 1000003u);
                    key.resize(static_cast<std::size_t>(c.width), ' ');
                    char* p = records.append();
                    p[0] = ' ';
                    std::memcpy(p + 1, key.data(), key.size());
                    for (int i = 0; i < after; ++i)
                        p[1 + c.width + i] = static_cast<char>('!' + rng() % 90);
                    keys.push_back(key);
                    numbers.push_back(static_cast<double>(k % 2 ? k : -static_cast<double>(k)));
                }
                std::vector<std::uint32_t> recs(static_cast<std::size_t>(c.rows));
                for (std::uint32_t r = 0; r < recs.size(); ++r) recs[r] = r;
                std::vector<std::uint32_t> want = recs;
                std::stable_sort(want.begin(), want.end(), [&](std::uint32_t a, std::uint32_t b) {
                    return kind == OrderedIndex::Kind::Bytes ? keys[a] < keys[b]
                                                             : numbers[a] < numbers[b];
                });
                OrderedIndex ix(kind, &records, 1, c.width, &numbers);
                ix.rebuild(recs);
                std::vector<std::uint32_t> got;
                ix.recordsInOrder(got);
                EXPECT_EQ(got, want);
            }
        }
    }
}

// A numeric order sorts by value, -0 together with 0, and finds keys by value.
TEST(OrderedIndex, NumbersOrderByValue) {
    RecordStore records(1);
    std::vector<double> numbers = {2.5, -1, 0, -0.0, 1e9, -1e9, 0.25, -0.25, 2.5, 0};
    for (std::size_t i = 0; i < numbers.size(); ++i) *records.append() = ' ';
    OrderedIndex ix(OrderedIndex::Kind::Number, &records, 0, 0, &numbers);
    for (std::uint32_t r = 0; r < numbers.size(); ++r) ix.insert(r);
    std::vector<std::uint32_t> want = {5, 1, 7, 2, 3, 9, 6, 0, 8, 4};
    for (int p = 0; p < ix.size(); ++p) EXPECT_EQ(ix.at(p), want[static_cast<std::size_t>(p)]);
    EXPECT_EQ(ix.lowerBound({"", 0}), 3);
    EXPECT_EQ(ix.upperBound({"", -0.0}), 6);
    EXPECT_EQ(ix.lowerBound({"", 2.5}), 7);
    EXPECT_EQ(ix.upperBound({"", 2.5}), 9);
}

}  // namespace
}  // namespace tz::tables
